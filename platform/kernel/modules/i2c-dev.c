/* i2c-dev: every I2C adapter as a character device (major 89, minor = the
 * adapter's number), for user-space tools: read and write as plain
 * transfers to the address chosen with I2C_SLAVE, combined transfers
 * (I2C_RDWR) and SMBus commands (I2C_SMBUS). An address a driver's client
 * holds is busy unless forced. The box's kernel brings this driver; here it
 * is the platform's, so that the same tools reach the virtual board's
 * buses.
 *
 * A file's records come in its caller's layout: a box program has 32-bit
 * pointers and longs, a host program 64-bit ones (kplat/file.h). */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/errno.h>
#include <linux/fs.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <linux/i2c.h>
#include <linux/i2c-dev.h>
#include <asm/uaccess.h>
#include <kplat/file.h>

MODULE_DESCRIPTION("I2C /dev entries driver");
MODULE_LICENSE("GPL");

#define I2CDEV_ADAPS_MAX I2C_ADAP_MAX
#define I2CDEV_XFER_MAX	 8192 /* bytes of one read, write or message */
#define I2CDEV_RDWR_MAX	 42   /* messages of one I2C_RDWR */
/* What a caller's union i2c_smbus_data holds: the count, 32 bytes and one
 * more. The core's own has a byte more still; copying it would run past
 * the caller's. */
#define I2CDEV_BLOCK_SIZE (I2C_SMBUS_BLOCK_MAX + 2)

/* One open file: a client that is never registered, so that opening a bus
 * takes no address from its drivers. */
struct i2cdev_file {
	struct i2c_client client;
	struct i2cdev_file *next;
};

static struct i2c_adapter *i2cdev_adaps[I2CDEV_ADAPS_MAX];
static struct i2cdev_file *open_files;
static struct i2c_driver i2cdev_driver;

/* ---- the caller's records ---- */

/* A long or a pointer of the caller: 4 or 8 bytes. */
static unsigned int user_word(struct file *file)
{
	return kplat_file_user_bits(file) == 64 ? 8 : 4;
}

static unsigned long get_word(const unsigned char *p, unsigned int size)
{
	unsigned long v = 0;
	unsigned int i;

	for (i = size; i-- > 0;)
		v = (v << 8) | p[i];
	return v;
}

static void put_word(unsigned char *p, unsigned long v, unsigned int size)
{
	unsigned int i;

	for (i = 0; i < size; i++, v >>= 8)
		p[i] = (unsigned char)v;
}

static unsigned int get_u16(const unsigned char *p)
{
	return p[0] | (p[1] << 8);
}

/* struct i2c_msg: addr, flags and len, then buf at 8 in either layout. */
#define MSG_BUF 8
/* struct i2c_smbus_ioctl_data: read_write, command, size at 4, data at 8. */
#define SMBUS_SIZE 4
#define SMBUS_DATA 8
/* struct i2c_rdwr_ioctl_data: msgs, then nmsgs after it. */

/* ---- the adapters ---- */

/* Called for a new adapter, and again for one going away: a dummy driver
 * keeps no clients, so the core's second call is the detach. */
static int i2cdev_attach_adapter(struct i2c_adapter *adap)
{
	struct i2cdev_file *f;
	int i = i2c_adapter_id(adap);

	if (i < 0) {
		printk(KERN_DEBUG "i2c-dev.o: Unknown adapter ?!?\n");
		return -ENODEV;
	}
	if (i >= I2CDEV_ADAPS_MAX) {
		printk(KERN_DEBUG
		       "i2c-dev.o: Adapter number too large?!? (%d)\n",
		       i);
		return -ENODEV;
	}
	if (!i2cdev_adaps[i]) {
		i2cdev_adaps[i] = adap;
		printk(KERN_DEBUG "i2c-dev.o: Registered '%s' as minor %d\n",
		       adap->name, i);
		return 0;
	}
	/* Files still open on it fail their calls from now on. */
	for (f = open_files; f; f = f->next)
		if (f->client.adapter == adap)
			f->client.adapter = NULL;
	i2cdev_adaps[i] = NULL;
	return 0;
}

