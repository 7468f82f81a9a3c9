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
}

#include "../kplat_host.h"

/* Kernel-side bugs end the run: the platform cannot go on sensibly. */
#define KBUG(what) kh_bug(what)

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
