#ifndef _LINUX_FS_H
#define _LINUX_FS_H

#include <linux/config.h>
#include <linux/types.h>
#include <linux/kdev_t.h>
#include <linux/list.h>
#include <linux/wait.h>
#include <linux/fcntl.h>
#include <linux/stat.h>
#include <asm/atomic.h>
#include <kplat/limits.h>

struct module;
struct file;
struct poll_table_struct;
struct vm_area_struct;
struct file_lock;
struct page;
struct iovec;
struct vfsmount;

#define MAX_BLKDEV 255

#define FMODE_READ  1
#define FMODE_WRITE 2

#define READ  0
#define WRITE 1

struct inode {
	struct list_head i_list;
	unsigned long i_ino;
	atomic_t i_count;
	kdev_t i_dev;
	umode_t i_mode;
	unsigned int i_nlink;
	uid_t i_uid;
	gid_t i_gid;
	kdev_t i_rdev;
	loff_t i_size;
	wait_queue_head_t i_wait;
	union {
		void *generic_ip;
	} u;
};

struct dentry {
	atomic_t d_count;
	struct inode *d_inode;
};

typedef int (*filldir_t)(void *, const char *, int, loff_t, ino_t, unsigned);

struct file_operations {
	struct module *owner;
	loff_t (*llseek)(struct file *, loff_t, int);
	ssize_t (*read)(struct file *, char *, size_t, loff_t *);
	ssize_t (*write)(struct file *, const char *, size_t, loff_t *);
	int (*readdir)(struct file *, void *, filldir_t);
	unsigned int (*poll)(struct file *, struct poll_table_struct *);
	int (*ioctl)(struct inode *, struct file *, unsigned int,
		     unsigned long);
	int (*mmap)(struct file *, struct vm_area_struct *);
	int (*open)(struct inode *, struct file *);
	int (*flush)(struct file *);
	int (*release)(struct inode *, struct file *);
	int (*fsync)(struct file *, struct dentry *, int datasync);
	int (*fasync)(int, struct file *, int);
	int (*lock)(struct file *, int, struct file_lock *);
	ssize_t (*readv)(struct file *, const struct iovec *, unsigned long,
			 loff_t *);
	ssize_t (*writev)(struct file *, const struct iovec *, unsigned long,
			  loff_t *);
	ssize_t (*sendpage)(struct file *, struct page *, int, size_t, loff_t *,
			    int);
	unsigned long (*get_unmapped_area)(struct file *, unsigned long,
					   unsigned long, unsigned long,
					   unsigned long);
};

struct file {
	struct list_head f_list;
	struct dentry *f_dentry;
	struct vfsmount *f_vfsmnt;
	struct file_operations *f_op;
	atomic_t f_count;
	unsigned int f_flags;
	mode_t f_mode;
	loff_t f_pos;
	unsigned int f_uid, f_gid;
	int f_error;
	unsigned long f_version;
	void *private_data;
};

extern int register_chrdev(unsigned int, const char *,
			   struct file_operations *);
extern int unregister_chrdev(unsigned int, const char *);

extern loff_t no_llseek(struct file *file, loff_t offset, int origin);

#endif
