#ifndef _LINUX_SLAB_H
#define _LINUX_SLAB_H

#include <linux/types.h>
#include <linux/mm.h>

/* The largest object kmalloc hands out, as on the box's kernel. */
#define KMALLOC_MAXSIZE 131072

extern void *kmalloc(size_t size, int flags);
extern void kfree(const void *objp);

#endif
