// kmalloc and vmalloc: the host's heap, accounted so that tests see leaks
// and can make an allocation fail.
#include "kern.h"

extern "C" void *kmalloc(size_t size, int flags)
{
	(void)flags;
	if (size > KMALLOC_MAXSIZE)
		return NULL;
	return k2h_kmalloc(size);
}

extern "C" void kfree(const void *objp)
{
	k2h_interrupt_point();
	if (!objp)
		return;
	if (k2h_kfree(objp))
		k2h_bug("kfree of a pointer kmalloc did not hand out (or a "
			"double kfree)");
}

extern "C" void *vmalloc(unsigned long size)
{
	if (!size)
		return NULL;
	return k2h_kmalloc(size);
}

extern "C" void vfree(void *addr)
{
	kfree(addr);
}
