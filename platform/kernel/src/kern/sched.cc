// Tasks and sleeping: the scheduler's kernel half. Which context owns the
// CPU is the host's business (k2h_schedule, k2h_wake); here are the task
// states, wait queues, signals, completions and semaphores on top of it.
#include "kern.h"

unsigned long kern_irq_flags = 1;

namespace {

struct task_struct idle_task;
struct task_struct *current_task = &idle_task;
int in_irq_context;

void init_task_struct(struct task_struct *t, void *host_task, int pid,
		      const char *comm)
{
	memset(t, 0, sizeof(*t));
	t->state = TASK_RUNNING;
	t->addr_limit = USER_DS;
	t->pid = pid;
	strncpy(t->comm, comm, sizeof(t->comm) - 1);
	init_waitqueue_head(&t->wait_chldexit);
	spin_lock_init(&t->sigmask_lock);
	t->host_task = host_task;
}

void process_timeout(unsigned long data)
{
	wake_up_process((struct task_struct *)data);
}

} // namespace

void kern_reset_sched(void)
{
	init_task_struct(&idle_task, NULL, 0, "swapper");
	current_task = &idle_task;
	in_irq_context = 0;
	kern_irq_flags = 1;
}

extern "C" {

struct task_struct *get_current(void)
{
	return current_task;
}

int __kernel_in_interrupt(void)
{
	return in_irq_context;
}

unsigned long __kernel_irq_flags(void)
{
	return kern_irq_flags;
}

unsigned long __kernel_irq_save(void)
{
	unsigned long flags = kern_irq_flags;
	kern_irq_flags = 0;
	return flags;
}

void __kernel_irq_restore(unsigned long flags)
{
	kern_irq_flags = flags ? 1 : 0;
}

int h2k_irqs_enabled(void)
{
	return kern_irq_flags != 0;
}

struct task_struct *h2k_task_create(void *host_task, int pid, const char *comm)
{
	struct task_struct *t = (struct task_struct *)k2h_zalloc(sizeof(*t));
	init_task_struct(t, host_task, pid, comm);
	return t;
}

void h2k_task_destroy(struct task_struct *t)
{
	k2h_free(t);
}

struct task_struct *h2k_idle_task(void)
{
	return &idle_task;
}

void h2k_set_current(struct task_struct *t, int in_interrupt)
{
	current_task = t;
	in_irq_context = in_interrupt;
	/* A context that gets the CPU back from schedule() runs with
	 * interrupts enabled, as schedule() leaves them. */
	if (!in_interrupt)
		kern_irq_flags = 1;
}

void h2k_task_exited(struct task_struct *t)
{
	t->state = TASK_ZOMBIE;
}

void schedule(void)
{
	struct task_struct *t = current_task;

	if (in_irq_context)
		k2h_bug("Scheduling in interrupt");
	if (t->state == TASK_INTERRUPTIBLE && signal_pending(t))
		t->state = TASK_RUNNING;
	k2h_schedule(t->state != TASK_RUNNING);
}

void yield(void)
{
	current_task->state = TASK_RUNNING;
	schedule();
}

int wake_up_process(struct task_struct *p)
{
	if (p->state == TASK_RUNNING || p->state == TASK_ZOMBIE)
		return 0;
	p->state = TASK_RUNNING;
	k2h_wake(p->host_task);
	return 1;
}

void __wake_up(wait_queue_head_t *q, unsigned int mode, int nr)
{
	struct list_head *tmp, *next;

	if (!q)
		return;
	list_for_each_safe (tmp, next, &q->task_list) {
		wait_queue_t *curr = list_entry(tmp, wait_queue_t, task_list);
		struct task_struct *p = curr->task;

		if (p->state & mode) {
			if (wake_up_process(p) &&
			    (curr->flags & WQ_FLAG_EXCLUSIVE) && !--nr)
				break;
		}
	}
}

void add_wait_queue(wait_queue_head_t *q, wait_queue_t *wait)
{
	wait->flags &= ~WQ_FLAG_EXCLUSIVE;
	__add_wait_queue(q, wait);
}

void add_wait_queue_exclusive(wait_queue_head_t *q, wait_queue_t *wait)
{
	wait->flags |= WQ_FLAG_EXCLUSIVE;
	__add_wait_queue_tail(q, wait);
}

void remove_wait_queue(wait_queue_head_t *q, wait_queue_t *wait)
{
	__remove_wait_queue(q, wait);
}

signed long schedule_timeout(signed long timeout)
{
	struct timer_list timer;
	unsigned long expire;

	if (timeout == MAX_SCHEDULE_TIMEOUT) {
		schedule();
		return timeout;
	}
	if (timeout < 0) {
		printk(KERN_ERR "schedule_timeout: wrong timeout value %lx\n",
		       (unsigned long)timeout);
		current_task->state = TASK_RUNNING;
		return 0;
	}
	expire = (unsigned long)timeout + jiffies;
	init_timer(&timer);
	timer.expires = expire;
	timer.data = (unsigned long)current_task;
	timer.function = process_timeout;
	add_timer(&timer);
	schedule();
	del_timer(&timer);
	timeout = (signed long)(expire - jiffies);
	return timeout < 0 ? 0 : timeout;
}

static long sleep_on_common(wait_queue_head_t *q, long state,
			    signed long timeout)
{
	wait_queue_t wait;

	init_waitqueue_entry(&wait, current_task);
	current_task->state = state;
	add_wait_queue(q, &wait);
	timeout = schedule_timeout(timeout);
	remove_wait_queue(q, &wait);
	return timeout;
}

void sleep_on(wait_queue_head_t *q)
{
	sleep_on_common(q, TASK_UNINTERRUPTIBLE, MAX_SCHEDULE_TIMEOUT);
}

long sleep_on_timeout(wait_queue_head_t *q, signed long timeout)
{
	return sleep_on_common(q, TASK_UNINTERRUPTIBLE, timeout);
}

void interruptible_sleep_on(wait_queue_head_t *q)
{
	sleep_on_common(q, TASK_INTERRUPTIBLE, MAX_SCHEDULE_TIMEOUT);
}

long interruptible_sleep_on_timeout(wait_queue_head_t *q, signed long timeout)
{
	return sleep_on_common(q, TASK_INTERRUPTIBLE, timeout);
}

/* Signals: a pending set and a blocked set; nothing is delivered to
 * kernel contexts beyond signal_pending(). */

void recalc_sigpending(struct task_struct *t)
{
	int pending = 0;

	for (int i = 0; i < _NSIG_WORDS; i++)
		if (t->pending.signal.sig[i] & ~t->blocked.sig[i])
			pending = 1;
	t->sigpending = pending;
}

void flush_signals(struct task_struct *t)
{
	sigemptyset(&t->pending.signal);
	t->sigpending = 0;
}

void h2k_flush_signals(struct task_struct *t)
{
	flush_signals(t);
}

int send_sig(int sig, struct task_struct *p, int priv)
{
	(void)priv;
	if (sig < 0 || sig > _NSIG)
		return -EINVAL;
	if (!sig || p->state == TASK_ZOMBIE)
		return 0;
	sigaddset(&p->pending.signal, sig);
	recalc_sigpending(p);
	if (p->sigpending && p->state == TASK_INTERRUPTIBLE)
		wake_up_process(p);
	return 0;
}

void h2k_signal(struct task_struct *t, int sig)
{
	send_sig(sig, t, 1);
}

struct task_struct *find_task_by_pid(int pid)
{
	return k2h_find_task(pid);
}

int kill_proc(pid_t pid, int sig, int priv)
{
	struct task_struct *p = k2h_find_task(pid);

	if (!p)
		return -ESRCH;
	return send_sig(sig, p, priv);
}

/* Kernel threads. */

int kernel_thread(int (*fn)(void *), void *arg, unsigned long flags)
{
	(void)flags;
	return k2h_kernel_thread(fn, arg, current_task->comm);
}

void daemonize(void)
{
	current_task->session = 1;
	current_task->pgrp = 1;
}

void reparent_to_init(void)
{
}

void exit_files(struct task_struct *t)
{
	(void)t;
}

void exit_mm(struct task_struct *t)
{
	(void)t;
}

void exit_fs(struct task_struct *t)
{
	(void)t;
}

void do_exit(long error_code)
{
	current_task->exit_code = (int)error_code;
	k2h_thread_exit();
}

void complete_and_exit(struct completion *comp, long code)
{
	if (comp)
		complete(comp);
	do_exit(code);
}

/* Completions. */

void complete(struct completion *x)
{
	x->done++;
	__wake_up(&x->wait, TASK_UNINTERRUPTIBLE | TASK_INTERRUPTIBLE, 1);
}

void wait_for_completion(struct completion *x)
{
	if (!x->done) {
		wait_queue_t wait;

		init_waitqueue_entry(&wait, current_task);
		wait.flags |= WQ_FLAG_EXCLUSIVE;
		__add_wait_queue_tail(&x->wait, &wait);
		do {
			current_task->state = TASK_UNINTERRUPTIBLE;
			schedule();
		} while (!x->done);
		__remove_wait_queue(&x->wait, &wait);
	}
	x->done--;
}

/* Semaphores. */

static int down_common(struct semaphore *sem, long state)
{
	int ret = 0;
	wait_queue_t wait;

	if (atomic_read(&sem->count) > 0) {
		atomic_dec(&sem->count);
		return 0;
	}
	init_waitqueue_entry(&wait, current_task);
	add_wait_queue_exclusive(&sem->wait, &wait);
	sem->sleepers++;
	for (;;) {
		current_task->state = state;
		if (atomic_read(&sem->count) > 0) {
			atomic_dec(&sem->count);
			break;
		}
		if (state == TASK_INTERRUPTIBLE &&
		    signal_pending(current_task)) {
			ret = -EINTR;
			break;
		}
		schedule();
	}
	sem->sleepers--;
	current_task->state = TASK_RUNNING;
	remove_wait_queue(&sem->wait, &wait);
	return ret;
}

void down(struct semaphore *sem)
{
	down_common(sem, TASK_UNINTERRUPTIBLE);
}

int down_interruptible(struct semaphore *sem)
{
	return down_common(sem, TASK_INTERRUPTIBLE);
}

int down_trylock(struct semaphore *sem)
{
	if (atomic_read(&sem->count) > 0) {
		atomic_dec(&sem->count);
		return 0;
	}
	return 1;
}

void up(struct semaphore *sem)
{
	atomic_inc(&sem->count);
	wake_up(&sem->wait);
}

} // extern "C"
