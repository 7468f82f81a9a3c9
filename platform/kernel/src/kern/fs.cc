// Character devices: the major table, and the file operations a process
// reaches through open, ioctl, read, write and close.
#include "kern.h"

extern "C" {
#include <kplat/file.h>
}

/* The generic ioctls the VFS answers before the driver sees them. */
#define FIONBIO	 0x5421
#define FIONCLEX 0x5450
#define FIOCLEX	 0x5451
#define FIOASYNC 0x5452

namespace {

struct device_struct {
	char name[32];
	struct file_operations *fops;
};

struct device_struct chrdevs[MAX_CHRDEV];

/* What stands behind a major that is held without a driver. */
struct file_operations held_fops;

/* The wait queues a poll left armed for a file. */
#define POLL_ENTRIES 8

struct file_poll {
	struct task_struct *notifier;
	int count;
	wait_queue_t entries[POLL_ENTRIES];
	wait_queue_head_t *heads[POLL_ENTRIES];
};

/* One open file with the inode and dentry it refers to. */
struct open_file {
	struct file file; /* first: a struct file * is its open_file */
	struct dentry dentry;
	struct inode inode;
	struct file_poll poll;
	int user_bits; /* the opener's pointer width: 32 or 64 */
};

void poll_drop(struct file_poll *fp)
{
	for (int i = 0; i < fp->count; i++)
		remove_wait_queue(fp->heads[i], &fp->entries[i]);
	fp->count = 0;
}

void put_owner(struct module *owner)
{
	if (owner)
		__MOD_DEC_USE_COUNT(owner);
}

} // namespace

int kern_file_user_bits(struct file *f)
{
	return ((struct open_file *)f)->user_bits;
}

void kern_reset_fs(void)
{
	memset(chrdevs, 0, sizeof(chrdevs));
}

