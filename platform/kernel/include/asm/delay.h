#ifndef _ASM_DELAY_H
#define _ASM_DELAY_H

/* A busy wait. On the platform's virtual clock it moves time on, so that
 * waits on hardware that polls the clock come to an end. */
extern void __udelay(unsigned long usecs);
extern void __ndelay(unsigned long nsecs);

#define udelay(n) __udelay(n)
#define ndelay(n) __ndelay(n)

#endif
