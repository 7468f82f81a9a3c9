/*
 * gpio.c - the board's general-purpose I/O pins.
 *
 * Drives the board's pins to their start-up levels, tells the board
 * variant from its strap, offers the pins to user space through the
 * character device "gpio" (major 63) and to other modules through its
 * exported routines, and watches the two USB over-current lines: every
 * 110 s a check in process context compares them with what it saw last,
 * and after the second change to an abnormal state it drives the ports'
 * power enables low again.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/types.h>
#include <linux/errno.h>
#include <linux/sched.h>
#include <linux/slab.h>
#include <linux/fs.h>
#include <linux/timer.h>
#include <linux/tqueue.h>
#include <asm/uaccess.h>
#include <asm/tango2/gbus.h>

#include "gpio.h"

MODULE_DESCRIPTION("gpio Driver");
MODULE_LICENSE("GPL");

/* Nothing stands behind these two; they are kept so that start-up scripts
 * that pass them still load the module. */
static int param1;
static int param2;
MODULE_PARM(param1, "i");
MODULE_PARM_DESC(param1, "not used");
MODULE_PARM(param2, "i");
MODULE_PARM_DESC(param2, "not used");

#define GPIO_NAME	 "gpio"
#define GPIO_DRV_VERSION 0x105 /* 1.5 */

/*
 * Register map. Each bank of 16 pins has a direction and a data register;
 * a write is one word whose high half is the mask of the bits to change and
 * whose low half holds their new values. Direction 1 is an output.
 */
#define GPIO_PINS	32
#define GPIO_BANK_PINS	16
#define GPIO_BANK0_DIR	0x10500 /* pins 0-15, bit = pin */
#define GPIO_BANK0_DATA 0x10504
#define GPIO_BANK1_DIR	0x2710c /* pins 16-31, bit = pin - 16 */
#define GPIO_BANK1_DATA 0x27110

/* The board's lines */
#define PIN_BOARD_STRAP	     26 /* high: S0, low: S1 */
#define PIN_USB1_OVERCURRENT 27 /* low: over-current on port 1 */
#define PIN_USB2_OVERCURRENT 17 /* low: over-current on port 2 */
#define PIN_USB1_ENABLE	     2	/* low: port 1 powered */
#define PIN_USB2_ENABLE	     3	/* low: port 2 powered */

#define USB_STATE_NORMAL   3	 /* both over-current lines high */
#define GPIO_EVENT_PERIOD  11000 /* ticks between checks: 110 s */
#define GPIO_EVENT_RECOVER 2 /* abnormal changes before the ports come back */

/* The start-up levels, in the order the board needs them. */
static const struct {
	unsigned char pin;
	unsigned char value;
} gpio_startup[] = {
	{ 31, 1 },
	{ 31, 0 },
	{ 31, 1 },
	{ 30, 1 },
	{ 30, 0 },
	{ 30, 1 },
	{ PIN_USB1_ENABLE, 0 },
	{ PIN_USB2_ENABLE, 0 },
	{ 19, 0 },
	{ 13, 0 },
	{ 15, 1 },
	{ 28, 1 },
};

/* The over-current state the last check saw. */
struct gpio_event_reg {
	unsigned char state;
};

static struct gpio_event_reg *gpio_event_state;
static int count;	   /* abnormal changes since the ports last came back */
static int gpio_unloading; /* the check no longer re-arms its timer */
static struct timer_list gpio_event_timer;
static void gpio_event_task(void *data);
static struct tq_struct gpio_event_tasklet = { .routine = gpio_event_task };

/* ---- Pins ---- */

static int gpio_valid(int pin)
{
	return pin >= 0 && pin < GPIO_PINS;
}

static u32 gpio_bit(int pin)
{
	return 1u << (pin % GPIO_BANK_PINS);
}

/* One mask/value word for the pin's bit. */
static u32 gpio_word(int pin, int value)
{
	return (gpio_bit(pin) << 16) | (value ? gpio_bit(pin) : 0);
}

void em86xx_gpio_setdirection(int pin, int output)
{
	if (!gpio_valid(pin))
		return;
	gbus_write_uint32(GBUS_HANDLE,
			  pin < GPIO_BANK_PINS ? GPIO_BANK0_DIR :
						 GPIO_BANK1_DIR,
			  gpio_word(pin, output));
}

int GPIO_read(int pin)
{
	u32 data;

	if (!gpio_valid(pin))
		return 0;
	data = gbus_read_uint32(GBUS_HANDLE, pin < GPIO_BANK_PINS ?
						     GPIO_BANK0_DATA :
						     GPIO_BANK1_DATA);
	return (data & gpio_bit(pin)) ? 1 : 0;
}

/* The level first, so that the pin drives it from the moment it becomes
 * an output. */
void GPIO_write(int pin, int value)
{
	if (!gpio_valid(pin))
		return;
	gbus_write_uint32(GBUS_HANDLE,
			  pin < GPIO_BANK_PINS ? GPIO_BANK0_DATA :
						 GPIO_BANK1_DATA,
			  gpio_word(pin, value));
	em86xx_gpio_setdirection(pin, 1);
}

int gpio_get_drv_version(void)
{
	return GPIO_DRV_VERSION;
}

