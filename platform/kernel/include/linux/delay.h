#ifndef _LINUX_DELAY_H
#define _LINUX_DELAY_H

#include <asm/delay.h>

#define mdelay(n)                         \
	({                                \
		unsigned long __ms = (n); \
		while (__ms--)            \
			udelay(1000);     \
	})

#endif
