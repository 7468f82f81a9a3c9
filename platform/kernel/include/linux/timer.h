#ifndef _LINUX_TIMER_H
#define _LINUX_TIMER_H

#include <linux/config.h>
#include <linux/list.h>
#include <linux/stddef.h>

struct timer_list {
	struct list_head list;
	unsigned long expires;
	unsigned long data;
	void (*function)(unsigned long);
};

extern void add_timer(struct timer_list *timer);
extern int del_timer(struct timer_list *timer);
extern int mod_timer(struct timer_list *timer, unsigned long expires);

#define del_timer_sync(t) del_timer(t)
#define sync_timers() \
	do {          \
	} while (0)

static inline void init_timer(struct timer_list *timer)
{
	timer->list.next = timer->list.prev = NULL;
}

static inline int timer_pending(const struct timer_list *timer)
{
	return timer->list.next != NULL;
}

#define time_after(a, b)     ((long)(b) - (long)(a) < 0)
#define time_before(a, b)    time_after(b, a)
#define time_after_eq(a, b)  ((long)(a) - (long)(b) >= 0)
#define time_before_eq(a, b) time_after_eq(b, a)

#endif
