// Kernel timers and jiffies. Pending timers sit in one list ordered by
// expiry (timers due at the same tick keep the order they were added in);
// the host runs the due ones at every tick of the clock.
#include "kern.h"

extern "C" {
volatile unsigned long jiffies;
}

namespace {

struct list_head timer_head = LIST_HEAD_INIT(timer_head);

void internal_add_timer(struct timer_list *timer)
{
	struct list_head *pos;

	list_for_each (pos, &timer_head) {
		struct timer_list *t = list_entry(pos, struct timer_list, list);
		if (time_after(t->expires, timer->expires))
			break;
	}
	list_add_tail(&timer->list, pos);
}

int detach_timer(struct timer_list *timer)
{
	if (!timer_pending(timer))
		return 0;
	list_del(&timer->list);
	return 1;
}

} // namespace

void kern_reset_timers(void)
{
	INIT_LIST_HEAD(&timer_head);
	jiffies = 0;
}

extern "C" {

void add_timer(struct timer_list *timer)
{
	if (timer_pending(timer)) {
		printk("bug: kernel timer added twice at %p.\n",
		       __builtin_return_address(0));
		return;
	}
	internal_add_timer(timer);
}

int del_timer(struct timer_list *timer)
{
	k2h_interrupt_point();
	return detach_timer(timer);
}

int mod_timer(struct timer_list *timer, unsigned long expires)
{
	int pending = detach_timer(timer);

	timer->expires = expires;
	internal_add_timer(timer);
	return pending;
}

void h2k_run_timers(void)
{
	unsigned long flags = kern_irq_flags;

	/* Timer routines run with interrupts enabled, as bottom halves do. */
	kern_irq_flags = 1;
	while (!list_empty(&timer_head)) {
		struct timer_list *t =
			list_entry(timer_head.next, struct timer_list, list);

		if (time_after(t->expires, jiffies))
			break;
		list_del(&t->list);
		t->function(t->data);
	}
	kern_irq_flags = flags;
}

int h2k_next_timer(unsigned long *expires)
{
	if (list_empty(&timer_head))
		return 0;
	*expires =
		list_entry(timer_head.next, struct timer_list, list)->expires;
	return 1;
}

/* A host device's timer: the timer_list first, so the list entry is the
 * whole record. */
struct host_timer {
	struct timer_list timer;
	void (*fn)(void *);
	void *arg;
};

static void host_timer_fire(unsigned long data)
{
	struct host_timer *h = (struct host_timer *)data;

	h->fn(h->arg);
}

struct timer_list *h2k_timer_new(void (*fn)(void *), void *arg)
{
	struct host_timer *h = (struct host_timer *)k2h_zalloc(sizeof(*h));

	init_timer(&h->timer);
	h->timer.function = host_timer_fire;
	h->timer.data = (unsigned long)h;
	h->fn = fn;
	h->arg = arg;
	return &h->timer;
}

void h2k_timer_free(struct timer_list *t)
{
	detach_timer(t);
	k2h_free(t);
}

void h2k_timer_start(struct timer_list *t, unsigned long ticks)
{
	mod_timer(t, jiffies + ticks);
}

void h2k_timer_stop(struct timer_list *t)
{
	detach_timer(t);
}

int h2k_timer_pending(struct timer_list *t)
{
	return timer_pending(t);
}

void __udelay(unsigned long usecs)
{
	k2h_udelay(usecs);
}

void __ndelay(unsigned long nsecs)
{
	k2h_udelay((nsecs + 999) / 1000);
}

void do_gettimeofday(struct timeval *tv)
{
	long sec, usec;

	k2h_gettimeofday(&sec, &usec);
	tv->tv_sec = sec;
	tv->tv_usec = usec;
}

} // extern "C"
