#ifndef _ASM_ATOMIC_H
#define _ASM_ATOMIC_H

/* One CPU and no kernel preemption: a plain access is atomic. */
typedef struct {
	volatile int counter;
} atomic_t;

#define ATOMIC_INIT(i) \
	{              \
		(i)    \
	}
#define atomic_read(v)	 ((v)->counter)
#define atomic_set(v, i) ((v)->counter = (i))

static inline void atomic_add(int i, atomic_t *v)
{
	v->counter += i;
}
static inline void atomic_sub(int i, atomic_t *v)
{
	v->counter -= i;
}
static inline void atomic_inc(atomic_t *v)
{
	v->counter++;
}
static inline void atomic_dec(atomic_t *v)
{
	v->counter--;
}
static inline int atomic_add_return(int i, atomic_t *v)
{
	return v->counter += i;
}
static inline int atomic_sub_return(int i, atomic_t *v)
{
	return v->counter -= i;
}
static inline int atomic_inc_and_test(atomic_t *v)
{
	return ++v->counter == 0;
}
static inline int atomic_dec_and_test(atomic_t *v)
{
	return --v->counter == 0;
}
static inline int atomic_sub_and_test(int i, atomic_t *v)
{
	return (v->counter -= i) == 0;
}
static inline int atomic_add_negative(int i, atomic_t *v)
{
	return (v->counter += i) < 0;
}

#endif
