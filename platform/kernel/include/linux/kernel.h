#ifndef _LINUX_KERNEL_H
#define _LINUX_KERNEL_H

#ifdef __KERNEL__

#include <stdarg.h>
#include <linux/linkage.h>
#include <linux/stddef.h>
#include <linux/types.h>
#include <linux/compiler.h>

#define INT_MAX	  ((int)(~0U >> 1))
#define INT_MIN	  (-INT_MAX - 1)
#define UINT_MAX  (~0U)
#define LONG_MAX  ((long)(~0UL >> 1))
#define LONG_MIN  (-LONG_MAX - 1)
#define ULONG_MAX (~0UL)

#define KERN_EMERG   "<0>"
#define KERN_ALERT   "<1>"
#define KERN_CRIT    "<2>"
#define KERN_ERR     "<3>"
#define KERN_WARNING "<4>"
#define KERN_NOTICE  "<5>"
#define KERN_INFO    "<6>"
#define KERN_DEBUG   "<7>"

struct completion;

extern NORET_TYPE void panic(const char *fmt, ...)
	__attribute__((noreturn, format(printf, 1, 2)));
extern NORET_TYPE void do_exit(long error_code) ATTRIB_NORET;
extern NORET_TYPE void complete_and_exit(struct completion *,
					 long) ATTRIB_NORET;

extern unsigned long simple_strtoul(const char *, char **, unsigned int);
extern long simple_strtol(const char *, char **, unsigned int);
extern int sprintf(char *buf, const char *fmt, ...)
	__attribute__((format(printf, 2, 3)));
extern int vsprintf(char *buf, const char *, va_list);
extern int snprintf(char *buf, size_t size, const char *fmt, ...)
	__attribute__((format(printf, 3, 4)));
extern int vsnprintf(char *buf, size_t size, const char *fmt, va_list args);
extern int sscanf(const char *, const char *, ...)
	__attribute__((format(scanf, 2, 3)));

asmlinkage int printk(const char *fmt, ...)
	__attribute__((format(printf, 1, 2)));

#define min(x, y)                             \
	({                                    \
		const __typeof__(x) _x = (x); \
		const __typeof__(y) _y = (y); \
		(void)(&_x == &_y);           \
		_x < _y ? _x : _y;            \
	})

#define max(x, y)                             \
	({                                    \
		const __typeof__(x) _x = (x); \
		const __typeof__(y) _y = (y); \
		(void)(&_x == &_y);           \
		_x > _y ? _x : _y;            \
	})

#define min_t(type, x, y)              \
	({                             \
		type __x = (x);        \
		type __y = (y);        \
		__x < __y ? __x : __y; \
	})
#define max_t(type, x, y)              \
	({                             \
		type __x = (x);        \
		type __y = (y);        \
		__x > __y ? __x : __y; \
	})

#define BUG() panic("kernel BUG at %s:%d!", __FILE__, __LINE__)

#endif /* __KERNEL__ */

#endif
