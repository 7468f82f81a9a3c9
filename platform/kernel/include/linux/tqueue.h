#ifndef _LINUX_TQUEUE_H
#define _LINUX_TQUEUE_H

#include <linux/list.h>
#include <linux/stddef.h>

struct tq_struct {
	struct list_head list;
	unsigned long sync;
	void (*routine)(void *);
	void *data;
};

#define INIT_TQUEUE(_tq, _routine, _data)     \
	do {                                  \
		INIT_LIST_HEAD(&(_tq)->list); \
		(_tq)->sync = 0;              \
		(_tq)->routine = _routine;    \
		(_tq)->data = _data;          \
	} while (0)

#define PREPARE_TQUEUE(_tq, _routine, _data) \
	do {                                 \
		(_tq)->routine = _routine;   \
		(_tq)->data = _data;         \
	} while (0)

typedef struct list_head task_queue;

#define DECLARE_TASK_QUEUE(q) LIST_HEAD(q)
#define TQ_ACTIVE(q)	      (!list_empty(&q))

/* Queues the entry on a task queue; 0 when it was queued already. */
static inline int queue_task(struct tq_struct *bh_pointer, task_queue *bh_list)
{
	if (bh_pointer->sync & 1)
		return 0;
	bh_pointer->sync |= 1;
	list_add_tail(&bh_pointer->list, bh_list);
	return 1;
}

/* Runs and empties a task queue. */
extern void __run_task_queue(task_queue *list);

static inline void run_task_queue(task_queue *list)
{
	if (TQ_ACTIVE(*list))
		__run_task_queue(list);
}

/* Runs the routine once in process context (the keventd thread); 0 when
 * it was queued already. */
extern int schedule_task(struct tq_struct *task);
extern void flush_scheduled_tasks(void);

#endif
