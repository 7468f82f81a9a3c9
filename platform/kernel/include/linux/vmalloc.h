#ifndef _LINUX_VMALLOC_H
#define _LINUX_VMALLOC_H

#include <linux/types.h>

extern void *vmalloc(unsigned long size);
extern void vfree(void *addr);

#endif
