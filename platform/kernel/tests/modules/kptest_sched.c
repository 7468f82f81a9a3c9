/* Execution-model checks for the platform's tests: a timer, a kernel
 * thread woken by it and by an interrupt, keventd, delays, completions. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/errno.h>
#include <linux/fs.h>
#include <linux/sched.h>
#include <linux/timer.h>
#include <linux/interrupt.h>
#include <linux/tqueue.h>
#include <linux/delay.h>
#include <linux/completion.h>
#include <asm/uaccess.h>

#include "kptest.h"

static struct timer_list timer;
static wait_queue_head_t thread_wait;
static int thread_events;
static int thread_pid;
static DECLARE_COMPLETION(thread_exited);
static struct completion timer_done;
static int use_completion;
static struct tq_struct task;
static int irq_held = -1;

static int kptest_thread(void *unused)
{
	(void)unused;
	daemonize();
	strcpy(current->comm, "kptest thread");
	printk("kptest_sched: thread %s started\n", current->comm);
	while (!signal_pending(current)) {
		interruptible_sleep_on(&thread_wait);
		if (thread_events) {
			printk("kptest_sched: thread woke at %lu for %d\n",
			       jiffies, thread_events);
			thread_events = 0;
		}
	}
	printk("kptest_sched: thread exits\n");
	complete_and_exit(&thread_exited, 0);
}

static void kptest_timer(unsigned long data)
{
	printk("kptest_sched: timer %lu at %lu%s\n", data, jiffies,
	       in_interrupt() ? " in interrupt" : "");
	if (use_completion) {
		use_completion = 0;
		complete(&timer_done);
	}
	thread_events++;
	wake_up_interruptible(&thread_wait);
}

static void kptest_irq(int irq, void *dev_id, struct pt_regs *regs)
{
	unsigned long flags;

	(void)dev_id;
	(void)regs;
	save_flags(flags);
	printk("kptest_sched: irq %d flags %lu\n", irq, flags);
	thread_events++;
	wake_up_interruptible(&thread_wait);
}

static void kptest_task(void *data)
{
	printk("kptest_sched: task %s in %s\n", (const char *)data,
	       current->comm);
}

static int kptest_ioctl(struct inode *inode, struct file *file,
			unsigned int cmd, unsigned long arg)
{
	unsigned long start;
	long left;

	(void)inode;
	(void)file;
	switch (cmd) {
	case KPTEST_TIMER_ADD:
		timer.expires = jiffies + arg;
		timer.data = arg;
		add_timer(&timer);
		return 0;
	case KPTEST_TIMER_MOD:
		timer.data = arg;
		return mod_timer(&timer, jiffies + arg);
	case KPTEST_TIMER_DEL:
		return del_timer(&timer);
	case KPTEST_SLEEP_TICKS:
		start = jiffies;
		set_current_state(TASK_INTERRUPTIBLE);
		left = schedule_timeout((long)arg);
		printk("kptest_sched: slept %lu left %ld\n", jiffies - start,
		       left);
		return (int)left;
	case KPTEST_IRQ_REQUEST:
		if (request_irq(arg, kptest_irq, SA_INTERRUPT, "kptest",
				&timer))
			return -EBUSY;
		irq_held = (int)arg;
		return 0;
	case KPTEST_IRQ_FREE:
		free_irq(arg, &timer);
		irq_held = -1;
		return 0;
	case KPTEST_IRQ_DISABLE:
		disable_irq(arg);
		return 0;
	case KPTEST_IRQ_ENABLE:
		enable_irq(arg);
		return 0;
	case KPTEST_TASK:
		return schedule_task(&task);
	case KPTEST_UDELAY:
		start = jiffies;
		udelay(arg);
		printk("kptest_sched: delayed %lu\n", arg);
		return (int)(jiffies - start);
	case KPTEST_COMPLETION:
		init_completion(&timer_done);
		use_completion = 1;
		mod_timer(&timer, jiffies + arg);
		wait_for_completion(&timer_done);
		printk("kptest_sched: completed at %lu\n", jiffies);
		return 0;
	case KPTEST_KILL:
		return kill_proc((pid_t)arg, SIGCONT, 1);
	case KPTEST_THREAD_PID:
		return thread_pid;
	default:
		return -ENOTTY;
	}
}

static struct file_operations kptest_fops = {
	.owner = THIS_MODULE,
	.ioctl = kptest_ioctl,
};

static int __init kptest_sched_init(void)
{
	int ret;

	init_timer(&timer);
	timer.function = kptest_timer;
	init_waitqueue_head(&thread_wait);
	INIT_TQUEUE(&task, kptest_task, "hello");
	ret = register_chrdev(KPTEST_SCHED_MAJOR, "kptest_sched", &kptest_fops);
	if (ret)
		return ret;
	thread_pid = kernel_thread(kptest_thread, NULL,
				   CLONE_FS | CLONE_FILES | CLONE_SIGNAL);
	printk("kptest_sched: init in %s\n", current->comm);
	return 0;
}

static void __exit kptest_sched_exit(void)
{
	del_timer(&timer);
	if (irq_held >= 0)
		free_irq(irq_held, &timer);
	kill_proc(thread_pid, SIGTERM, 1);
	wait_for_completion(&thread_exited);
	flush_scheduled_tasks();
	unregister_chrdev(KPTEST_SCHED_MAJOR, "kptest_sched");
}

module_init(kptest_sched_init);
module_exit(kptest_sched_exit);
