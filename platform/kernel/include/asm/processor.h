#ifndef _ASM_PROCESSOR_H
#define _ASM_PROCESSOR_H

typedef struct {
	unsigned long seg;
} mm_segment_t;

extern int kernel_thread(int (*fn)(void *), void *arg, unsigned long flags);

#define cpu_relax() \
	do {        \
	} while (0)

#endif
