/* Commands of the board's test module soctest, shared with the tests. */
#ifndef SOCTEST_H
#define SOCTEST_H

#define SOCTEST_MAJOR 242

/* The argument of every command: in and out. */
struct soctest_reg {
	unsigned int addr; /* a bus address, or a pin */
	unsigned int value;
};

#define SOCTEST_READ	   1 /* value = gbus_read_uint32(its handle, addr) */
#define SOCTEST_WRITE	   2 /* gbus_write_uint32(its handle, addr, value) */
#define SOCTEST_FIXED_READ 3 /* the same through the fixed handle 1 */
#define SOCTEST_GPIO_READ  4 /* value = em86xx_gpio_read(addr) */
#define SOCTEST_GPIO_WRITE 5 /* em86xx_gpio_write(addr, value) */
#define SOCTEST_UDELAY	   6 /* tango2_udelay(value); value = jiffies it took */
#define SOCTEST_IRQS	   7 /* value = interrupts taken */

#endif
