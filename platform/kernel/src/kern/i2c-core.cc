// The I2C core: adapters, drivers and their clients, probing with the
// standard address lists, and transfers, as the 2.4 core has them.
#include "kern.h"

namespace {

struct i2c_adapter *adapters[I2C_ADAP_MAX];
struct i2c_driver *drivers[I2C_DRIVER_MAX];

/* An adapter whose transfers go to one of the host's masters (the SoC's
 * master on the virtual board, or a test's). */
struct host_adapter {
	struct i2c_adapter adap;
	struct i2c_algorithm algo;
	kplat_i2c_master *master;
};

int host_master_xfer(struct i2c_adapter *adap, struct i2c_msg msgs[], int num)
{
	struct host_adapter *h = (struct host_adapter *)adap->algo_data;
	/* The same layout: see kern.h. */
	return k2h_i2c_master_xfer(
		h->master, reinterpret_cast<struct kplat_i2c_msg *>(msgs), num);
}

u32 host_functionality(struct i2c_adapter *adap)
{
	struct host_adapter *h = (struct host_adapter *)adap->algo_data;
	return k2h_i2c_master_functionality(h->master);
}

/* Clients held without a driver (h2k_i2c_hold_client), as another
 * driver's clients would sit on the adapter. */
struct held_client {
	struct i2c_client client;
	int in_use; /* holds a use of the adapter (i2c_inc_use_client) */
	struct held_client *next;
};

struct held_client *held_clients;

/* Forgets the held clients of an adapter that goes away (or of all, for
 * NULL). */
void drop_held(struct i2c_adapter *adap)
{
	for (struct held_client **p = &held_clients; *p;) {
		struct held_client *h = *p;
		if (adap && h->client.adapter != adap) {
			p = &h->next;
			continue;
		}
		*p = h->next;
		k2h_free(h);
	}
}

/* The lists given to insmod hold at most 48 entries; one given in full has
 * no end marker, so those are read no further than that. */
#define PARM_LIST_MAX 48

/* normal_i2c: addresses. */
int match_addr(const unsigned short *list, int addr)
{
	for (int i = 0; list && list[i] != I2C_CLIENT_END; i++)
		if (list[i] == addr)
			return 1;
	return 0;
}

/* normal_i2c_range: first,last pairs. */
int match_range(const unsigned short *list, int addr)
{
	for (int i = 0;
	     list && list[i] != I2C_CLIENT_END && list[i + 1] != I2C_CLIENT_END;
	     i += 2)
		if (addr >= list[i] && addr <= list[i + 1])
			return 1;
	return 0;
}

int on_bus(unsigned short entry, int adap_id)
{
	return entry == adap_id || entry == ANY_I2C_BUS;
}

/* probe, ignore, force: adapter,address pairs. */
int match_adap_addr(const unsigned short *list, int adap_id, int addr)
{
	for (int i = 0;
	     list && i + 1 < PARM_LIST_MAX && list[i] != I2C_CLIENT_END &&
	     list[i + 1] != I2C_CLIENT_END;
	     i += 2)
		if (on_bus(list[i], adap_id) && addr == list[i + 1])
			return 1;
	return 0;
}

/* probe_range, ignore_range: adapter,first,last triples. */
int match_adap_range(const unsigned short *list, int adap_id, int addr)
{
	for (int i = 0;
	     list && i + 2 < PARM_LIST_MAX && list[i] != I2C_CLIENT_END &&
	     list[i + 1] != I2C_CLIENT_END && list[i + 2] != I2C_CLIENT_END;
	     i += 3)
		if (on_bus(list[i], adap_id) && addr >= list[i + 1] &&
		    addr <= list[i + 2])
			return 1;
	return 0;
}

s32 smbus_xfer_emulated(struct i2c_adapter *adapter, u16 addr,
			unsigned short flags, char read_write, u8 command,
			int size, union i2c_smbus_data *data)
{
	unsigned char msgbuf0[I2C_SMBUS_BLOCK_MAX + 3];
	unsigned char msgbuf1[I2C_SMBUS_BLOCK_MAX + 2];
	int num = read_write == I2C_SMBUS_READ ? 2 : 1;
	int i;
	struct i2c_msg msg[2] = {
		{ addr, flags, 1, msgbuf0 },
		{ addr, (__u16)(flags | I2C_M_RD), 0, msgbuf1 },
	};

	msgbuf0[0] = command;
	switch (size) {
	case I2C_SMBUS_QUICK:
		msg[0].len = 0;
		msg[0].flags =
			flags | (read_write == I2C_SMBUS_READ ? I2C_M_RD : 0);
		num = 1;
		break;
	case I2C_SMBUS_BYTE:
		if (read_write == I2C_SMBUS_READ) {
			msg[0].flags = I2C_M_RD | flags;
			num = 1;
		}
		break;
	case I2C_SMBUS_BYTE_DATA:
		if (read_write == I2C_SMBUS_READ) {
			msg[1].len = 1;
		} else {
			msg[0].len = 2;
			msgbuf0[1] = data->byte;
		}
		break;
	case I2C_SMBUS_WORD_DATA:
		if (read_write == I2C_SMBUS_READ) {
			msg[1].len = 2;
		} else {
			msg[0].len = 3;
			msgbuf0[1] = data->word & 0xff;
			msgbuf0[2] = (data->word >> 8) & 0xff;
		}
		break;
	case I2C_SMBUS_PROC_CALL:
		num = 2;
		msg[0].len = 3;
		msg[1].len = 2;
		msgbuf0[1] = data->word & 0xff;
		msgbuf0[2] = (data->word >> 8) & 0xff;
		break;
	case I2C_SMBUS_BLOCK_DATA:
		if (read_write == I2C_SMBUS_READ) {
			printk(KERN_ERR "i2c-core.o: Block read not supported "
					"under I2C emulation!\n");
			return -1;
		}
		/* The command, the count and the bytes. */
		msg[0].len = data->block[0] + 2;
		if (msg[0].len > I2C_SMBUS_BLOCK_MAX + 2) {
			printk(KERN_ERR "i2c-core.o: smbus_access called with "
					"invalid block write size (%d)\n",
			       data->block[0]);
			return -1;
		}
		for (i = 1; i < msg[0].len; i++)
			msgbuf0[i] = data->block[i - 1];
		break;
	case I2C_SMBUS_BLOCK_PROC_CALL:
		printk(KERN_ERR "i2c-core.o: Block process call not supported "
				"under I2C emulation!\n");
		return -1;
	case I2C_SMBUS_I2C_BLOCK_DATA:
		if (read_write == I2C_SMBUS_READ) {
			msg[1].len = I2C_SMBUS_I2C_BLOCK_MAX;
		} else {
			msg[0].len = data->block[0] + 1;
			if (msg[0].len > I2C_SMBUS_I2C_BLOCK_MAX + 1) {
				printk(KERN_ERR
				       "i2c-core.o: i2c_smbus_xfer_emulated "
				       "called with invalid block write size "
				       "(%d)\n",
				       data->block[0]);
				return -1;
			}
			for (i = 1; i <= data->block[0]; i++)
				msgbuf0[i] = data->block[i];
		}
		break;
	default:
		printk(KERN_ERR "i2c-core.o: smbus_access called with invalid "
				"size (%d)\n",
		       size);
		return -1;
	}

	if (i2c_transfer(adapter, msg, num) < 0)
		return -1;

	if (read_write == I2C_SMBUS_READ) {
		switch (size) {
		case I2C_SMBUS_BYTE:
			data->byte = msgbuf0[0];
			break;
		case I2C_SMBUS_BYTE_DATA:
			data->byte = msgbuf1[0];
			break;
		case I2C_SMBUS_WORD_DATA:
		case I2C_SMBUS_PROC_CALL:
			data->word = (u16)(msgbuf1[0] | (msgbuf1[1] << 8));
			break;
		case I2C_SMBUS_I2C_BLOCK_DATA:
			/* Always the whole block of 32. */
			data->block[0] = I2C_SMBUS_I2C_BLOCK_MAX;
			for (i = 0; i < I2C_SMBUS_I2C_BLOCK_MAX; i++)
				data->block[i + 1] = msgbuf1[i];
			break;
		}
	}
	return 0;
}

} // namespace

