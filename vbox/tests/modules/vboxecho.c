/*
 * vboxecho: a small character device for the virtual box's own tests.
 * What is written to it can be read back, in order; a read with nothing
 * buffered sleeps until a write arrives (or returns -EAGAIN for a
 * non-blocking opener), and poll reports readability. It exercises the
 * box's read, write and poll paths while no box driver has data to read.
 */
#include <linux/module.h>
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/fs.h>
#include <linux/errno.h>
#include <linux/sched.h>
#include <linux/poll.h>
#include <linux/fcntl.h>
#include <linux/slab.h>
#include <asm/uaccess.h>

#define ECHO_MAJOR 240
#define ECHO_SIZE  4096

MODULE_DESCRIPTION("virtual box echo device");
MODULE_LICENSE("GPL");

/* leak=1: init takes memory that cleanup forgets, for the shutdown check. */
static int leak;
MODULE_PARM(leak, "i");

static struct {
	char buf[ECHO_SIZE];
	unsigned int head, count;
	wait_queue_head_t readers;
} echo;

static ssize_t echo_read(struct file *file, char *ubuf, size_t len,
			 loff_t *ppos)
{
	size_t n, first;

	(void)ppos;
	while (echo.count == 0) {
		if (file->f_flags & O_NONBLOCK)
			return -EAGAIN;
		interruptible_sleep_on(&echo.readers);
		if (signal_pending(current))
			return -ERESTARTSYS;
	}
	n = len < echo.count ? len : echo.count;
	first = ECHO_SIZE - echo.head < n ? ECHO_SIZE - echo.head : n;
	if (copy_to_user(ubuf, echo.buf + echo.head, first) ||
	    copy_to_user(ubuf + first, echo.buf, n - first))
		return -EFAULT;
	echo.head = (echo.head + n) % ECHO_SIZE;
	echo.count -= n;
	return n;
}

static ssize_t echo_write(struct file *file, const char *ubuf, size_t len,
			  loff_t *ppos)
{
	size_t n = ECHO_SIZE - echo.count, i;

	(void)file;
	(void)ppos;
	if (len < n)
		n = len;
	for (i = 0; i < n; i++) {
		char c;
		if (get_user(c, ubuf + i))
			return i ? (ssize_t)i : -EFAULT;
		echo.buf[(echo.head + echo.count) % ECHO_SIZE] = c;
		echo.count++;
	}
	if (n)
		wake_up_interruptible(&echo.readers);
	return n ? (ssize_t)n : -ENOSPC;
}

static unsigned int echo_poll(struct file *file, poll_table *wait)
{
	poll_wait(file, &echo.readers, wait);
	return (echo.count ? POLLIN | POLLRDNORM : 0) |
	       (echo.count < ECHO_SIZE ? POLLOUT | POLLWRNORM : 0);
}

/* A script of user-memory copies for the bridge's tests: ioctl 3 sets it,
 * ioctl 2 runs it against its argument. Reads add up the bytes they see
 * (the result), writes store 0xa0, 0xa1, ... from the copy's start. The
 * first copy that fails ends the call with -EFAULT. */
#define COPY_READ  1
#define COPY_WRITE 2
struct copy_op {
	unsigned int kind, offset, len;
};
static struct {
	unsigned int count;
	struct copy_op op[8];
} script;

static int run_script(unsigned long arg)
{
	unsigned char buf[64];
	unsigned int i, j;
	int sum = 0;

	for (i = 0; i < script.count; i++) {
		struct copy_op *op = &script.op[i];
		if (op->len > sizeof(buf))
			return -EINVAL;
		if (op->kind == COPY_READ) {
			if (copy_from_user(buf, (void *)(arg + op->offset),
					   op->len))
				return -EFAULT;
			for (j = 0; j < op->len; j++)
				sum += buf[j];
		} else {
			for (j = 0; j < op->len; j++)
				buf[j] = 0xa0 + j;
			if (copy_to_user((void *)(arg + op->offset), buf,
					 op->len))
				return -EFAULT;
		}
	}
	return sum;
}

/* ioctl 1 tells how many bytes wait to be read. */
static int echo_ioctl(struct inode *inode, struct file *file, unsigned int cmd,
		      unsigned long arg)
{
	(void)inode;
	(void)file;
	switch (cmd) {
	case 1:
		return put_user((int)echo.count, (int *)arg);
	case 2:
		return run_script(arg);
	case 3:
		if (copy_from_user(&script, (void *)arg, sizeof(script)))
			return -EFAULT;
		return script.count > 8 ? -EINVAL : 0;
	}
	return -ENOTTY;
}

static struct file_operations echo_fops = {
	.owner = THIS_MODULE,
	.read = echo_read,
	.write = echo_write,
	.poll = echo_poll,
	.ioctl = echo_ioctl,
};

static int __init echo_init(void)
{
	init_waitqueue_head(&echo.readers);
	if (leak && !kmalloc(32, GFP_KERNEL))
		return -ENOMEM;
	return register_chrdev(ECHO_MAJOR, "vboxecho", &echo_fops);
}

static void __exit echo_exit(void)
{
	unregister_chrdev(ECHO_MAJOR, "vboxecho");
	printk("<6>vboxecho unloaded\n");
}

module_init(echo_init);
module_exit(echo_exit);
