/* Calls between the two halves of the kernel platform.
 *
 * src/kern is built like kernel code, against the 2.4 headers alone, and
 * implements the interfaces the modules call. src/host is ordinary C++ on
 * the host's libraries: the CPU and its contexts, virtual time, module
 * loading, user memory and the kernel log's storage. The two halves cannot
 * share headers (the 2.4 headers would shadow the host's own <linux/...>),
 * so only plain types cross here and kernel structures stay opaque to the
 * host. */
#ifndef KPLAT_HOST_H
#define KPLAT_HOST_H

#ifdef __cplusplus
extern "C" {
#endif

struct task_struct;
struct file;
struct module;

/* ---- Host services for the kernel side ---- */

/* Appends text to the kernel log. */
void kh_log(const char *text, unsigned long len);
/* A kernel bug (sleeping in interrupt context, a double kfree, ...): the
 * message goes to the log and to stderr, then the process aborts. */
void kh_bug(const char *what) __attribute__((noreturn));

/* kmalloc's memory: accounted per allocation, subject to injected failure. */
void *kh_kmalloc(unsigned long size);
/* 0, or -1 for a pointer kmalloc did not hand out (nothing is freed). */
int kh_kfree(const void *p);
/* The platform's own zeroed memory: not accounted, never fails. */
void *kh_zalloc(unsigned long size);
void kh_free(void *p);

/* The current process's user memory. The copies return the number of bytes
 * not copied; kh_user_access_ok returns 1 when the whole range is there
 * (writable too, when write is set). */
unsigned long kh_copy_from_user(void *to, unsigned long from, unsigned long n);
unsigned long kh_copy_to_user(unsigned long to, const void *from, unsigned long n);
int kh_user_access_ok(unsigned long addr, unsigned long n, int write);

/* The CPU. kh_schedule gives it up: with sleeping 0 (a yield) the caller
 * runs again at its turn; otherwise once kh_wake has been called for it. */
void kh_schedule(int sleeping);
void kh_wake(void *host_task);
/* A new kernel thread running fn(arg); its pid, or a negative error. The
 * thread first runs when the current context gives up the CPU. */
int kh_kernel_thread(int (*fn)(void *), void *arg, const char *comm);
/* Ends the current kernel thread. */
void kh_thread_exit(void) __attribute__((noreturn));
/* The live task with this pid, or NULL. */
struct task_struct *kh_find_task(int pid);
/* A busy wait of usecs microseconds. */
void kh_udelay(unsigned long usecs);
/* Virtual (or wall-clock) time since the epoch. */
void kh_gettimeofday(long *sec, long *usec);
/* An interrupt held back while its line was disabled is due again. */
void kh_irq_resend(unsigned int irq);

/* The host's I2C masters behind adapters added with kk_i2c_add_master:
 * msgs points to num struct i2c_msg; result as master_xfer's. */
int kh_i2c_master_xfer(void *master, void *msgs, int num);
unsigned int kh_i2c_master_functionality(void *master);

/* ---- The kernel side, for the host ---- */

struct task_struct *kk_task_create(void *host_task, int pid, const char *comm);
void kk_task_destroy(struct task_struct *t);
/* Who runs on the CPU, and whether in interrupt context. */
void kk_set_current(struct task_struct *t, int in_interrupt);
struct task_struct *kk_idle_task(void);
/* Sends a signal, waking the task from an interruptible sleep. */
void kk_signal(struct task_struct *t, int sig);
void kk_flush_signals(struct task_struct *t);
/* Marks the task dead; its wake-ups are ignored from now on. */
void kk_task_exited(struct task_struct *t);

/* Runs the timers that are due. */
void kk_run_timers(void);
/* 1 and the first expiry when a timer is pending, else 0. */
int kk_next_timer(unsigned long *expires);
/* Interrupts enabled (not inside cli/local_irq_save). */
int kk_irqs_enabled(void);
/* Delivers an interrupt on the line. */
void kk_do_irq(unsigned int irq);

/* Clears every table of the kernel side: a new platform boots clean. */
void kk_reset(void);

/* Starts keventd (in the context of init) and stops it. */
void kk_boot(void);
void kk_shutdown(void);

/* Character devices. Results are 0 or positive, or a negative error. */
int kk_chrdev_open(unsigned int major, unsigned int minor, unsigned int flags, struct file **filp);
long kk_file_ioctl(struct file *f, unsigned int cmd, unsigned long arg);
long kk_file_read(struct file *f, unsigned long buf, unsigned long count);
long kk_file_write(struct file *f, unsigned long buf, unsigned long count);
/* The file's poll mask. With a notifier task, the wait queues the driver
 * names are armed: the first wake-up on any of them wakes the notifier
 * (once; polling again re-arms). Without one, nothing stays armed. */
unsigned int kk_file_poll(struct file *f, struct task_struct *notifier);
int kk_file_release(struct file *f);
/* The name a major is registered under, or NULL. */
const char *kk_chrdev_name(unsigned int major);
/* A driver without operations holding the major (so that it is taken). */
int kk_chrdev_hold(unsigned int major, const char *name);
int kk_chrdev_unhold(unsigned int major, const char *name);

/* Modules. */
void kk_module_setup(struct module *m, const char *name, unsigned long size);
void kk_module_set_running(struct module *m);
/* Marks the module as going away; new references are refused. 0 when it
 * may go (no references), else the reference count (the mark is undone). */
long kk_module_begin_unload(struct module *m);
long kk_module_refs(struct module *m);

/* I2C: an adapter whose transfers go to a host master. Returns the adapter
 * number, or a negative error. */
int kk_i2c_add_master(const char *name, unsigned int id, void *master);
int kk_i2c_del_master(int nr);
/* Inspection; these return 0 past the last entry. */
int kk_i2c_adapter(int nr, const char **name, int *clients);
int kk_i2c_client(int nr, int index, const char **name, unsigned int *addr, const char **driver);
int kk_i2c_driver(int index, const char **name);

#ifdef __cplusplus
}
#endif

#endif
