/*
 * soctest: a driver for the board's tests of the SoC. It reaches the bus
 * through the bus-access layer and the GPIO routines, and takes GPIO 9's
 * interrupt (IRQ 22) as the front-panel micro-controller's driver does:
 * GPIO 9 an input, routed in field 1 of the routing register, rising and
 * falling edges on, the edge acknowledged in the handler (unless ack=0).
 */
#include <linux/module.h>
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/errno.h>
#include <linux/fs.h>
#include <linux/interrupt.h>
#include <linux/sched.h>
#include <asm/uaccess.h>
#include <asm/tango2/gbus.h>
#include <asm/tango2/gpio.h>

#include "soctest.h"

#define GPIO_DIR      0x10500
#define SYS_gpio_int  0x10508
#define EDGE_PENDING  0x6e204
#define EDGE_RISE_SET 0x6e214
#define EDGE_FALL_SET 0x6e218
#define MICRO_IRQ     22
#define MICRO_BIT     0x4000

MODULE_LICENSE("GPL");

static int route = 1; /* program the routing register */
static int edges = 3; /* 1 rising, 2 falling */
static int ack = 1;   /* acknowledge in the handler */
MODULE_PARM(route, "i");
MODULE_PARM(edges, "i");
MODULE_PARM(ack, "i");

static struct llad *llad;
static struct gbus *bus;
static int irq_held;
static unsigned int irqs;

static void soctest_isr(int irq, void *dev_id, struct pt_regs *regs)
{
	(void)dev_id;
	(void)regs;
	irqs++;
	printk("soctest: irq %d pending 0x%x\n", irq,
	       gbus_read_uint32(bus, EDGE_PENDING));
	if (ack)
		gbus_write_uint32(bus, EDGE_PENDING, MICRO_BIT);
}

static int soctest_ioctl(struct inode *inode, struct file *file,
			 unsigned int cmd, unsigned long arg)
{
	struct soctest_reg r;
	unsigned long start;

	(void)inode;
	(void)file;
	if (copy_from_user(&r, (void *)arg, sizeof(r)))
		return -EFAULT;
	switch (cmd) {
	case SOCTEST_READ:
		r.value = gbus_read_uint32(bus, r.addr);
		break;
	case SOCTEST_WRITE:
		gbus_write_uint32(bus, r.addr, r.value);
		break;
	case SOCTEST_FIXED_READ:
		r.value = gbus_read_uint32(GBUS_HANDLE, r.addr);
		break;
	case SOCTEST_GPIO_READ:
		r.value = em86xx_gpio_read((int)r.addr);
		break;
	case SOCTEST_GPIO_WRITE:
		em86xx_gpio_write((int)r.addr, (int)r.value);
		break;
	case SOCTEST_UDELAY:
		start = jiffies;
		tango2_udelay(r.value);
		r.value = jiffies - start;
		break;
	case SOCTEST_IRQS:
		r.value = irqs;
		break;
	default:
		return -ENOTTY;
	}
	return copy_to_user((void *)arg, &r, sizeof(r)) ? -EFAULT : 0;
}

static struct file_operations soctest_fops = {
	.owner = THIS_MODULE,
	.ioctl = soctest_ioctl,
};

static int __init soctest_init(void)
{
	int ret;

	llad = llad_open("0");
	bus = gbus_open(llad);
	if (route) {
		gbus_write_uint32(bus, GPIO_DIR,
				  0x02000000); /* GPIO 9 an input */
		gbus_write_uint32(
			bus, SYS_gpio_int,
			(gbus_read_uint32(bus, SYS_gpio_int) & ~0xff00) |
				(9 << 8));
		if (edges & 1)
			gbus_write_uint32(bus, EDGE_RISE_SET, MICRO_BIT);
		if (edges & 2)
			gbus_write_uint32(bus, EDGE_FALL_SET, MICRO_BIT);
	}
	ret = request_irq(MICRO_IRQ, soctest_isr, SA_INTERRUPT, "soctest",
			  &irqs);
	printk("soctest: request_irq %d: %d\n", MICRO_IRQ, ret);
	irq_held = ret == 0;
	ret = register_chrdev(SOCTEST_MAJOR, "soctest", &soctest_fops);
	if (ret < 0) {
		if (irq_held)
			free_irq(MICRO_IRQ, &irqs);
		gbus_close(bus);
		llad_close(llad);
		return ret;
	}
	return 0;
}

static void __exit soctest_exit(void)
{
	unregister_chrdev(SOCTEST_MAJOR, "soctest");
	if (irq_held)
		free_irq(MICRO_IRQ, &irqs);
	gbus_close(bus);
	llad_close(llad);
}

module_init(soctest_init);
module_exit(soctest_exit);
