// Character devices served by the host: a major whose file operations hand
// every call to a device of the host (kplat::CharDevice), and the wait
// queues such devices sleep on and name in their polls.
#include "kern.h"

namespace {

struct host_chrdev {
	struct file_operations
		fops;		/* first: a file's f_op is its host_chrdev */
	kplat_char_device *dev; /* NULL once unregistered */
	unsigned int major;
	int files; /* files open on it */
	struct host_chrdev *next;
};

struct host_chrdev *host_chrdevs;

struct host_chrdev *of_file(struct file *file)
{
	return (struct host_chrdev *)file->f_op;
}

/* An unregistered device goes once its last file is closed. */
void forget_if_done(struct host_chrdev *hc)
{
	if (hc->dev || hc->files)
		return;
	for (struct host_chrdev **p = &host_chrdevs; *p; p = &(*p)->next)
		if (*p == hc) {
			*p = hc->next;
			k2h_free(hc);
			return;
		}
}

int host_open(struct inode *inode, struct file *file)
{
	struct host_chrdev *hc = of_file(file);
	kplat_file *hf = NULL;
	int ret;

	if (!hc->dev)
		return -ENODEV;
	ret = k2h_dev_open(hc->dev, MINOR(inode->i_rdev), file->f_flags,
			   kern_file_user_bits(file), &hf);
	if (ret)
		return ret;
	file->private_data = hf;
	hc->files++;
	return 0;
}

int host_release(struct inode *inode, struct file *file)
{
	struct host_chrdev *hc = of_file(file);
	int ret;

	(void)inode;
	ret = k2h_dev_release((kplat_file *)file->private_data,
			      hc->dev == NULL);
	hc->files--;
	forget_if_done(hc);
	return ret;
}

ssize_t host_read(struct file *file, char *buf, size_t count, loff_t *pos)
{
	(void)pos;
	if (!of_file(file)->dev)
		return -ENODEV;
	return k2h_dev_read((kplat_file *)file->private_data, file->f_flags,
			    (unsigned long)buf, count);
}

ssize_t host_write(struct file *file, const char *buf, size_t count,
		   loff_t *pos)
{
	(void)pos;
	if (!of_file(file)->dev)
		return -ENODEV;
	return k2h_dev_write((kplat_file *)file->private_data, file->f_flags,
			     (unsigned long)buf, count);
}

unsigned int host_poll(struct file *file, poll_table *wait)
{
	if (!of_file(file)->dev)
		return POLLERR | POLLHUP;
	return k2h_dev_poll((kplat_file *)file->private_data, file, wait);
}

int host_ioctl(struct inode *inode, struct file *file, unsigned int cmd,
	       unsigned long arg)
{
	(void)inode;
	if (!of_file(file)->dev)
		return -ENODEV;
	return (int)k2h_dev_ioctl((kplat_file *)file->private_data,
				  file->f_flags, cmd, arg);
}

} // namespace

void kern_reset_hostdevs(void)
{
	while (host_chrdevs) {
		struct host_chrdev *next = host_chrdevs->next;
		k2h_free(host_chrdevs);
		host_chrdevs = next;
	}
}

extern "C" {

int h2k_chrdev_register_host(unsigned int major, const char *name,
			     kplat_char_device *dev)
{
	struct host_chrdev *hc;
	int ret;

	if (!dev)
		return -EINVAL;
	hc = (struct host_chrdev *)k2h_zalloc(sizeof(*hc));
	hc->fops.open = host_open;
	hc->fops.release = host_release;
	hc->fops.read = host_read;
	hc->fops.write = host_write;
	hc->fops.poll = host_poll;
	hc->fops.ioctl = host_ioctl;
	hc->dev = dev;
	ret = register_chrdev(major, name, &hc->fops);
	if (ret < 0) {
		k2h_free(hc);
		return ret;
	}
	hc->major = major ? major : (unsigned int)ret;
	hc->next = host_chrdevs;
	host_chrdevs = hc;
	return ret;
}

int h2k_chrdev_unregister_host(unsigned int major, const char *name)
{
	for (struct host_chrdev *hc = host_chrdevs; hc; hc = hc->next) {
		if (!hc->dev || hc->major != major)
			continue;
		int ret = unregister_chrdev(major, name);
		if (ret)
			return ret;
		hc->dev = NULL;
		forget_if_done(hc);
		return 0;
	}
	return -EINVAL;
}

struct __wait_queue_head *h2k_waitq_new(void)
{
	wait_queue_head_t *q = (wait_queue_head_t *)k2h_zalloc(sizeof(*q));
	init_waitqueue_head(q);
	return q;
}

void h2k_waitq_free(struct __wait_queue_head *q)
{
	if (!list_empty(&q->task_list))
		KBUG("a host device's wait queue freed with sleepers on it");
	k2h_free(q);
}

int h2k_waitq_sleep(struct __wait_queue_head *q)
{
	wait_queue_t wait;

	init_waitqueue_entry(&wait, current);
	set_current_state(TASK_INTERRUPTIBLE);
	add_wait_queue(q, &wait);
	if (!signal_pending(current))
		schedule();
	set_current_state(TASK_RUNNING);
	remove_wait_queue(q, &wait);
	return signal_pending(current) ? -ERESTARTSYS : 0;
}

void h2k_waitq_wake(struct __wait_queue_head *q)
{
	wake_up_interruptible(q);
}

void h2k_poll_wait(struct file *filp, struct __wait_queue_head *q,
		   struct poll_table_struct *wait)
{
	poll_wait(filp, q, wait);
}

} // extern "C"