extern "C" {

int kplat_file_user_bits(struct file *f)
{
	return kern_file_user_bits(f);
}

int register_chrdev(unsigned int major, const char *name,
		    struct file_operations *fops)
{
	if (!fops || !name)
		return -EINVAL;
	if (major == 0) {
		for (major = MAX_CHRDEV - 1; major > 0; major--) {
			if (!chrdevs[major].fops) {
				strncpy(chrdevs[major].name, name,
					sizeof(chrdevs[major].name) - 1);
				chrdevs[major].fops = fops;
				return (int)major;
			}
		}
		return -EBUSY;
	}
	if (major >= MAX_CHRDEV)
		return -EINVAL;
	if (chrdevs[major].fops && chrdevs[major].fops != fops)
		return -EBUSY;
	memset(chrdevs[major].name, 0, sizeof(chrdevs[major].name));
	strncpy(chrdevs[major].name, name, sizeof(chrdevs[major].name) - 1);
	chrdevs[major].fops = fops;
	return 0;
}

int unregister_chrdev(unsigned int major, const char *name)
{
	k2h_interrupt_point();
	if (major >= MAX_CHRDEV || !name)
		return -EINVAL;
	if (!chrdevs[major].fops ||
	    strncmp(chrdevs[major].name, name, sizeof(chrdevs[major].name) - 1))
		return -EINVAL;
	memset(&chrdevs[major], 0, sizeof(chrdevs[major]));
	return 0;
}

loff_t no_llseek(struct file *file, loff_t offset, int origin)
{
	(void)file;
	(void)offset;
	(void)origin;
	return -ESPIPE;
}

const char *h2k_chrdev_name(unsigned int major)
{
	if (major >= MAX_CHRDEV || !chrdevs[major].fops)
		return NULL;
	return chrdevs[major].name;
}

int h2k_chrdev_hold(unsigned int major, const char *name)
{
	return register_chrdev(major, name, &held_fops);
}

int h2k_chrdev_unhold(unsigned int major, const char *name)
{
	if (major >= MAX_CHRDEV || chrdevs[major].fops != &held_fops)
		return -EINVAL;
	return unregister_chrdev(major, name);
}

int h2k_chrdev_open(unsigned int major, unsigned int minor, unsigned int flags,
		    int user_bits, struct file **filp)
{
	struct file_operations *fops;
	struct open_file *of;
	int ret;

	if (major >= MAX_CHRDEV || minor > MINORMASK || !chrdevs[major].fops)
		return -ENXIO;
	fops = chrdevs[major].fops;
	if (fops->owner && !try_inc_mod_count(fops->owner))
		return -ENXIO;

	of = (struct open_file *)k2h_zalloc(sizeof(*of));
	atomic_set(&of->inode.i_count, 1);
	of->inode.i_mode = S_IFCHR | 0666;
	of->inode.i_rdev = MKDEV(major, minor);
	of->inode.i_dev = of->inode.i_rdev;
	INIT_LIST_HEAD(&of->inode.i_list);
	init_waitqueue_head(&of->inode.i_wait);
	atomic_set(&of->dentry.d_count, 1);
	of->dentry.d_inode = &of->inode;
	INIT_LIST_HEAD(&of->file.f_list);
	of->file.f_dentry = &of->dentry;
	of->file.f_op = fops;
	atomic_set(&of->file.f_count, 1);
	of->file.f_flags = flags;
	of->file.f_mode = (flags + 1) & O_ACCMODE;
	of->user_bits = user_bits;

	if (fops->open) {
		ret = fops->open(&of->inode, &of->file);
		if (ret) {
			put_owner(fops->owner);
			k2h_free(of);
			return ret;
		}
	}
	*filp = &of->file;
	return 0;
}

long h2k_file_ioctl(struct file *f, unsigned int cmd, unsigned long arg)
{
	int on;

	switch (cmd) {
	case FIOCLEX:
	case FIONCLEX:
		return 0;
	case FIONBIO:
		if (get_user(on, (int *)arg))
			return -EFAULT;
		if (on)
			f->f_flags |= O_NONBLOCK;
		else
			f->f_flags &= ~O_NONBLOCK;
		return 0;
	case FIOASYNC:
		if (get_user(on, (int *)arg))
			return -EFAULT;
		if (f->f_op->fasync) {
			int err = f->f_op->fasync(-1, f, on);
			if (err < 0)
				return err;
		}
		if (on)
			f->f_flags |= FASYNC;
		else
			f->f_flags &= ~FASYNC;
		return 0;
	default:
		if (!f->f_op->ioctl)
			return -ENOTTY;
		return f->f_op->ioctl(f->f_dentry->d_inode, f, cmd, arg);
	}
}

long h2k_file_read(struct file *f, unsigned long buf, unsigned long count)
{
	if (!(f->f_mode & FMODE_READ))
		return -EBADF;
	if (!f->f_op->read)
		return -EINVAL;
	if (verify_area(VERIFY_WRITE, (void *)buf, count))
		return -EFAULT;
	return f->f_op->read(f, (char *)buf, count, &f->f_pos);
}

long h2k_file_write(struct file *f, unsigned long buf, unsigned long count)
{
	if (!(f->f_mode & FMODE_WRITE))
		return -EBADF;
	if (!f->f_op->write)
		return -EINVAL;
	if (verify_area(VERIFY_READ, (void *)buf, count))
		return -EFAULT;
	return f->f_op->write(f, (const char *)buf, count, &f->f_pos);
}

void __pollwait(struct file *filp, wait_queue_head_t *wait_address,
		poll_table *p)
{
	struct file_poll *fp = (struct file_poll *)p->table;

	(void)filp;
	if (!fp || fp->count == POLL_ENTRIES) {
		p->error = -ENOMEM;
		return;
	}
	init_waitqueue_entry(&fp->entries[fp->count], fp->notifier);
	add_wait_queue(wait_address, &fp->entries[fp->count]);
	fp->heads[fp->count++] = wait_address;
}

unsigned int h2k_file_poll(struct file *f, struct task_struct *notifier)
{
	struct open_file *of = (struct open_file *)f;
	poll_table table = { 0, NULL };

	poll_drop(&of->poll);
	if (!f->f_op->poll)
		return DEFAULT_POLLMASK;
	if (!notifier)
		return f->f_op->poll(f, NULL);
	of->poll.notifier = notifier;
	notifier->state = TASK_INTERRUPTIBLE;
	table.table = (struct poll_table_page *)&of->poll;
	return f->f_op->poll(f, &table);
}

int h2k_file_release(struct file *f)
{
	struct file_operations *fops = f->f_op;
	struct module *owner =
		fops->owner; /* a host device's fops may go with its release */
	int ret = 0;

	poll_drop(&((struct open_file *)f)->poll);
	if (fops->release)
		ret = fops->release(f->f_dentry->d_inode, f);
	put_owner(owner);
	k2h_free((struct open_file *)f); /* the file leads its open_file */
	return ret;
}

} // extern "C"