int get_board_type(void)
{
	return GPIO_read(PIN_BOARD_STRAP) ? 0 : 1;
}

int get_usb_overcurrent_state(void)
{
	return GPIO_read(PIN_USB1_OVERCURRENT) |
	       (GPIO_read(PIN_USB2_OVERCURRENT) << 1);
}

EXPORT_SYMBOL(GPIO_read);
EXPORT_SYMBOL(GPIO_write);
EXPORT_SYMBOL(em86xx_gpio_setdirection);
EXPORT_SYMBOL(gpio_get_drv_version);
EXPORT_SYMBOL(get_board_type);
EXPORT_SYMBOL(get_usb_overcurrent_state);

/* ---- Over-current watch ---- */

static void gpio_event_task(void *data)
{
	struct gpio_event_reg *reg = data;
	int state = get_usb_overcurrent_state();

	if (!reg) {
		printk("gpio: event task error\n");
		return;
	}
	if (state != reg->state) {
		reg->state = state;
		printk("gpio_event_task: reg->state = 0x%x \n", reg->state);
		if (reg->state != USB_STATE_NORMAL) {
			printk("gpio_event_task: something wrong on us ports "
			       "(reg->state = 0x%x) \n",
			       reg->state);
			count++;
		}
		if (count >= GPIO_EVENT_RECOVER) {
			count = 0;
			GPIO_write(PIN_USB1_ENABLE, 0);
			GPIO_write(PIN_USB2_ENABLE, 0);
			printk("gpio_event_task: Enable Usb ports after "
			       "overcurrent detected \n");
		}
	}
	if (!gpio_unloading)
		mod_timer(&gpio_event_timer, jiffies + GPIO_EVENT_PERIOD);
}

/* Timer context: the check itself runs in process context. */
static void gpio_event_func(unsigned long data)
{
	gpio_event_tasklet.data = (void *)data;
	schedule_task(&gpio_event_tasklet);
}

/* ---- Character device ---- */

static int gpio_ioctl(struct inode *inode, struct file *file, unsigned int cmd,
		      unsigned long arg)
{
	int pin, value;

	(void)inode;
	(void)file;
	/* Every command passes a pin, read before the command is looked at. */
	if (copy_from_user(&pin, (void *)arg, sizeof(pin)))
		return -EFAULT;

	switch (cmd) {
	case GPIO_IOCSET:
	case GPIO_IOCCLEAR:
		/* A pin outside the banks would put its bit into the mask half
		 * of the word and drive some other pin. */
		if (!gpio_valid(pin))
			return -EINVAL;
		GPIO_write(pin, cmd == GPIO_IOCSET);
		return 0;
	case GPIO_IOCGET:
		if (!gpio_valid(pin))
			return -EINVAL;
		value = GPIO_read(pin);
		return put_user(value, (int *)arg);
	case GPIO_IOCVERSION:
		value = gpio_get_drv_version();
		return put_user(value, (int *)arg);
	default:
		return -EINVAL;
	}
}

static struct file_operations gpio_fops = {
	.owner = THIS_MODULE,
	.ioctl = gpio_ioctl,
};

/* ---- Module ---- */

static int __init gpio_init(void)
{
	unsigned int i;

	printk("gpio_init\n");
	if (register_chrdev(GPIO_MAJOR, GPIO_NAME, &gpio_fops) < 0) {
		printk(KERN_INFO "Error registering gpio device\n");
		return -ENODEV;
	}
	printk(KERN_INFO "gpio registered\n");

	if (get_board_type() == 0)
		printk("Board S0\n");
	else
		printk(KERN_INFO "Board S1 \n");

	for (i = 0; i < sizeof(gpio_startup) / sizeof(gpio_startup[0]); i++)
		GPIO_write(gpio_startup[i].pin, gpio_startup[i].value);

	printk(KERN_INFO "Gpio Driver Version = %d.%d\n", GPIO_DRV_VERSION >> 8,
	       GPIO_DRV_VERSION & 0xff);

	gpio_event_state = kmalloc(sizeof(*gpio_event_state), GFP_KERNEL);
	if (!gpio_event_state) {
		unregister_chrdev(GPIO_MAJOR, GPIO_NAME);
		return -ENOMEM;
	}
	/* Taken as normal: the first check reports a port only if it is in
	 * trouble. */
	gpio_event_state->state = USB_STATE_NORMAL;
	count = 0;
	gpio_unloading = 0;

	init_timer(&gpio_event_timer);
	gpio_event_timer.expires = jiffies + GPIO_EVENT_PERIOD;
	gpio_event_timer.function = gpio_event_func;
	gpio_event_timer.data = (unsigned long)gpio_event_state;
	add_timer(&gpio_event_timer);
	return 0;
}

static void __exit gpio_cleanup(void)
{
	/* A check may be queued already: it runs now, before the state goes,
	 * and does not re-arm the timer into unloaded code. */
	gpio_unloading = 1;
	del_timer_sync(&gpio_event_timer);
	flush_scheduled_tasks();
	kfree(gpio_event_state);
	gpio_event_state = NULL;
	unregister_chrdev(GPIO_MAJOR, GPIO_NAME);
	printk(KERN_INFO "gpio unregistered\n");
}

module_init(gpio_init);
module_exit(gpio_cleanup);
