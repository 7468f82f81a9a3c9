/* An I2C driver for the platform's tests: it takes every address the core
 * finds for it and offers transfers through its clients by ioctl. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/errno.h>
#include <linux/fs.h>
#include <linux/i2c.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <asm/uaccess.h>

#include "kptest.h"

#define MAX_CLIENTS 8

static unsigned short normal_i2c[] = { 0x20, I2C_CLIENT_END };
static unsigned short normal_i2c_range[] = { 0x30, 0x32, I2C_CLIENT_END };
I2C_CLIENT_INSMOD;

static int stop = -1; /* an address at which the scan is ended */
MODULE_PARM(stop, "i");

static struct i2c_client *clients[MAX_CLIENTS];

static int kptest_detach(struct i2c_client *client);

static int kptest_found(struct i2c_adapter *adap, int addr, int kind)
{
	struct i2c_client *client;
	int i;

	printk("kptest_i2c: found %d 0x%x kind %d\n", i2c_adapter_id(adap),
	       addr, kind);
	if (addr == stop)
		return -1;
	for (i = 0; i < MAX_CLIENTS && clients[i]; i++)
		;
	if (i == MAX_CLIENTS)
		return -ENOMEM;
	client = kmalloc(sizeof(*client), GFP_KERNEL);
	if (!client)
		return -ENOMEM;
	memset(client, 0, sizeof(*client));
	strcpy(client->name, "kptest");
	client->addr = addr;
	client->adapter = adap;
	clients[i] = client;
	return 0;
}

static struct i2c_driver kptest_driver;

static int kptest_attach_adapter(struct i2c_adapter *adap)
{
	int i, ret = i2c_probe(adap, &addr_data, kptest_found);

	for (i = 0; i < MAX_CLIENTS; i++) {
		if (clients[i] && !clients[i]->driver) {
			clients[i]->driver = &kptest_driver;
			i2c_attach_client(clients[i]);
		}
	}
	return ret;
}

static struct i2c_driver kptest_driver = {
	.name = "kptest driver",
	.id = I2C_DRIVERID_EXP0,
	.flags = I2C_DF_NOTIFY,
	.attach_adapter = kptest_attach_adapter,
	.detach_client = kptest_detach,
};

static int kptest_detach(struct i2c_client *client)
{
	int i;

	printk("kptest_i2c: detach 0x%x\n", client->addr);
	i2c_detach_client(client);
	for (i = 0; i < MAX_CLIENTS; i++)
		if (clients[i] == client)
			clients[i] = NULL;
	kfree(client);
	return 0;
}

static int kptest_ioctl(struct inode *inode, struct file *file,
			unsigned int cmd, unsigned long arg)
{
	struct kptest_xfer x;
	struct i2c_client *client;
	struct i2c_msg msgs[2];
	int ret;

	(void)inode;
	(void)file;
	if (copy_from_user(&x, (void *)arg, sizeof(x)))
		return -EFAULT;
	if (x.client < 0 || x.client >= MAX_CLIENTS || !clients[x.client])
		return -ENODEV;
	if (x.len < 0 || x.len > (int)sizeof(x.buf))
		return -EINVAL;
	client = clients[x.client];
	switch (cmd) {
	case KPTEST_I2C_SEND:
		ret = i2c_master_send(client, (char *)x.buf, x.len);
		break;
	case KPTEST_I2C_RECV:
		ret = i2c_master_recv(client, (char *)x.buf, x.len);
		break;
	case KPTEST_I2C_WRITE_READ:
		msgs[0].addr = client->addr;
		msgs[0].flags = 0;
		msgs[0].len = 1;
		msgs[0].buf = x.buf;
		msgs[1].addr = client->addr;
		msgs[1].flags = I2C_M_RD;
		msgs[1].len = x.len;
		msgs[1].buf = x.buf + 1;
		ret = i2c_transfer(client->adapter, msgs, 2);
		break;
	case KPTEST_I2C_READ_BYTE_DATA:
		ret = i2c_smbus_read_byte_data(client, x.buf[0]);
		if (ret >= 0)
			x.buf[0] = ret;
		break;
	default:
		return -ENOTTY;
	}
	if (copy_to_user((void *)arg, &x, sizeof(x)))
		return -EFAULT;
	return ret;
}

static struct file_operations kptest_fops = {
	.owner = THIS_MODULE,
	.ioctl = kptest_ioctl,
};

static int __init kptest_i2c_init(void)
{
	int ret = i2c_add_driver(&kptest_driver);

	if (ret)
		return ret;
	ret = register_chrdev(KPTEST_I2C_MAJOR, "kptest_i2c", &kptest_fops);
	if (ret) {
		i2c_del_driver(&kptest_driver);
		return ret;
	}
	return 0;
}

static void __exit kptest_i2c_exit(void)
{
	int i;

	unregister_chrdev(KPTEST_I2C_MAJOR, "kptest_i2c");
	i2c_del_driver(&kptest_driver);
	/* Found but never attached (the scan was ended before). */
	for (i = 0; i < MAX_CLIENTS; i++)
		kfree(clients[i]);
}

module_init(kptest_i2c_init);
module_exit(kptest_i2c_exit);