void kern_reset_i2c(void)
{
	drop_held(NULL);
	memset(adapters, 0, sizeof(adapters));
	memset(drivers, 0, sizeof(drivers));
}

extern "C" {

int i2c_add_adapter(struct i2c_adapter *adap)
{
	int i;

	for (i = 0; i < I2C_ADAP_MAX; i++)
		if (!adapters[i])
			break;
	if (i == I2C_ADAP_MAX) {
		printk(KERN_WARNING " i2c-core.o: register_adapter(%s) - "
				    "enlarge I2C_ADAP_MAX.\n",
		       adap->name);
		return -ENOMEM;
	}
	adapters[i] = adap;
	init_MUTEX(&adap->lock);
	for (int j = 0; j < I2C_CLIENT_MAX; j++)
		adap->clients[j] = NULL;
	adap->client_count = 0;

	/* Tell the drivers that want to know. */
	for (int j = 0; j < I2C_DRIVER_MAX; j++)
		if (drivers[j] &&
		    (drivers[j]->flags & (I2C_DF_NOTIFY | I2C_DF_DUMMY)))
			drivers[j]->attach_adapter(adap);
	return 0;
}

int i2c_del_adapter(struct i2c_adapter *adap)
{
	int i, res;

	for (i = 0; i < I2C_ADAP_MAX; i++)
		if (adapters[i] == adap)
			break;
	if (i == I2C_ADAP_MAX) {
		printk(KERN_WARNING
		       "i2c-core.o: unregister_adapter adap [%s] not found.\n",
		       adap->name);
		return -ENODEV;
	}
	/* A dummy driver keeps no clients: attach_adapter on an adapter it
	 * has already is its detach. */
	for (int j = 0; j < I2C_DRIVER_MAX; j++) {
		if (drivers[j] && (drivers[j]->flags & I2C_DF_DUMMY)) {
			res = drivers[j]->attach_adapter(adap);
			if (res) {
				printk(KERN_WARNING
				       "i2c-core.o: can't detach adapter %s "
				       "while detaching driver %s: driver not "
				       "detached!\n",
				       adap->name, drivers[j]->name);
				return res;
			}
		}
	}
	for (int j = 0; j < I2C_CLIENT_MAX; j++) {
		struct i2c_client *client = adap->clients[j];

		if (client && client->driver && client->driver->detach_client) {
			res = client->driver->detach_client(client);
			if (res) {
				printk(KERN_ERR
				       "i2c-core.o: adapter %s not "
				       "unregistered, because client at "
				       "address %02x can't be detached.\n",
				       adap->name, client->addr);
				return res;
			}
		}
	}
	adapters[i] = NULL;
	drop_held(adap);
	return 0;
}

int i2c_add_driver(struct i2c_driver *driver)
{
	int i;

	for (i = 0; i < I2C_DRIVER_MAX; i++)
		if (!drivers[i])
			break;
	if (i == I2C_DRIVER_MAX) {
		printk(KERN_WARNING " i2c-core.o: register_driver(%s) - "
				    "enlarge I2C_DRIVER_MAX.\n",
		       driver->name);
		return -ENOMEM;
	}
	drivers[i] = driver;

	/* Attach to the adapters present; as in 2.4, their results do not
	 * make the registration fail. */
	if (driver->flags & (I2C_DF_NOTIFY | I2C_DF_DUMMY))
		for (int j = 0; j < I2C_ADAP_MAX; j++)
			if (adapters[j])
				driver->attach_adapter(adapters[j]);
	return 0;
}

int i2c_del_driver(struct i2c_driver *driver)
{
	int i, res;

	for (i = 0; i < I2C_DRIVER_MAX; i++)
		if (drivers[i] == driver)
			break;
	if (i == I2C_DRIVER_MAX) {
		printk(KERN_WARNING
		       " i2c-core.o: unregister_driver: [%s] not found\n",
		       driver->name);
		return -ENODEV;
	}
	for (int k = 0; k < I2C_ADAP_MAX; k++) {
		struct i2c_adapter *adap = adapters[k];

		if (!adap)
			continue;
		if (driver->flags & I2C_DF_DUMMY) {
			/* Its detach, as on adapter removal. */
			res = driver->attach_adapter(adap);
			if (res) {
				printk(KERN_WARNING
				       "i2c-core.o: while unregistering dummy "
				       "driver %s, adapter %s could not be "
				       "detached properly; driver not "
				       "unloaded!\n",
				       driver->name, adap->name);
				return res;
			}
			continue;
		}
		for (int j = 0; j < I2C_CLIENT_MAX; j++) {
			struct i2c_client *client = adap->clients[j];

			if (!client || client->driver != driver)
				continue;
			res = driver->detach_client ?
				      driver->detach_client(client) :
				      0;
			if (res) {
				printk(KERN_ERR
				       "i2c-core.o: while unregistering driver "
				       "`%s', the client at address %02x of "
				       "adapter `%s' could not be detached; "
				       "driver not unloaded!\n",
				       driver->name, client->addr, adap->name);
				return res;
			}
		}
	}
	drivers[i] = NULL;
	return 0;
}

int i2c_check_addr(struct i2c_adapter *adapter, int addr)
{
	for (int i = 0; i < I2C_CLIENT_MAX; i++)
		if (adapter->clients[i] &&
		    adapter->clients[i]->addr == (unsigned int)addr)
			return -EBUSY;
	return 0;
}

int i2c_attach_client(struct i2c_client *client)
{
	struct i2c_adapter *adapter = client->adapter;
	int i;

	if (!adapter)
		return -ENODEV;
	if (i2c_check_addr(adapter, (int)client->addr))
		return -EBUSY;
	for (i = 0; i < I2C_CLIENT_MAX; i++)
		if (!adapter->clients[i])
			break;
	if (i == I2C_CLIENT_MAX) {
		printk(KERN_WARNING " i2c-core.o: attach_client(%s) - enlarge "
				    "I2C_CLIENT_MAX.\n",
		       client->name);
		return -ENOMEM;
	}
	adapter->clients[i] = client;
	adapter->client_count++;
	if (adapter->client_register && adapter->client_register(client))
		printk(KERN_DEBUG
		       "i2c-core.o: warning: client_register seems to have "
		       "failed for client %02x at adapter %s\n",
		       client->addr, adapter->name);
	if (client->flags & I2C_CLIENT_ALLOW_USE)
		client->usage_count = 0;
	return 0;
}

int i2c_detach_client(struct i2c_client *client)
{
	struct i2c_adapter *adapter = client->adapter;
	int i, res;

	if (!adapter)
		return -ENODEV;
	if ((client->flags & I2C_CLIENT_ALLOW_USE) && client->usage_count > 0)
		return -EBUSY;
	if (adapter->client_unregister) {
		res = adapter->client_unregister(client);
		if (res) {
			printk(KERN_ERR "i2c-core.o: client_unregister [%s] "
					"failed, client not detached\n",
			       client->name);
			return res;
		}
	}
	for (i = 0; i < I2C_CLIENT_MAX; i++)
		if (adapter->clients[i] == client)
			break;
	if (i == I2C_CLIENT_MAX) {
		printk(KERN_WARNING
		       " i2c-core.o: unregister_client [%s] not found\n",
		       client->name);
		return -ENODEV;
	}
	adapter->clients[i] = NULL;
	adapter->client_count--;
	return 0;
}

void i2c_inc_use_client(struct i2c_client *client)
{
	if (client->driver && client->driver->inc_use)
		client->driver->inc_use(client);
	if (client->adapter && client->adapter->inc_use)
		client->adapter->inc_use(client->adapter);
}

void i2c_dec_use_client(struct i2c_client *client)
{
	if (client->driver && client->driver->dec_use)
		client->driver->dec_use(client);
	if (client->adapter && client->adapter->dec_use)
		client->adapter->dec_use(client->adapter);
}

int i2c_adapter_id(struct i2c_adapter *adap)
{
	for (int i = 0; i < I2C_ADAP_MAX; i++)
		if (adapters[i] == adap)
			return i;
	return -1;
}

u32 i2c_get_functionality(struct i2c_adapter *adap)
{
	if (adap->algo && adap->algo->functionality)
		return adap->algo->functionality(adap);
	return 0xffffffff;
}

int i2c_transfer(struct i2c_adapter *adap, struct i2c_msg msgs[], int num)
{
	int ret;

	if (!adap || !adap->algo)
		return -ENODEV;
	if (!adap->algo->master_xfer) {
		printk(KERN_ERR "i2c-core.o: I2C adapter %04x: I2C level "
				"transfers not supported\n",
		       adap->id);
		return -ENOSYS;
	}
	down(&adap->lock);
	ret = adap->algo->master_xfer(adap, msgs, num);
	up(&adap->lock);
	return ret;
}

int i2c_master_send(struct i2c_client *client, const char *buf, int count)
{
	struct i2c_msg msg;
	int ret;

	if (count < 0 || count > 0xffff)
		return -EINVAL;
	msg.addr = (__u16)client->addr;
	msg.flags = client->flags & I2C_M_TEN;
	msg.len = (__u16)count;
	msg.buf = (__u8 *)buf;
	ret = i2c_transfer(client->adapter, &msg, 1);
	return ret == 1 ? count : ret;
}

int i2c_master_recv(struct i2c_client *client, char *buf, int count)
{
	struct i2c_msg msg;
	int ret;

	if (count < 0 || count > 0xffff)
		return -EINVAL;
	msg.addr = (__u16)client->addr;
	msg.flags = (client->flags & I2C_M_TEN) | I2C_M_RD;
	msg.len = (__u16)count;
	msg.buf = (__u8 *)buf;
	ret = i2c_transfer(client->adapter, &msg, 1);
	return ret == 1 ? count : ret;
}

int i2c_control(struct i2c_client *client, unsigned int cmd, unsigned long arg)
{
	struct i2c_adapter *adap = client->adapter;

	switch (cmd) {
	case I2C_RETRIES:
		adap->retries = (int)arg;
		return 0;
	case I2C_TIMEOUT:
		adap->timeout = (int)arg;
		return 0;
	default:
		if (adap->algo && adap->algo->algo_control)
			return adap->algo->algo_control(adap, cmd, arg);
		return 0;
	}
}

s32 i2c_smbus_xfer(struct i2c_adapter *adapter, u16 addr, unsigned short flags,
		   char read_write, u8 command, int size,
		   union i2c_smbus_data *data)
{
	s32 res;

	flags &= I2C_M_TEN;
	if (adapter->algo && adapter->algo->smbus_xfer) {
		down(&adapter->lock);
		res = adapter->algo->smbus_xfer(
			adapter, addr, flags, read_write, command, size, data);
		up(&adapter->lock);
		return res;
	}
	return smbus_xfer_emulated(adapter, addr, flags, read_write, command,
				   size, data);
}

s32 i2c_smbus_write_quick(struct i2c_client *client, u8 value)
{
	return i2c_smbus_xfer(client->adapter, (u16)client->addr, client->flags,
			      (char)value, 0, I2C_SMBUS_QUICK, NULL);
}

s32 i2c_smbus_read_byte(struct i2c_client *client)
{
	union i2c_smbus_data data;

	if (i2c_smbus_xfer(client->adapter, (u16)client->addr, client->flags,
			   I2C_SMBUS_READ, 0, I2C_SMBUS_BYTE, &data))
		return -1;
	return data.byte;
}

s32 i2c_smbus_write_byte(struct i2c_client *client, u8 value)
{
	return i2c_smbus_xfer(client->adapter, (u16)client->addr, client->flags,
			      I2C_SMBUS_WRITE, value, I2C_SMBUS_BYTE, NULL);
}

s32 i2c_smbus_read_byte_data(struct i2c_client *client, u8 command)
{
	union i2c_smbus_data data;

	if (i2c_smbus_xfer(client->adapter, (u16)client->addr, client->flags,
			   I2C_SMBUS_READ, command, I2C_SMBUS_BYTE_DATA, &data))
		return -1;
	return data.byte;
}

s32 i2c_smbus_write_byte_data(struct i2c_client *client, u8 command, u8 value)
{
	union i2c_smbus_data data;

	data.byte = value;
	return i2c_smbus_xfer(client->adapter, (u16)client->addr, client->flags,
			      I2C_SMBUS_WRITE, command, I2C_SMBUS_BYTE_DATA,
			      &data);
}

s32 i2c_smbus_read_word_data(struct i2c_client *client, u8 command)
{
	union i2c_smbus_data data;

	if (i2c_smbus_xfer(client->adapter, (u16)client->addr, client->flags,
			   I2C_SMBUS_READ, command, I2C_SMBUS_WORD_DATA, &data))
		return -1;
	return data.word;
}

s32 i2c_smbus_write_word_data(struct i2c_client *client, u8 command, u16 value)
{
	union i2c_smbus_data data;

	data.word = value;
	return i2c_smbus_xfer(client->adapter, (u16)client->addr, client->flags,
			      I2C_SMBUS_WRITE, command, I2C_SMBUS_WORD_DATA,
			      &data);
}

/* Scans addresses 0 to 0x7f not already taken on the adapter: a forced
 * address is reported without a check, an ignored one skipped, and one in
 * the normal or probe lists reported only if it acknowledges a quick
 * write. A non-zero result of found_proc ends the scan. */
int i2c_probe(struct i2c_adapter *adapter,
	      struct i2c_client_address_data *address_data,
	      i2c_client_found_addr_proc *found_proc)
{
	int adap_id = i2c_adapter_id(adapter);
	int err;

	if (!i2c_check_functionality(adapter, I2C_FUNC_SMBUS_QUICK))
		return -1;

	for (int addr = 0x00; addr <= 0x7f; addr++) {
		if (i2c_check_addr(adapter, addr))
			continue;

		if (match_adap_addr(address_data->force, adap_id, addr)) {
			err = found_proc(adapter, addr, 0);
			if (err)
				return err;
			continue;
		}
		if (match_adap_addr(address_data->ignore, adap_id, addr) ||
		    match_adap_range(address_data->ignore_range, adap_id, addr))
			continue;
		if (!match_addr(address_data->normal_i2c, addr) &&
		    !match_range(address_data->normal_i2c_range, addr) &&
		    !match_adap_addr(address_data->probe, adap_id, addr) &&
		    !match_adap_range(address_data->probe_range, adap_id, addr))
			continue;

		if (i2c_smbus_xfer(adapter, (u16)addr, 0, 0, 0, I2C_SMBUS_QUICK,
				   NULL) >= 0) {
			err = found_proc(adapter, addr, -1);
			if (err)
				return err;
		}
	}
	return 0;
}

int h2k_i2c_add_master(const char *name, unsigned int id,
		       kplat_i2c_master *master)
{
	struct host_adapter *h = (struct host_adapter *)k2h_zalloc(sizeof(*h));
	int ret;

	strncpy(h->adap.name, name, sizeof(h->adap.name) - 1);
	strncpy(h->algo.name, name, sizeof(h->algo.name) - 1);
	h->algo.id = id & I2C_ALGO_MASK;
	h->algo.master_xfer = host_master_xfer;
	h->algo.functionality = host_functionality;
	h->adap.id = id;
	h->adap.algo = &h->algo;
	h->adap.algo_data = h;
	h->adap.timeout = HZ;
	h->adap.retries = 3;
	h->master = master;
	ret = i2c_add_adapter(&h->adap);
	if (ret < 0) {
		k2h_free(h);
		return ret;
	}
	return i2c_adapter_id(&h->adap);
}

int h2k_i2c_del_master(int nr)
{
	struct i2c_adapter *adap;
	int ret;

	if (nr < 0 || nr >= I2C_ADAP_MAX || !adapters[nr])
		return -ENODEV;
	adap = adapters[nr];
	if (!adap->algo || adap->algo->master_xfer != host_master_xfer)
		return -EINVAL;
	ret = i2c_del_adapter(adap);
	if (ret)
		return ret;
	k2h_free(adap->algo_data);
	return 0;
}

int h2k_i2c_hold_client(int nr, unsigned int addr, const char *name, int in_use)
{
	struct held_client *h;
	int ret;

	if (nr < 0 || nr >= I2C_ADAP_MAX || !adapters[nr])
		return -ENODEV;
	if (addr > 0x7f || !name)
		return -EINVAL;
	h = (struct held_client *)k2h_zalloc(sizeof(*h));
	strncpy(h->client.name, name, sizeof(h->client.name) - 1);
	h->client.addr = addr;
	h->client.adapter = adapters[nr];
	ret = i2c_attach_client(&h->client);
	if (ret) {
		k2h_free(h);
		return ret;
	}
	if (in_use) {
		i2c_inc_use_client(&h->client);
		h->in_use = 1;
	}
	h->next = held_clients;
	held_clients = h;
	return 0;
}

int h2k_i2c_unhold_client(int nr, unsigned int addr)
{
	if (nr < 0 || nr >= I2C_ADAP_MAX || !adapters[nr])
		return -ENODEV;
	for (struct held_client **p = &held_clients; *p; p = &(*p)->next) {
		struct held_client *h = *p;
		if (h->client.adapter != adapters[nr] || h->client.addr != addr)
			continue;
		int ret = i2c_detach_client(&h->client);
		if (ret)
			return ret;
		if (h->in_use)
			i2c_dec_use_client(&h->client);
		*p = h->next;
		k2h_free(h);
		return 0;
	}
	return -EINVAL;
}

int h2k_i2c_transfer(int nr, struct kplat_i2c_msg *msgs, int num)
{
	if (nr < 0 || nr >= I2C_ADAP_MAX || !adapters[nr])
		return -ENODEV;
	if (num < 0 || (num && !msgs))
		return -EINVAL;
	/* The same layout: see kern.h. */
	return i2c_transfer(adapters[nr],
			    reinterpret_cast<struct i2c_msg *>(msgs), num);
}

int h2k_i2c_adapter(int nr, const char **name, unsigned int *id, int *clients)
{
	if (nr < 0 || nr >= I2C_ADAP_MAX || !adapters[nr])
		return 0;
	*name = adapters[nr]->name;
	*id = adapters[nr]->id;
	*clients = adapters[nr]->client_count;
	return 1;
}

int h2k_i2c_client(int nr, int index, const char **name, unsigned int *addr,
		   const char **driver)
{
	if (nr < 0 || nr >= I2C_ADAP_MAX || !adapters[nr] || index < 0 ||
	    index >= I2C_CLIENT_MAX)
		return 0;
	struct i2c_client *c = adapters[nr]->clients[index];
	if (!c)
		return 0;
	*name = c->name;
	*addr = c->addr;
	*driver = c->driver ? c->driver->name : "";
	return 1;
}

unsigned long h2k_i2c_proc_bus(char *buf, unsigned long size)
{
	unsigned long nr = 0;

	/* /proc/bus/i2c: one line per adapter, its number, the kind of
	 * transfers it makes, its name and its algorithm's. */
	for (int i = 0; i < I2C_ADAP_MAX; i++) {
		struct i2c_adapter *adap = adapters[i];
		const char *kind = "dummy     ";
		char line[128];
		int n;

		if (!adap || !adap->algo)
			continue;
		if (adap->algo->smbus_xfer)
			kind = adap->algo->master_xfer ? "smbus/i2c" :
							 "smbus    ";
		else if (adap->algo->master_xfer)
			kind = "i2c       ";
		n = snprintf(line, sizeof(line), "i2c-%d\t%s\t%-32s\t%-32s\n",
			     i, kind, adap->name, adap->algo->name);
		if (n < 0 || nr + (unsigned long)n >= size)
			break;
		memcpy(buf + nr, line, (unsigned long)n);
		nr += (unsigned long)n;
	}
	if (size)
		buf[nr < size ? nr : size - 1] = 0;
	return nr;
}

int h2k_i2c_driver(int index, const char **name)
{
	if (index < 0 || index >= I2C_DRIVER_MAX || !drivers[index])
		return 0;
	*name = drivers[index]->name;
	return 1;
}

} // extern "C"