static int i2cdev_detach_client(struct i2c_client *client)
{
	(void)client;
	return 0;
}

static int i2cdev_command(struct i2c_client *client, unsigned int cmd,
			  void *arg)
{
	(void)client;
	(void)cmd;
	(void)arg;
	return -1;
}

static struct i2c_driver i2cdev_driver = {
	.name = "i2c-dev dummy driver",
	.id = I2C_DRIVERID_I2CDEV,
	.flags = I2C_DF_DUMMY,
	.attach_adapter = i2cdev_attach_adapter,
	.detach_client = i2cdev_detach_client,
	.command = i2cdev_command,
};

/* ---- the file operations ---- */

static struct i2c_client *file_client(struct file *file)
{
	struct i2cdev_file *f = (struct i2cdev_file *)file->private_data;

	return f->client.adapter ? &f->client : NULL;
}

static ssize_t i2cdev_read(struct file *file, char *buf, size_t count,
			   loff_t *offset)
{
	struct i2c_client *client = file_client(file);
	char *tmp;
	int ret;

	(void)offset;
	if (!client)
		return -ENODEV;
	if (count > I2CDEV_XFER_MAX)
		count = I2CDEV_XFER_MAX;
	tmp = kmalloc(count ? count : 1, GFP_KERNEL);
	if (!tmp)
		return -ENOMEM;
	ret = i2c_master_recv(client, tmp, (int)count);
	if (ret >= 0 && copy_to_user(buf, tmp, (unsigned long)ret))
		ret = -EFAULT;
	kfree(tmp);
	return ret;
}

static ssize_t i2cdev_write(struct file *file, const char *buf, size_t count,
			    loff_t *offset)
{
	struct i2c_client *client = file_client(file);
	char *tmp;
	int ret;

	(void)offset;
	if (!client)
		return -ENODEV;
	if (count > I2CDEV_XFER_MAX)
		count = I2CDEV_XFER_MAX;
	tmp = kmalloc(count ? count : 1, GFP_KERNEL);
	if (!tmp)
		return -ENOMEM;
	if (copy_from_user(tmp, buf, count)) {
		kfree(tmp);
		return -EFAULT;
	}
	ret = i2c_master_send(client, tmp, (int)count);
	kfree(tmp);
	return ret;
}

/* A combined transfer: the messages' buffers come from the caller and
 * the read ones go back, all only after the whole transfer. */
static int i2cdev_rdwr(struct i2c_client *client, struct file *file,
		       unsigned long arg)
{
	unsigned int word = user_word(file);
	unsigned char rec[16], m[16];
	struct i2c_msg *msgs;
	unsigned long *user_bufs;
	unsigned long list;
	unsigned int nmsgs, i, done;
	int res = 0;

	if (copy_from_user(rec, (void *)arg, 2 * word))
		return -EFAULT;
	list = get_word(rec, word);
	nmsgs = (unsigned int)get_word(rec + word, 4);
	if (nmsgs > I2CDEV_RDWR_MAX)
		return -EINVAL;
	if (nmsgs == 0)
		return 0;
	msgs = kmalloc(nmsgs * sizeof(*msgs), GFP_KERNEL);
	if (!msgs)
		return -ENOMEM;
	user_bufs = kmalloc(nmsgs * sizeof(*user_bufs), GFP_KERNEL);
	if (!user_bufs) {
		kfree(msgs);
		return -ENOMEM;
	}
	for (done = 0; done < nmsgs; done++) {
		if (copy_from_user(m, (void *)(list + done * (MSG_BUF + word)),
				   MSG_BUF + word)) {
			res = -EFAULT;
			break;
		}
		msgs[done].addr = (__u16)get_u16(m);
		msgs[done].flags = (__u16)get_u16(m + 2);
		msgs[done].len = (__u16)get_u16(m + 4);
		user_bufs[done] = get_word(m + MSG_BUF, word);
		if (msgs[done].len > I2CDEV_XFER_MAX) {
			res = -EINVAL;
			break;
		}
		msgs[done].buf = kmalloc(msgs[done].len ? msgs[done].len : 1,
					 GFP_KERNEL);
		if (!msgs[done].buf) {
			res = -ENOMEM;
			break;
		}
		if (copy_from_user(msgs[done].buf, (void *)user_bufs[done],
				   msgs[done].len)) {
			done++; /* its buffer is freed too */
			res = -EFAULT;
			break;
		}
	}
	if (!res)
		res = i2c_transfer(client->adapter, msgs, (int)nmsgs);
	for (i = 0; i < done; i++) {
		if (res >= 0 && (msgs[i].flags & I2C_M_RD) &&
		    copy_to_user((void *)user_bufs[i], msgs[i].buf,
				 msgs[i].len))
			res = -EFAULT;
		kfree(msgs[i].buf);
	}
	kfree(user_bufs);
	kfree(msgs);
	return res;
}

