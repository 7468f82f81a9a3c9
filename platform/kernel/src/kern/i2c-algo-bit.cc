// The bit-banging I2C algorithm: a bus out of two lines that a driver sets
// and reads (struct i2c_algo_bit_data), as the 2.4 kernel's i2c-algo-bit
// drives them, step for step, so that a driver sees the same line sequence
// and the same results as on the box:
//
//   start           SDA low, SCL low
//   repeated start  SDA high, SCL high, wait, then start
//   stop            SDA low, SCL high, SDA high
//   byte out        per bit, most significant first: SDA, SCL high, SCL
//                   low; then SDA released, SCL high, SDA read (low is the
//                   slave's acknowledge), SCL low
//   byte in         SDA released, per bit SCL high, SDA read, SCL low; then
//                   the master's acknowledge (SDA low), or SDA high after
//                   the last byte, on one more clock
//
// Each step waits half a clock (udelay). Without getscl the clock is
// taken to be high once it is released; with one, the algorithm waits for
// a slave that holds it low, up to the driver's timeout. An address that is
// not acknowledged is tried again after a stop, retries times; a data byte
// not acknowledged ends the transfer with a stop and -EFAULT, as on 2.4.
// Ten-bit addresses are not offered.
//
// A start needs a free bus: before one, the clock (where it can be read)
// is waited for like a stretched one, -ETIMEDOUT once the timeout is over,
// and a data line that reads low makes the transfer -EREMOTEIO at once. A
// slave stuck on SDA would otherwise acknowledge every address and read as
// 0x00, and the transfer would report success with nothing sent.
#include "kern.h"

extern "C" {
#include <linux/i2c-algo-bit.h>
}

