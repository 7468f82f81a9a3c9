#ifndef _ASM_BITOPS_H
#define _ASM_BITOPS_H

/* Bit arrays of unsigned longs. One CPU without preemption: the plain
 * forms are atomic enough. */
#define __BITOPS_WORD(nr) ((nr) / (__SIZEOF_LONG__ * 8))
#define __BITOPS_MASK(nr) (1UL << ((nr) % (__SIZEOF_LONG__ * 8)))

static inline void set_bit(int nr, volatile void *addr)
{
	((volatile unsigned long *)addr)[__BITOPS_WORD(nr)] |=
		__BITOPS_MASK(nr);
}

static inline void clear_bit(int nr, volatile void *addr)
{
	((volatile unsigned long *)addr)[__BITOPS_WORD(nr)] &=
		~__BITOPS_MASK(nr);
}

static inline void change_bit(int nr, volatile void *addr)
{
	((volatile unsigned long *)addr)[__BITOPS_WORD(nr)] ^=
		__BITOPS_MASK(nr);
}

static inline int test_bit(int nr, const volatile void *addr)
{
	return (((const volatile unsigned long *)addr)[__BITOPS_WORD(nr)] &
		__BITOPS_MASK(nr)) != 0;
}

static inline int test_and_set_bit(int nr, volatile void *addr)
{
	int old = test_bit(nr, addr);
	set_bit(nr, addr);
	return old;
}

static inline int test_and_clear_bit(int nr, volatile void *addr)
{
	int old = test_bit(nr, addr);
	clear_bit(nr, addr);
	return old;
}

static inline int test_and_change_bit(int nr, volatile void *addr)
{
	int old = test_bit(nr, addr);
	change_bit(nr, addr);
	return old;
}

#define __set_bit(nr, addr)   set_bit(nr, addr)
#define __clear_bit(nr, addr) clear_bit(nr, addr)

#endif