static int i2cdev_smbus(struct i2c_client *client, struct file *file,
			unsigned long arg)
{
	unsigned int word = user_word(file);
	unsigned char rec[16];
	union i2c_smbus_data temp;
	unsigned long data;
	int read_write, command, size, datasize, res;

	if (copy_from_user(rec, (void *)arg, SMBUS_DATA + word))
		return -EFAULT;
	read_write = rec[0];
	command = rec[1];
	size = (int)get_word(rec + SMBUS_SIZE, 4);
	data = get_word(rec + SMBUS_DATA, word);

	if (size != I2C_SMBUS_BYTE && size != I2C_SMBUS_QUICK &&
	    size != I2C_SMBUS_BYTE_DATA && size != I2C_SMBUS_WORD_DATA &&
	    size != I2C_SMBUS_PROC_CALL && size != I2C_SMBUS_BLOCK_DATA &&
	    size != I2C_SMBUS_I2C_BLOCK_DATA &&
	    size != I2C_SMBUS_BLOCK_PROC_CALL)
		return -EINVAL;
	if (read_write != I2C_SMBUS_READ && read_write != I2C_SMBUS_WRITE)
		return -EINVAL;

	/* These carry no data. */
	if (size == I2C_SMBUS_QUICK ||
	    (size == I2C_SMBUS_BYTE && read_write == I2C_SMBUS_WRITE))
		return i2c_smbus_xfer(client->adapter, (u16)client->addr,
				      (unsigned short)client->flags,
				      (char)read_write, (u8)command, size,
				      NULL);
	if (!data)
		return -EINVAL;

	if (size == I2C_SMBUS_BYTE_DATA || size == I2C_SMBUS_BYTE)
		datasize = sizeof(temp.byte);
	else if (size == I2C_SMBUS_WORD_DATA || size == I2C_SMBUS_PROC_CALL)
		datasize = sizeof(temp.word);
	else
		datasize = I2CDEV_BLOCK_SIZE;

	memset(&temp, 0, sizeof(temp));
	if (size == I2C_SMBUS_PROC_CALL || size == I2C_SMBUS_BLOCK_PROC_CALL ||
	    read_write == I2C_SMBUS_WRITE) {
		if (copy_from_user(&temp, (void *)data,
				   (unsigned long)datasize))
			return -EFAULT;
	}
	res = i2c_smbus_xfer(client->adapter, (u16)client->addr,
			     (unsigned short)client->flags, (char)read_write,
			     (u8)command, size, &temp);
	if (!res &&
	    (size == I2C_SMBUS_PROC_CALL || size == I2C_SMBUS_BLOCK_PROC_CALL ||
	     read_write == I2C_SMBUS_READ)) {
		if (copy_to_user((void *)data, &temp, (unsigned long)datasize))
			return -EFAULT;
	}
	return res;
}

