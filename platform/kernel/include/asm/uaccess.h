#ifndef _ASM_UACCESS_H
#define _ASM_UACCESS_H

#include <linux/errno.h>
#include <linux/sched.h>
#include <asm/processor.h>

#define VERIFY_READ  0
#define VERIFY_WRITE 1

/* With KERNEL_DS in force the user copies copy kernel memory. */
#define MAKE_MM_SEG(s) ((mm_segment_t){ (s) })
#define KERNEL_DS      MAKE_MM_SEG(~0UL)
#define USER_DS	       MAKE_MM_SEG(0UL)

#define get_ds()	 (KERNEL_DS)
#define get_fs()	 (current->addr_limit)
#define set_fs(x)	 (current->addr_limit = (x))
#define segment_eq(a, b) ((a).seg == (b).seg)

/* 0 when the calling process may access the range, else -EFAULT. */
extern int verify_area(int type, const void *addr, unsigned long size);
#define access_ok(type, addr, size) (verify_area((type), (addr), (size)) == 0)

/* Both return the number of bytes that could not be copied. */
extern unsigned long copy_to_user(void *to, const void *from, unsigned long n);
extern unsigned long copy_from_user(void *to, const void *from,
				    unsigned long n);
#define __copy_to_user(to, from, n)   copy_to_user((to), (from), (n))
#define __copy_from_user(to, from, n) copy_from_user((to), (from), (n))

extern unsigned long clear_user(void *to, unsigned long n);
#define __clear_user(to, n) clear_user((to), (n))
extern long strncpy_from_user(char *dst, const char *src, long count);
extern long strnlen_user(const char *str, long n);
#define strlen_user(str) strnlen_user((str), (long)(~0UL >> 1))

/* One object of 1, 2, 4 or 8 bytes: 0 or -EFAULT. */
extern long __get_user_check(void *kval, const void *uaddr, unsigned long size);
extern long __put_user_check(const void *kval, void *uaddr, unsigned long size);

/* The value lands in a zeroed object of the promoted type and is converted
 * back, which keeps const pointers usable and sign-extends small types
 * (the box and the development hosts are both little-endian). */
#define get_user(x, ptr)                                                    \
	({                                                                  \
		__typeof__((*(ptr)) + 0) __gu_val = 0;                      \
		long __gu_err =                                             \
			__get_user_check(&__gu_val, (ptr), sizeof(*(ptr))); \
		(x) = (__typeof__(*(ptr)))__gu_val;                         \
		__gu_err;                                                   \
	})

#define put_user(x, ptr)                                            \
	({                                                          \
		__typeof__(*(ptr)) __pu_val = (x);                  \
		__put_user_check(&__pu_val, (ptr), sizeof(*(ptr))); \
	})

#define __get_user(x, ptr) get_user(x, ptr)
#define __put_user(x, ptr) put_user(x, ptr)

#endif
