/* The kernel side's common header: the 2.4 interfaces with C linkage, and
 * the calls to the host side. */
#pragma once

extern "C" {
#include <linux/kernel.h>
#include <linux/errno.h>
#include <linux/string.h>
#include <linux/types.h>
#include <linux/list.h>
#include <linux/sched.h>
#include <linux/wait.h>
#include <linux/timer.h>
#include <linux/completion.h>
#include <linux/interrupt.h>
#include <linux/tqueue.h>
#include <linux/delay.h>
#include <linux/time.h>
#include <linux/module.h>
#include <linux/fs.h>
#include <linux/poll.h>
#include <linux/slab.h>
#include <linux/vmalloc.h>
#include <linux/i2c.h>
#include <asm/uaccess.h>
#include <asm/semaphore.h>
#include <asm/system.h>
#include <asm/tango2/gbus.h>
#include <asm/tango2/gpio.h>
}

#include "../seam.h"

/* The records the host reads as the kernel lays them out. */
KPLAT_SAME_FIELD(struct i2c_msg, struct kplat_i2c_msg, addr);
KPLAT_SAME_FIELD(struct i2c_msg, struct kplat_i2c_msg, flags);
KPLAT_SAME_FIELD(struct i2c_msg, struct kplat_i2c_msg, len);
KPLAT_SAME_FIELD(struct i2c_msg, struct kplat_i2c_msg, buf);
static_assert(sizeof(struct i2c_msg) == sizeof(struct kplat_i2c_msg),
	      "struct i2c_msg");
static_assert(I2C_M_RD == KPLAT_I2C_M_RD && I2C_M_TEN == KPLAT_I2C_M_TEN &&
		      I2C_M_NOSTART == KPLAT_I2C_M_NOSTART,
	      "i2c_msg flags");
KPLAT_SAME_FIELD(struct module_info_record, struct kplat_info_record, text);
KPLAT_SAME_FIELD(struct module_info_record, struct kplat_info_record, addr);
KPLAT_SAME_FIELD(struct module_info_record, struct kplat_info_record, size);
static_assert(sizeof(struct module_info_record) ==
		      sizeof(struct kplat_info_record),
	      "struct module_info_record");
static_assert(O_NONBLOCK == KPLAT_O_NONBLOCK, "O_NONBLOCK");

/* Kernel-side bugs end the run: the platform cannot go on sensibly. */
#define KBUG(what) k2h_bug(what)

/* The CPU's interrupt-enable flag (1: enabled), shared by the files of the
 * kernel side. */
extern unsigned long kern_irq_flags;

/* Clears the tables of each part of the kernel side, so that a new
 * platform starts as a freshly booted kernel. */
void kern_reset_sched(void);
void kern_reset_timers(void);
void kern_reset_irqs(void);
void kern_reset_tqueue(void);
void kern_reset_fs(void);
void kern_reset_i2c(void);
void kern_reset_hostdevs(void);
void kern_reset_gbus(void);
void kern_reset_input(void);

/* The pointer width (32 or 64) of the program that opened the file: how
 * records with long or pointer fields are laid out for it. */
int kern_file_user_bits(struct file *f);
