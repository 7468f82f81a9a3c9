#ifndef _LINUX_I2C_ALGO_BIT_H
#define _LINUX_I2C_ALGO_BIT_H

#include <linux/i2c.h>

/* A bus made of two lines the driver sets and reads: the bit-banging
 * algorithm calls these with `data` as their first argument. Without a
 * getscl the algorithm cannot see a slave holding the clock low. */
struct i2c_algo_bit_data {
	void *data;
	void (*setsda)(void *data, int state);
	void (*setscl)(void *data, int state);
	int (*getsda)(void *data);
	int (*getscl)(void *data);

	int udelay;  /* half a clock period, in microseconds */
	int mdelay;  /* between bytes, in milliseconds (not used) */
	int timeout; /* how long a held clock is waited for, in ticks */
};

#define I2C_BIT_ADAP_MAX 16

/* The adapter's algo_data points to its i2c_algo_bit_data. Adding marks
 * the adapter's id as bit-banging (I2C_ALGO_BIT), sets its retries (3) and
 * timeout (100) and registers it with the core: 0 or a negative error. */
extern int i2c_bit_add_bus(struct i2c_adapter *adap);
extern int i2c_bit_del_bus(struct i2c_adapter *adap);

#endif