namespace {

inline void setsda(struct i2c_algo_bit_data *adap, int state)
{
	adap->setsda(adap->data, state);
}

inline void setscl(struct i2c_algo_bit_data *adap, int state)
{
	adap->setscl(adap->data, state);
}

inline int getsda(struct i2c_algo_bit_data *adap)
{
	return adap->getsda(adap->data);
}

inline void sdalo(struct i2c_algo_bit_data *adap)
{
	setsda(adap, 0);
	udelay(adap->udelay);
}

inline void sdahi(struct i2c_algo_bit_data *adap)
{
	setsda(adap, 1);
	udelay(adap->udelay);
}

inline void scllo(struct i2c_algo_bit_data *adap)
{
	setscl(adap, 0);
	udelay(adap->udelay);
}

/* Raises SCL. With a sense line, waits while a slave holds it low; each
 * look costs half a clock, so that a held line reaches the time-out on the
 * virtual clock too (on the box the loop spins on the bus). */
int sclhi(struct i2c_algo_bit_data *adap)
{
	unsigned long start = jiffies;

	setscl(adap, 1);
	udelay(adap->udelay);
	if (!adap->getscl)
		return 0;
	while (!adap->getscl(adap->data)) {
		setscl(adap, 1);
		if (time_after_eq(jiffies, start + adap->timeout))
			return -ETIMEDOUT;
		udelay(adap->udelay);
	}
	return 0;
}

/* Both lines high, as the bus is between transfers: 0, -ETIMEDOUT for a
 * clock held low past the timeout, -EREMOTEIO for a data line held low. */
int bus_free(struct i2c_adapter *i2c_adap)
{
	struct i2c_algo_bit_data *adap =
		(struct i2c_algo_bit_data *)i2c_adap->algo_data;

	if (adap->getscl) {
		unsigned long start = jiffies;

		while (!adap->getscl(adap->data)) {
			if (time_after_eq(jiffies, start + adap->timeout)) {
				printk(KERN_ERR "i2c-algo-bit.o: %s: SCL held "
						"low, no start.\n",
				       i2c_adap->name);
				return -ETIMEDOUT;
			}
			udelay(adap->udelay);
		}
	}
	if (!getsda(adap)) {
		printk(KERN_ERR "i2c-algo-bit.o: %s: SDA held low, no start.\n",
		       i2c_adap->name);
		return -EREMOTEIO;
	}
	return 0;
}

/* Assumes both lines high. */
void i2c_start(struct i2c_algo_bit_data *adap)
{
	sdalo(adap);
	scllo(adap);
}

void i2c_repstart(struct i2c_algo_bit_data *adap)
{
	setsda(adap, 1);
	setscl(adap, 1);
	udelay(adap->udelay);
	sdalo(adap);
	scllo(adap);
}

/* Assumes SCL low. */
void i2c_stop(struct i2c_algo_bit_data *adap)
{
	sdalo(adap);
	sclhi(adap);
	sdahi(adap);
}

/* 1: acknowledged, 0: not, -ETIMEDOUT: the clock stayed low. */
int i2c_outb(struct i2c_adapter *i2c_adap, unsigned char c)
{
	struct i2c_algo_bit_data *adap =
		(struct i2c_algo_bit_data *)i2c_adap->algo_data;
	int ack;

	for (int i = 7; i >= 0; i--) {
		setsda(adap, c & (1 << i));
		udelay(adap->udelay);
		if (sclhi(adap) < 0) {
			sdahi(adap); /* leave the bus free */
			return -ETIMEDOUT;
		}
		setscl(adap, 0);
		udelay(adap->udelay);
	}
	sdahi(adap);
	if (sclhi(adap) < 0)
		return -ETIMEDOUT;
	ack = getsda(adap);
	scllo(adap);
	return ack == 0;
}

/* The byte, or -ETIMEDOUT. The acknowledge is the caller's. */
int i2c_inb(struct i2c_adapter *i2c_adap)
{
	struct i2c_algo_bit_data *adap =
		(struct i2c_algo_bit_data *)i2c_adap->algo_data;
	unsigned char indata = 0;

	sdahi(adap);
	for (int i = 0; i < 8; i++) {
		if (sclhi(adap) < 0)
			return -ETIMEDOUT;
		indata = (unsigned char)(indata << 1);
		if (getsda(adap))
			indata |= 0x01;
		scllo(adap);
	}
	return indata;
}

/* 1: the chip answered, 0: it did not after every try, <0: an error. */
int try_address(struct i2c_adapter *i2c_adap, unsigned char addr, int retries)
{
	struct i2c_algo_bit_data *adap =
		(struct i2c_algo_bit_data *)i2c_adap->algo_data;
	int ret = -1;

	for (int i = 0; i <= retries; i++) {
		ret = i2c_outb(i2c_adap, addr);
		if (ret == 1)
			break;
		i2c_stop(adap);
		udelay(5);
		if (i == retries)
			break;
		i2c_start(adap);
		udelay(adap->udelay);
	}
	return ret;
}

int sendbytes(struct i2c_adapter *i2c_adap, struct i2c_msg *msg)
{
	struct i2c_algo_bit_data *adap =
		(struct i2c_algo_bit_data *)i2c_adap->algo_data;
	int nak_ok = msg->flags & I2C_M_IGNORE_NAK;
	int wrcount = 0;

	for (int i = 0; i < msg->len; i++) {
		int retval = i2c_outb(i2c_adap, msg->buf[i]);

		if (retval > 0 || (nak_ok && retval == 0)) {
			wrcount++;
			continue;
		}
		printk(KERN_ERR
		       "i2c-algo-bit.o: %s sendbytes: error - bailout.\n",
		       i2c_adap->name);
		i2c_stop(adap);
		return retval < 0 ? retval : -EFAULT;
	}
	return wrcount;
}

int readbytes(struct i2c_adapter *i2c_adap, struct i2c_msg *msg)
{
	struct i2c_algo_bit_data *adap =
		(struct i2c_algo_bit_data *)i2c_adap->algo_data;
	int rdcount = 0;

	for (int count = msg->len; count > 0; count--) {
		int inval = i2c_inb(i2c_adap);

		if (inval < 0) {
			printk(KERN_ERR "i2c-algo-bit.o: readbytes: i2c_inb "
					"timed out.\n");
			break;
		}
		msg->buf[rdcount++] = (__u8)inval;
		if (count > 1)
			sdalo(adap); /* acknowledge: more to come */
		else
			sdahi(adap); /* the last byte is not acknowledged */
		if (sclhi(adap) < 0) {
			sdahi(adap);
			printk(KERN_ERR
			       "i2c-algo-bit.o: readbytes: Timeout at ack\n");
			return -ETIMEDOUT;
		}
		scllo(adap);
		sdahi(adap);
	}
	return rdcount;
}

int bit_doAddress(struct i2c_adapter *i2c_adap, struct i2c_msg *msg,
		  int retries)
{
	unsigned char addr = (unsigned char)(msg->addr << 1);

	if (msg->flags & I2C_M_RD)
		addr |= 1;
	if (msg->flags & I2C_M_REV_DIR_ADDR)
		addr ^= 1;
	return try_address(i2c_adap, addr, retries) == 1 ? 0 : -EREMOTEIO;
}

int bit_xfer(struct i2c_adapter *i2c_adap, struct i2c_msg msgs[], int num)
{
	struct i2c_algo_bit_data *adap =
		(struct i2c_algo_bit_data *)i2c_adap->algo_data;
	int ret;

	for (int i = 0; i < num; i++)
		if ((msgs[i].flags & I2C_M_TEN) || msgs[i].addr > 0x7f ||
		    (msgs[i].len && !msgs[i].buf))
			return -EINVAL;

	ret = bus_free(i2c_adap);
	if (ret < 0)
		return ret;
	i2c_start(adap);
	for (int i = 0; i < num; i++) {
		struct i2c_msg *pmsg = &msgs[i];
		int nak_ok = pmsg->flags & I2C_M_IGNORE_NAK;

		if (!(pmsg->flags & I2C_M_NOSTART)) {
			if (i)
				i2c_repstart(adap);
			ret = bit_doAddress(i2c_adap, pmsg, i2c_adap->retries);
			if (ret != 0 && !nak_ok)
				return ret;
		}
		if (pmsg->flags & I2C_M_RD)
			ret = readbytes(i2c_adap, pmsg);
		else
			ret = sendbytes(i2c_adap, pmsg);
		if (ret < pmsg->len)
			return ret < 0 ? ret : -EREMOTEIO;
	}
	i2c_stop(adap);
	return num;
}

int algo_control(struct i2c_adapter *adapter, unsigned int cmd,
		 unsigned long arg)
{
	(void)adapter;
	(void)cmd;
	(void)arg;
	return 0;
}

u32 bit_func(struct i2c_adapter *adap)
{
	(void)adap;
	return I2C_FUNC_I2C | I2C_FUNC_SMBUS_EMUL | I2C_FUNC_PROTOCOL_MANGLING;
}

struct i2c_algorithm i2c_bit_algo = {
	"Bit-shift algorithm", I2C_ALGO_BIT, bit_xfer, NULL, NULL, NULL,
	algo_control,	       bit_func,
};

} // namespace

extern "C" {

int i2c_bit_add_bus(struct i2c_adapter *adap)
{
	int ret;

	adap->id |= i2c_bit_algo.id;
	adap->algo = &i2c_bit_algo;
	adap->timeout = 100;
	adap->retries = 3;
	/* 2.4 drops the core's answer; a full adapter table is the driver's
	 * to hear of, or its unload would remove an adapter never added. */
	ret = i2c_add_adapter(adap);
	return ret < 0 ? ret : 0;
}

int i2c_bit_del_bus(struct i2c_adapter *adap)
{
	return i2c_del_adapter(adap);
}

} // extern "C"
