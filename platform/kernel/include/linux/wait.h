#ifndef _LINUX_WAIT_H
#define _LINUX_WAIT_H

#include <linux/list.h>
#include <linux/stddef.h>
#include <linux/spinlock.h>

struct task_struct;

#define WNOHANG	  0x00000001
#define WUNTRACED 0x00000002
#define __WALL	  0x40000000
#define __WCLONE  0x80000000

struct __wait_queue {
	unsigned int flags;
#define WQ_FLAG_EXCLUSIVE 0x01
	struct task_struct *task;
	struct list_head task_list;
};
typedef struct __wait_queue wait_queue_t;

struct __wait_queue_head {
	spinlock_t lock;
	struct list_head task_list;
};
typedef struct __wait_queue_head wait_queue_head_t;

#define __WAITQUEUE_INITIALIZER(name, tsk) \
	{                                  \
		0, tsk,                    \
		{                          \
			NULL, NULL         \
		}                          \
	}
#define DECLARE_WAITQUEUE(name, tsk) \
	wait_queue_t name = __WAITQUEUE_INITIALIZER(name, tsk)

#define __WAIT_QUEUE_HEAD_INITIALIZER(name)                  \
	{                                                    \
		{ 0 },                                       \
		{                                            \
			&(name).task_list, &(name).task_list \
		}                                            \
	}
#define DECLARE_WAIT_QUEUE_HEAD(name) \
	wait_queue_head_t name = __WAIT_QUEUE_HEAD_INITIALIZER(name)

static inline void init_waitqueue_head(wait_queue_head_t *q)
{
	spin_lock_init(&q->lock);
	INIT_LIST_HEAD(&q->task_list);
}

static inline void init_waitqueue_entry(wait_queue_t *q, struct task_struct *p)
{
	q->flags = 0;
	q->task = p;
}

static inline int waitqueue_active(wait_queue_head_t *q)
{
	return !list_empty(&q->task_list);
}

static inline void __add_wait_queue(wait_queue_head_t *head,
				    wait_queue_t *entry)
{
	list_add(&entry->task_list, &head->task_list);
}

static inline void __add_wait_queue_tail(wait_queue_head_t *head,
					 wait_queue_t *entry)
{
	list_add_tail(&entry->task_list, &head->task_list);
}

static inline void __remove_wait_queue(wait_queue_head_t *head,
				       wait_queue_t *entry)
{
	(void)head;
	list_del(&entry->task_list);
}

extern void add_wait_queue(wait_queue_head_t *q, wait_queue_t *wait);
extern void add_wait_queue_exclusive(wait_queue_head_t *q, wait_queue_t *wait);
extern void remove_wait_queue(wait_queue_head_t *q, wait_queue_t *wait);

#endif
