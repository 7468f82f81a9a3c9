#ifndef _LINUX_SCHED_H
#define _LINUX_SCHED_H

#include <linux/config.h>
#include <linux/types.h>
#include <linux/kernel.h>
#include <linux/errno.h>
#include <linux/list.h>
#include <linux/wait.h>
#include <linux/timer.h>
#include <linux/signal.h>
#include <linux/completion.h>
#include <asm/param.h>
#include <asm/current.h>
#include <asm/processor.h>
#include <asm/hardirq.h>

extern volatile unsigned long jiffies;

#define CLONE_VM      0x00000100
#define CLONE_FS      0x00000200
#define CLONE_FILES   0x00000400
#define CLONE_SIGHAND 0x00000800
#define CLONE_PID     0x00001000
#define CLONE_PTRACE  0x00002000
#define CLONE_VFORK   0x00004000
#define CLONE_PARENT  0x00008000
#define CLONE_THREAD  0x00010000
#define CLONE_SIGNAL  (CLONE_SIGHAND | CLONE_THREAD)

#define TASK_RUNNING	     0
#define TASK_INTERRUPTIBLE   1
#define TASK_UNINTERRUPTIBLE 2
#define TASK_ZOMBIE	     4
#define TASK_STOPPED	     8

#define __set_task_state(tsk, state_value)    \
	do {                                  \
		(tsk)->state = (state_value); \
	} while (0)
#define set_task_state(tsk, state_value) __set_task_state((tsk), (state_value))
#define __set_current_state(state_value)        \
	do {                                    \
		current->state = (state_value); \
	} while (0)
#define set_current_state(state_value) __set_current_state(state_value)

#define PF_STARTING   0x00000002
#define PF_EXITING    0x00000004
#define PF_FORKNOEXEC 0x00000040
#define PF_SUPERPRIV  0x00000100
#define PF_SIGNALED   0x00000400
#define PF_MEMALLOC   0x00000800

struct mm_struct;
struct files_struct;
struct fs_struct;

struct task_struct {
	volatile long state;
	unsigned long flags;
	int sigpending;
	mm_segment_t addr_limit;
	long counter;
	long nice;
	unsigned long policy;
	struct mm_struct *mm;
	int exit_code, exit_signal;
	pid_t pid;
	pid_t pgrp;
	pid_t session;
	struct task_struct *p_opptr, *p_pptr;
	wait_queue_head_t wait_chldexit;
	struct completion *vfork_done;
	uid_t uid, euid, suid, fsuid;
	gid_t gid, egid, sgid, fsgid;
	char comm[16];
	struct fs_struct *fs;
	struct files_struct *files;
	spinlock_t sigmask_lock;
	sigset_t blocked;
	struct sigpending pending;
	void *host_task; /* the platform's record of this context */
};

#define MAX_SCHEDULE_TIMEOUT LONG_MAX

extern signed long FASTCALL(schedule_timeout(signed long timeout));
asmlinkage void schedule(void);
extern void yield(void);

extern int FASTCALL(wake_up_process(struct task_struct *tsk));
extern void FASTCALL(__wake_up(wait_queue_head_t *q, unsigned int mode,
			       int nr));
extern void FASTCALL(sleep_on(wait_queue_head_t *q));
extern long FASTCALL(sleep_on_timeout(wait_queue_head_t *q,
				      signed long timeout));
extern void FASTCALL(interruptible_sleep_on(wait_queue_head_t *q));
extern long FASTCALL(interruptible_sleep_on_timeout(wait_queue_head_t *q,
						    signed long timeout));

#define wake_up(x) __wake_up((x), TASK_UNINTERRUPTIBLE | TASK_INTERRUPTIBLE, 1)
#define wake_up_nr(x, nr) \
	__wake_up((x), TASK_UNINTERRUPTIBLE | TASK_INTERRUPTIBLE, nr)
#define wake_up_all(x) \
	__wake_up((x), TASK_UNINTERRUPTIBLE | TASK_INTERRUPTIBLE, 0)
#define wake_up_sync(x)			wake_up(x)
#define wake_up_interruptible(x)	__wake_up((x), TASK_INTERRUPTIBLE, 1)
#define wake_up_interruptible_nr(x, nr) __wake_up((x), TASK_INTERRUPTIBLE, nr)
#define wake_up_interruptible_all(x)	__wake_up((x), TASK_INTERRUPTIBLE, 0)
#define wake_up_interruptible_sync(x)	wake_up_interruptible(x)

static inline int signal_pending(struct task_struct *p)
{
	return p->sigpending != 0;
}

extern void recalc_sigpending(struct task_struct *t);
extern void flush_signals(struct task_struct *t);
extern int kill_proc(pid_t pid, int sig, int priv);
extern int send_sig(int sig, struct task_struct *p, int priv);
extern struct task_struct *find_task_by_pid(int pid);

extern void daemonize(void);
extern void reparent_to_init(void);
extern void exit_files(struct task_struct *);
extern void exit_mm(struct task_struct *);
extern void exit_fs(struct task_struct *);

#define __wait_event(wq, condition)                              \
	do {                                                     \
		wait_queue_t __wait;                             \
		init_waitqueue_entry(&__wait, current);          \
		add_wait_queue(&wq, &__wait);                    \
		for (;;) {                                       \
			set_current_state(TASK_UNINTERRUPTIBLE); \
			if (condition)                           \
				break;                           \
			schedule();                              \
		}                                                \
		current->state = TASK_RUNNING;                   \
		remove_wait_queue(&wq, &__wait);                 \
	} while (0)

#define wait_event(wq, condition)            \
	do {                                 \
		if (condition)               \
			break;               \
		__wait_event(wq, condition); \
	} while (0)

#define __wait_event_interruptible(wq, condition, ret)         \
	do {                                                   \
		wait_queue_t __wait;                           \
		init_waitqueue_entry(&__wait, current);        \
		add_wait_queue(&wq, &__wait);                  \
		for (;;) {                                     \
			set_current_state(TASK_INTERRUPTIBLE); \
			if (condition)                         \
				break;                         \
			if (!signal_pending(current)) {        \
				schedule();                    \
				continue;                      \
			}                                      \
			ret = -ERESTARTSYS;                    \
			break;                                 \
		}                                              \
		current->state = TASK_RUNNING;                 \
		remove_wait_queue(&wq, &__wait);               \
	} while (0)

#define wait_event_interruptible(wq, condition)                           \
	({                                                                \
		int __ret = 0;                                            \
		if (!(condition))                                         \
			__wait_event_interruptible(wq, condition, __ret); \
		__ret;                                                    \
	})

#endif
