/* A bit-banged I2C bus on the tuner bus's pins (SDA 21, SCL 20) that can
 * sense its clock line, for the tests of the algorithm's wait for a slave
 * holding SCL low: a held clock is waited for `timeout` ticks. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/i2c.h>
#include <linux/i2c-algo-bit.h>
#include <asm/tango2/gbus.h>
#include <asm/tango2/gpio.h>

#define BITBUS_SDA 21
#define BITBUS_SCL 20
#define BANK1_DIR  0x2710c

static int timeout = 2;
MODULE_PARM(timeout, "i");

/* Low: 0 driven; high: the pin an input, the pull-up does the rest. */
static void bitbus_line(int pin, int state)
{
	u32 bit = 1u << (pin - 16);

	if (!state)
		em86xx_gpio_write(pin, 0);
	gbus_write_uint32(GBUS_HANDLE, BANK1_DIR,
			  (bit << 16) | (state ? 0 : bit));
}

static void bitbus_setsda(void *data, int state)
{
	(void)data;
	bitbus_line(BITBUS_SDA, state);
}

static void bitbus_setscl(void *data, int state)
{
	(void)data;
	bitbus_line(BITBUS_SCL, state);
}

static int bitbus_getsda(void *data)
{
	(void)data;
	return em86xx_gpio_read(BITBUS_SDA);
}

static int bitbus_getscl(void *data)
{
	(void)data;
	return em86xx_gpio_read(BITBUS_SCL);
}

static struct i2c_algo_bit_data bitbus_data = {
	NULL, bitbus_setsda, bitbus_setscl, bitbus_getsda, bitbus_getscl, 5, 0,
	0,
};

static struct i2c_adapter bitbus_adapter = {
	.name = "bitbus",
	.algo_data = &bitbus_data,
};

static int __init bitbus_init(void)
{
	bitbus_data.timeout = timeout;
	return i2c_bit_add_bus(&bitbus_adapter);
}

static void __exit bitbus_exit(void)
{
	i2c_bit_del_bus(&bitbus_adapter);
}

module_init(bitbus_init);
module_exit(bitbus_exit);
