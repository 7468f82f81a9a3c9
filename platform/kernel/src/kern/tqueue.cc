// Task queues and keventd, the kernel thread that runs schedule_task()
// entries in process context.
#include "kern.h"

namespace {

struct list_head tq_context = LIST_HEAD_INIT(tq_context);
wait_queue_head_t context_task_wq =
	__WAIT_QUEUE_HEAD_INITIALIZER(context_task_wq);
wait_queue_head_t context_task_done =
	__WAIT_QUEUE_HEAD_INITIALIZER(context_task_done);
struct completion keventd_exited = COMPLETION_INITIALIZER(keventd_exited);
struct task_struct *keventd_task;
int keventd_started;
int keventd_stop;
int keventd_busy;

int context_thread(void *startup)
{
	(void)startup;
	daemonize();
	strcpy(current->comm, "keventd");
	keventd_task = current;
	/* Signals do not stop keventd (another module's SIGCONT to pid 2 must
	 * not end it); only the platform does, at shutdown. */
	sigfillset(&current->blocked);
	recalc_sigpending(current);

	for (;;) {
		wait_queue_t wait;

		init_waitqueue_entry(&wait, current);
		add_wait_queue(&context_task_wq, &wait);
		set_current_state(TASK_INTERRUPTIBLE);
		if (list_empty(&tq_context) && !keventd_stop)
			schedule();
		set_current_state(TASK_RUNNING);
		remove_wait_queue(&context_task_wq, &wait);

		keventd_busy = 1;
		run_task_queue(&tq_context);
		keventd_busy = 0;
		wake_up(&context_task_done);
		if (keventd_stop)
			break;
	}
	keventd_task = NULL;
	complete_and_exit(&keventd_exited, 0);
}

/* Another driver's slow task (h2k_keventd_busy). */
struct tq_struct busy_task;
unsigned long busy_ticks;

void busy_routine(void *data)
{
	(void)data;
	set_current_state(TASK_UNINTERRUPTIBLE);
	schedule_timeout((signed long)busy_ticks);
}

} // namespace

void kern_reset_tqueue(void)
{
	INIT_LIST_HEAD(&tq_context);
	init_waitqueue_head(&context_task_wq);
	init_waitqueue_head(&context_task_done);
	init_completion(&keventd_exited);
	keventd_task = NULL;
	keventd_started = 0;
	keventd_stop = 0;
	keventd_busy = 0;
	memset(&busy_task, 0, sizeof(busy_task));
}

extern "C" {

void __run_task_queue(task_queue *list)
{
	struct list_head head;

	INIT_LIST_HEAD(&head);
	list_splice(list, &head);
	INIT_LIST_HEAD(list);
	while (!list_empty(&head)) {
		struct list_head *next = head.next;
		struct tq_struct *p = list_entry(next, struct tq_struct, list);
		void (*f)(void *) = p->routine;
		void *data = p->data;

		list_del(next);
		p->sync = 0;
		if (f)
			f(data);
	}
}

int schedule_task(struct tq_struct *task)
{
	int ret = queue_task(task, &tq_context);

	if (ret)
		wake_up(&context_task_wq);
	return ret;
}

void flush_scheduled_tasks(void)
{
	k2h_interrupt_point();
	if (current == keventd_task)
		return;
	while (!list_empty(&tq_context) || keventd_busy) {
		wait_queue_t wait;

		init_waitqueue_entry(&wait, current);
		add_wait_queue(&context_task_done, &wait);
		set_current_state(TASK_UNINTERRUPTIBLE);
		wake_up(&context_task_wq);
		if (!list_empty(&tq_context) || keventd_busy)
			schedule();
		set_current_state(TASK_RUNNING);
		remove_wait_queue(&context_task_done, &wait);
	}
}

void h2k_boot(void)
{
	keventd_started = 1;
	kernel_thread(context_thread, NULL,
		      CLONE_FS | CLONE_FILES | CLONE_SIGNAL);
}

int h2k_keventd_busy(unsigned long ticks)
{
	if (busy_task.sync & 1)
		return -EBUSY;
	/* A routine still asleep keeps its own count. */
	busy_ticks = ticks;
	INIT_TQUEUE(&busy_task, busy_routine, NULL);
	return schedule_task(&busy_task) ? 0 : -EBUSY;
}

int h2k_tasks_drop(int (*inside)(const void *p, void *arg), void *arg)
{
	struct list_head *pos, *next;
	int dropped = 0;

	list_for_each_safe (pos, next, &tq_context) {
		struct tq_struct *p = list_entry(pos, struct tq_struct, list);

		if (inside(p, arg) || inside((const void *)p->routine, arg)) {
			list_del(pos);
			p->sync = 0;
			dropped++;
		}
	}
	return dropped;
}

void h2k_shutdown(void)
{
	if (!keventd_started)
		return;
	keventd_stop = 1;
	wake_up(&context_task_wq);
	wait_for_completion(&keventd_exited);
	keventd_started = 0;
}

} // extern "C"
