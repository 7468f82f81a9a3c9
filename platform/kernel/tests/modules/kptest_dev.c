/* A character device for the platform's tests: user memory, sleeping,
 * use counts and kmalloc, reached through ioctl, read and write. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/errno.h>
#include <linux/fcntl.h>
#include <linux/fs.h>
#include <linux/poll.h>
#include <linux/sched.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <asm/uaccess.h>

#include "kptest.h"

static int major;
static char *name = "kptest";
MODULE_PARM(major, "i");
MODULE_PARM(name, "s");

static int registered_major;
static wait_queue_head_t sleepers;
static int woken;
static void *kept[16];
static unsigned char copy_buf[KPTEST_DEV_MAX_COPY];
static const char hello[] = "hello\n";

static int get_range(unsigned long arg, struct kptest_range *r)
{
	if (copy_from_user(r, (void *)arg, sizeof(*r)))
		return -EFAULT;
	if (r->len > sizeof(copy_buf))
		return -EINVAL;
	return 0;
}

static int kptest_ioctl(struct inode *inode, struct file *file,
			unsigned int cmd, unsigned long arg)
{
	struct kptest_range r;
	int value, ret, i;
	signed char c;
	char str[16];

	(void)inode;
	switch (cmd) {
	case KPTEST_GETPUT:
		if (get_user(value, (int *)arg))
			return -EFAULT;
		return put_user(value + 1, (int *)arg);
	case KPTEST_COPY_IN:
		if ((ret = get_range(arg, &r)))
			return ret;
		memset(copy_buf, 0xee, r.len);
		return (int)copy_from_user(copy_buf, (void *)r.addr, r.len);
	case KPTEST_COPY_OUT:
		if ((ret = get_range(arg, &r)))
			return ret;
		memset(copy_buf, 0xab, r.len);
		return (int)copy_to_user((void *)r.addr, copy_buf, r.len);
	case KPTEST_VERIFY_WRITE:
	case KPTEST_VERIFY_READ:
		if (copy_from_user(&r, (void *)arg, sizeof(r)))
			return -EFAULT;
		return verify_area(cmd == KPTEST_VERIFY_WRITE ? VERIFY_WRITE :
								VERIFY_READ,
				   (void *)r.addr, r.len);
	case KPTEST_STRNCPY:
		ret = strncpy_from_user(str, (const char *)arg, sizeof(str));
		if (ret >= 0 && ret < (int)sizeof(str))
			printk("kptest_dev: string %s\n", str);
		return ret;
	case KPTEST_SLEEP:
		if (file->f_flags & O_NONBLOCK)
			return -EAGAIN;
		woken = 0;
		return wait_event_interruptible(sleepers, woken);
	case KPTEST_WAKE:
		woken = 1;
		wake_up_interruptible(&sleepers);
		return 0;
	case KPTEST_INC_USE:
		MOD_INC_USE_COUNT;
		return 0;
	case KPTEST_DEC_USE:
		MOD_DEC_USE_COUNT;
		return 0;
	case KPTEST_GETCHAR:
		if (get_user(c, (signed char *)arg))
			return -EFAULT;
		return c + 1000;
	case KPTEST_ALLOC:
		for (i = 0; i < 16 && kept[i]; i++)
			;
		if (i == 16)
			return -EBUSY;
		kept[i] = kmalloc(arg, GFP_KERNEL);
		return kept[i] ? 0 : -ENOMEM;
	case KPTEST_FREE:
		for (i = 0; i < 16; i++) {
			kfree(kept[i]);
			kept[i] = NULL;
		}
		return 0;
	default:
		return -ENOTTY;
	}
}

static ssize_t kptest_read(struct file *file, char *buf, size_t count,
			   loff_t *pos)
{
	size_t left;

	(void)file;
	if (*pos >= (loff_t)sizeof(hello) - 1)
		return 0;
	left = sizeof(hello) - 1 - (size_t)*pos;
	if (count > left)
		count = left;
	if (copy_to_user(buf, hello + *pos, count))
		return -EFAULT;
	*pos += count;
	return count;
}

static ssize_t kptest_write(struct file *file, const char *buf, size_t count,
			    loff_t *pos)
{
	char text[64];

	(void)file;
	(void)pos;
	if (count >= sizeof(text))
		count = sizeof(text) - 1;
	if (copy_from_user(text, buf, count))
		return -EFAULT;
	text[count] = '\0';
	printk("kptest_dev: wrote %s\n", text);
	return count;
}

/* Readable once woken (KPTEST_WAKE), always writable. */
static unsigned int kptest_poll(struct file *file, poll_table *wait)
{
	poll_wait(file, &sleepers, wait);
	return (woken ? POLLIN | POLLRDNORM : 0) | POLLOUT | POLLWRNORM;
}

static int kptest_open(struct inode *inode, struct file *file)
{
	(void)file;
	printk("kptest_dev: open %d,%d by %s\n", MAJOR(inode->i_rdev),
	       MINOR(inode->i_rdev), current->comm);
	return MINOR(inode->i_rdev) == 99 ? -ENODEV : 0;
}

static int kptest_release(struct inode *inode, struct file *file)
{
	(void)file;
	printk("kptest_dev: release %d\n", MINOR(inode->i_rdev));
	return 0;
}

static struct file_operations kptest_fops = {
	.owner = THIS_MODULE,
	.read = kptest_read,
	.write = kptest_write,
	.poll = kptest_poll,
	.ioctl = kptest_ioctl,
	.open = kptest_open,
	.release = kptest_release,
};

static int __init kptest_dev_init(void)
{
	int ret;

	init_waitqueue_head(&sleepers);
	ret = register_chrdev(major, name, &kptest_fops);
	if (ret < 0)
		return ret;
	registered_major = major ? major : ret;
	printk("kptest_dev: major %d\n", registered_major);
	return 0;
}

static void __exit kptest_dev_exit(void)
{
	int i;

	for (i = 0; i < 16; i++)
		kfree(kept[i]);
	unregister_chrdev(registered_major, name);
}

module_init(kptest_dev_init);
module_exit(kptest_dev_exit);
