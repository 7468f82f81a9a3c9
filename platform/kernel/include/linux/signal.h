#ifndef _LINUX_SIGNAL_H
#define _LINUX_SIGNAL_H

#include <asm/signal.h>
#include <linux/string.h>

struct sigpending {
	sigset_t signal;
};

#define sigmask(sig) (1UL << ((sig)-1))

static inline void sigaddset(sigset_t *set, int sig)
{
	unsigned long s = (unsigned long)(sig - 1);
	set->sig[s / _NSIG_BPW] |= 1UL << (s % _NSIG_BPW);
}

static inline void sigdelset(sigset_t *set, int sig)
{
	unsigned long s = (unsigned long)(sig - 1);
	set->sig[s / _NSIG_BPW] &= ~(1UL << (s % _NSIG_BPW));
}

static inline int sigismember(const sigset_t *set, int sig)
{
	unsigned long s = (unsigned long)(sig - 1);
	return (set->sig[s / _NSIG_BPW] >> (s % _NSIG_BPW)) & 1;
}

static inline void sigemptyset(sigset_t *set)
{
	memset(set, 0, sizeof(*set));
}
static inline void sigfillset(sigset_t *set)
{
	memset(set, 0xff, sizeof(*set));
}

static inline void siginitset(sigset_t *set, unsigned long mask)
{
	sigemptyset(set);
	set->sig[0] = mask;
}

static inline void siginitsetinv(sigset_t *set, unsigned long mask)
{
	sigfillset(set);
	set->sig[0] = ~mask;
}

static inline void sigaddsetmask(sigset_t *set, unsigned long mask)
{
	set->sig[0] |= mask;
}
static inline void sigdelsetmask(sigset_t *set, unsigned long mask)
{
	set->sig[0] &= ~mask;
}

#endif
