/*
 * i2c-tuner.c - the tuner's I2C bus, bit-banged on two GPIO pins.
 *
 * The TU1216L tuner has a bus of its own: SDA on GPIO 21, SCL on GPIO 20,
 * both open drain with pull-ups on the board. A line is pulled low by
 * writing 0 and making the pin an output, and let go by making the pin an
 * input. The kernel's bit-banging algorithm does the rest; the bus is
 * registered as "tuner TU1216L" for the tuner's I2C clients.
 *
 * A released line that stays low is waited for 20 times 2 us (a slave
 * stretching the clock or still driving SDA), then logged and left to the
 * algorithm. The clock is read back (tuner_getscl), so that the algorithm
 * waits for a tuner stretching it and gives up on one held low for good;
 * its wait sets SCL high again on every look, which for a clock already
 * let go changes nothing on the bus and neither polls nor logs again.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/types.h>
#include <linux/errno.h>
#include <linux/i2c.h>
#include <linux/i2c-algo-bit.h>
#include <asm/tango2/gbus.h>
#include <asm/tango2/gpio.h>

#include "../gpio/gpio.h"

MODULE_DESCRIPTION("I2C-Bus adapter routines for tuner adapter");
MODULE_LICENSE("GPL");

static int base;
MODULE_PARM(base, "i");
MODULE_PARM_DESC(base, "the bus's token for its line routines (0: 0x10000)");

#define TUNER_DEFAULT_BASE 0x10000
#define TUNER_ADAPTER_ID   0x14

#define TUNER_SDA	    21
#define TUNER_SCL	    20
#define TUNER_RELEASE_POLLS 20
#define TUNER_POLL_US	    2

/* The line's level once it has been let go: read once, and while a slave
 * still holds it low, again up to 20 times 2 us apart. */
static void tuner_release(int pin, const char *who)
{
	int cnt;

	em86xx_gpio_setdirection(pin, 0);
	if (em86xx_gpio_read(pin))
		return;
	for (cnt = TUNER_RELEASE_POLLS; cnt > 0; cnt--) {
		tango2_udelay(TUNER_POLL_US);
		if (em86xx_gpio_read(pin))
			return;
	}
	printk("%s (timeout expired) : cnt = 0x%x\n", who, cnt);
}

static void tuner_setline(int pin, int state, const char *who)
{
	if (state) {
		tuner_release(pin, who);
		return;
	}
	em86xx_gpio_write(pin, 0);
	em86xx_gpio_setdirection(pin, 1);
}

/* SCL as the driver last set it: 1 once let go. */
static int tuner_scl_released;

static void tuner_setsda(void *data, int state)
{
	(void)data;
	tuner_setline(TUNER_SDA, state, "tuner_setsda");
}

static void tuner_setscl(void *data, int state)
{
	(void)data;
	if (state && tuner_scl_released)
		return;
	tuner_scl_released = state != 0;
	tuner_setline(TUNER_SCL, state, "tuner_setscl");
}

static int tuner_getsda(void *data)
{
	(void)data;
	em86xx_gpio_setdirection(TUNER_SDA, 0);
	tango2_udelay(TUNER_POLL_US);
	return em86xx_gpio_read(TUNER_SDA);
}

/* Only called with SCL let go: high unless a slave holds it. */
static int tuner_getscl(void *data)
{
	(void)data;
	return em86xx_gpio_read(TUNER_SCL);
}

/* Both lines let go: the bus idle. */
static int tuner_init(void)
{
	tuner_scl_released = 0;
	tuner_setsda(NULL, 1);
	tuner_setscl(NULL, 1);
	return 0;
}

static struct i2c_algo_bit_data bit_tuner_data = {
	NULL, /* data: base, at start-up */
	tuner_setsda, tuner_setscl, tuner_getsda,
	tuner_getscl, 10, /* half a clock: 10 us */
	10,		  /* ms */
	100,		  /* ticks */
};

static void bit_tuner_inc_use(struct i2c_adapter *adap)
{
	(void)adap;
	MOD_INC_USE_COUNT;
}

static void bit_tuner_dec_use(struct i2c_adapter *adap)
{
	(void)adap;
	MOD_DEC_USE_COUNT;
}

static int bit_tuner_reg(struct i2c_client *client)
{
	(void)client;
	return 0;
}

static int bit_tuner_unreg(struct i2c_client *client)
{
	(void)client;
	return 0;
}

static struct i2c_adapter bit_tuner_ops = {
	.name = "tuner TU1216L",
	.id = TUNER_ADAPTER_ID,
	.algo_data = &bit_tuner_data,
	.inc_use = bit_tuner_inc_use,
	.dec_use = bit_tuner_dec_use,
	.client_register = bit_tuner_reg,
	.client_unregister = bit_tuner_unreg,
};

static int __init i2c_tuner_init(void)
{
	printk(KERN_INFO
	       "i2c_tuner_init: i2c tuner adapter module version %s (%s)\n",
	       "2.6.1", "20010830");

	if (base == 0)
		base = TUNER_DEFAULT_BASE;
	bit_tuner_data.data = (void *)(unsigned long)base;

	if (tuner_init() != 0) {
		printk(KERN_INFO "i2c_tuner_init: failed\n");
		return -ENODEV;
	}
	if (i2c_bit_add_bus(&bit_tuner_ops) < 0) {
		printk(KERN_INFO "i2c_tuner_init: i2c_bit_add_bus failed\n");
		return -ENODEV;
	}
	printk(KERN_INFO "i2c_tuner_init: found device at %#x.\n", base);
	return 0;
}

static void __exit i2c_tuner_exit(void)
{
	printk(KERN_INFO "i2c_tuner_exit: bye bye ...\n");
	i2c_bit_del_bus(&bit_tuner_ops);
}

module_init(i2c_tuner_init);
module_exit(i2c_tuner_exit);
