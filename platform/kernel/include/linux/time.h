#ifndef _LINUX_TIME_H
#define _LINUX_TIME_H

#include <linux/types.h>

struct timespec {
	time_t tv_sec;
	long tv_nsec;
};

struct timeval {
	time_t tv_sec;
	suseconds_t tv_usec;
};

#ifdef __KERNEL__
extern void do_gettimeofday(struct timeval *tv);
#endif

#endif
