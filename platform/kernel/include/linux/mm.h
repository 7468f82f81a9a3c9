#ifndef _LINUX_MM_H
#define _LINUX_MM_H

#include <linux/types.h>

#define __GFP_DMA     0x01
#define __GFP_HIGHMEM 0x02
#define __GFP_WAIT    0x10
#define __GFP_HIGH    0x20
#define __GFP_IO      0x40
#define __GFP_HIGHIO  0x80
#define __GFP_FS      0x100

#define GFP_NOHIGHIO (__GFP_HIGH | __GFP_WAIT | __GFP_IO)
#define GFP_NOIO     (__GFP_HIGH | __GFP_WAIT)
#define GFP_NOFS     (__GFP_HIGH | __GFP_WAIT | __GFP_IO | __GFP_HIGHIO)
#define GFP_ATOMIC   (__GFP_HIGH)
#define GFP_USER     (__GFP_WAIT | __GFP_IO | __GFP_HIGHIO | __GFP_FS)
#define GFP_HIGHUSER (GFP_USER | __GFP_HIGHMEM)
#define GFP_KERNEL \
	(__GFP_HIGH | __GFP_WAIT | __GFP_IO | __GFP_HIGHIO | __GFP_FS)
#define GFP_NFS	   GFP_KERNEL
#define GFP_KSWAPD GFP_KERNEL
#define GFP_DMA	   __GFP_DMA

#define PAGE_SHIFT 12
#define PAGE_SIZE  (1UL << PAGE_SHIFT)
#define PAGE_MASK  (~(PAGE_SIZE - 1))

#endif
