#ifndef _LINUX_INIT_H
#define _LINUX_INIT_H

#include <linux/config.h>

typedef int (*__init_module_func_t)(void);
typedef void (*__cleanup_module_func_t)(void);

/* Modules keep their start-up and exit code: nothing is discarded. */
#define __init
#define __exit
#define __initdata
#define __exitdata
#define __devinit
#define __devexit
#define __devinitdata
#define __devexitdata
#define __exit_p(x)    x
#define __devexit_p(x) x

/* A module's entry points are the symbols insmod looks for. */
#define module_init(x)                                             \
	int init_module(void) __attribute__((alias(#x)));          \
	static inline __attribute__((unused)) __init_module_func_t \
	__init_module_inline(void)                                 \
	{                                                          \
		return x;                                          \
	}

#define module_exit(x)                                                \
	void cleanup_module(void) __attribute__((alias(#x)));         \
	static inline __attribute__((unused)) __cleanup_module_func_t \
	__cleanup_module_inline(void)                                 \
	{                                                             \
		return x;                                             \
	}

#endif