static int i2cdev_ioctl(struct inode *inode, struct file *file,
			unsigned int cmd, unsigned long arg)
{
	struct i2c_client *client = file_client(file);
	unsigned char funcs[8];

	(void)inode;
	if (!client)
		return -ENODEV;
	switch (cmd) {
	case I2C_SLAVE:
	case I2C_SLAVE_FORCE:
		if (arg > 0x3ff || (!(client->flags & I2C_M_TEN) && arg > 0x7f))
			return -EINVAL;
		if (cmd == I2C_SLAVE &&
		    i2c_check_addr(client->adapter, (int)arg))
			return -EBUSY;
		client->addr = (unsigned int)arg;
		return 0;
	case I2C_TENBIT:
		if (arg)
			client->flags |= I2C_M_TEN;
		else
			client->flags &= ~I2C_M_TEN;
		return 0;
	case I2C_FUNCS:
		put_word(funcs, i2c_get_functionality(client->adapter),
			 sizeof(funcs));
		return copy_to_user((void *)arg, funcs, user_word(file)) ?
			       -EFAULT :
			       0;
	case I2C_RDWR:
		return i2cdev_rdwr(client, file, arg);
	case I2C_SMBUS:
		return i2cdev_smbus(client, file, arg);
	default:
		return i2c_control(client, cmd, arg);
	}
}

static int i2cdev_open(struct inode *inode, struct file *file)
{
	unsigned int minor = MINOR(inode->i_rdev);
	struct i2c_adapter *adap;
	struct i2cdev_file *f;

	if (minor >= I2CDEV_ADAPS_MAX || !i2cdev_adaps[minor])
		return -ENODEV;
	adap = i2cdev_adaps[minor];
	f = kmalloc(sizeof(*f), GFP_KERNEL);
	if (!f)
		return -ENOMEM;
	memset(f, 0, sizeof(*f));
	strcpy(f->client.name, "I2C /dev entry");
	f->client.id = 1;
	f->client.addr = -1; /* none until I2C_SLAVE */
	f->client.adapter = adap;
	f->client.driver = &i2cdev_driver;
	f->next = open_files;
	open_files = f;
	file->private_data = f;
	/* The adapter's module stays while the file is open. */
	if (adap->inc_use)
		adap->inc_use(adap);
	return 0;
}

static int i2cdev_release(struct inode *inode, struct file *file)
{
	struct i2cdev_file *f = (struct i2cdev_file *)file->private_data;
	struct i2cdev_file **p;

	(void)inode;
	for (p = &open_files; *p; p = &(*p)->next) {
		if (*p == f) {
			*p = f->next;
			break;
		}
	}
	if (f->client.adapter && f->client.adapter->dec_use)
		f->client.adapter->dec_use(f->client.adapter);
	kfree(f);
	return 0;
}

static struct file_operations i2cdev_fops = {
	.owner = THIS_MODULE,
	.llseek = no_llseek,
	.read = i2cdev_read,
	.write = i2cdev_write,
	.ioctl = i2cdev_ioctl,
	.open = i2cdev_open,
	.release = i2cdev_release,
};

static int __init i2c_dev_init(void)
{
	int res;

	printk(KERN_INFO
	       "i2c-dev.o: i2c /dev entries driver module version %s (%s)\n",
	       "2.6.1", "20010830");
	if (register_chrdev(I2C_MAJOR, "i2c", &i2cdev_fops)) {
		printk(KERN_ERR
		       "i2c-dev.o: unable to get major %d for i2c bus\n",
		       I2C_MAJOR);
		return -EIO;
	}
	res = i2c_add_driver(&i2cdev_driver);
	if (res) {
		printk(KERN_ERR "i2c-dev.o: Driver registration failed, module "
				"not inserted.\n");
		unregister_chrdev(I2C_MAJOR, "i2c");
		return res;
	}
	return 0;
}

static void __exit i2c_dev_exit(void)
{
	int res = i2c_del_driver(&i2cdev_driver);

	if (res)
		printk(KERN_ERR "i2c-dev.o: Driver deregistration failed, "
				"module not removed.\n");
	unregister_chrdev(I2C_MAJOR, "i2c");
}

module_init(i2c_dev_init);
module_exit(i2c_dev_exit);
