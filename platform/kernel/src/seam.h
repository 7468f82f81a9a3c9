/* The seam between the two halves of the kernel platform.
 *
 * src/kern is built like kernel code, against the 2.4 headers alone, and
 * implements the interfaces the modules call. src/host is ordinary C++ on
 * the host's libraries: the CPU and its contexts, virtual time, module
 * loading, user memory, the kernel log's storage and the board's devices.
 * The halves cannot share the 2.4 headers (they would shadow the host's own
 * <linux/...>), so this header is all they share: plain C types, kernel
 * structures the host never looks into, the host's classes the kernel
 * never looks into, and the few records both read, whose layouts each half
 * checks against its own definition (KPLAT_SAME_FIELD).
 *
 * The names say which way a call goes: k2h_ functions are the host's
 * services, defined in src/host and called by the kernel half; h2k_
 * functions are the kernel's, defined in src/kern and called by the host
 * half, always on the CPU (see core.h). A new capability is one
 * declaration here and one definition on the side that serves it. */
#ifndef KPLAT_SEAM_H
#define KPLAT_SEAM_H

#include "../include/kplat/limits.h"

/* Kernel structures, opaque to the host. */
struct task_struct;
struct file;
struct module;
struct poll_table_struct;
struct __wait_queue_head;
struct timer_list;

/* The host's objects, opaque to the kernel. */
#ifdef __cplusplus
namespace kplat {
class I2cMaster;
class CharDevice;
class File;
} // namespace kplat
typedef kplat::I2cMaster kplat_i2c_master;
typedef kplat::CharDevice kplat_char_device;
typedef kplat::File kplat_file;
#else
typedef struct kplat_i2c_master kplat_i2c_master;
typedef struct kplat_char_device kplat_char_device;
typedef struct kplat_file kplat_file;
#endif

/* ---- Records both halves read ---- */

/* One entry of a module's information table (the kernel's struct
 * module_info_record): "parm_x=i" with the variable, "ksym=f" with the
 * symbol, "description=..." alone. */
struct kplat_info_record {
	const char *text;
	void *addr;
	unsigned long size;
};

/* What the stub linked into every module (src/module_stub.c) hands
 * insmod. */
struct kplat_module_entry {
	struct module *module;
	int (*init)(void);
	void (*cleanup)(void);
	const struct kplat_info_record *info_begin;
	const struct kplat_info_record *info_end;
};

/* One message of an I2C transfer: the kernel's struct i2c_msg, the host's
 * kplat::I2cMsg. */
struct kplat_i2c_msg {
	unsigned short addr;
	unsigned short flags;
	unsigned short len;
	unsigned char *buf;
};
#define KPLAT_I2C_M_RD	    0x0001
#define KPLAT_I2C_M_TEN	    0x0010
#define KPLAT_I2C_M_NOSTART 0x4000

/* An event an input device reported, as the platform keeps it for tests
 * and the virtual box (the kernel's struct input_event with its tick and
 * device). */
struct kplat_input_record {
	unsigned long jiffies;
	long sec, usec;
	int device; /* the device's number: event device minor 64 + number */
	unsigned short type, code;
	int value;
};

/* The file flag the host's devices look at. */
#define KPLAT_O_NONBLOCK 04000

/* The same field at the same place with the same size in both records. */
#define KPLAT_SAME_FIELD(a, b, field)                                 \
	static_assert(__builtin_offsetof(a, field) ==                 \
				      __builtin_offsetof(b, field) && \
			      sizeof(((a *)0)->field) ==              \
				      sizeof(((b *)0)->field),        \
		      #a " and " #b " differ in " #field)

#ifdef __cplusplus
extern "C" {
#endif

/* ---- k2h: the host's services for the kernel half ---- */

/* Appends text to the kernel log. */
void k2h_log(const char *text, unsigned long len);
/* A kernel bug (sleeping in interrupt context, a double kfree, ...): the
 * message goes to the log and to stderr, then the process aborts. */
void k2h_bug(const char *what) __attribute__((noreturn));

/* kmalloc's memory: accounted per allocation, subject to injected failure. */
void *k2h_kmalloc(unsigned long size);
/* 0, or -1 for a pointer kmalloc did not hand out (nothing is freed). */
int k2h_kfree(const void *p);
/* The platform's own zeroed memory: not accounted, never fails. */
void *k2h_zalloc(unsigned long size);
void k2h_free(void *p);

/* The current process's user memory. The copies return the number of bytes
 * not copied; k2h_user_access_ok returns 1 when the whole range is there
 * (writable too, when write is set). */
unsigned long k2h_copy_from_user(void *to, unsigned long from, unsigned long n);
unsigned long k2h_copy_to_user(unsigned long to, const void *from,
			       unsigned long n);
int k2h_user_access_ok(unsigned long addr, unsigned long n, int write);

/* The CPU. k2h_schedule gives it up: with sleeping 0 (a yield) the caller
 * runs again at its turn; otherwise once k2h_wake has been called for it. */
void k2h_schedule(int sleeping);
void k2h_wake(void *host_task);
/* A new kernel thread running fn(arg); its pid, or a negative error. The
 * thread first runs when the current context gives up the CPU. */
int k2h_kernel_thread(int (*fn)(void *), void *arg, const char *comm);
/* Ends the current kernel thread. */
void k2h_thread_exit(void) __attribute__((noreturn));
/* The live task with this pid, or NULL. */
struct task_struct *k2h_find_task(int pid);
/* A busy wait of usecs microseconds. */
void k2h_udelay(unsigned long usecs);
/* Kernel code in process context calls a service where the box's timer
 * interrupt could come in: the tick a test placed there (tick_at_call)
 * comes now. */
void k2h_interrupt_point(void);
/* Virtual (or wall-clock) time since the epoch. */
void k2h_gettimeofday(long *sec, long *usec);
/* Interrupt-time work: h2k_do_irq(irq) (level 0) or h2k_do_level_irq(irq)
 * (level 1) runs once the CPU is free of the current context, as a line
 * that became due interrupts it. */
void k2h_irq_resend(unsigned int irq, int level);

/* The I2C masters behind adapters added with h2k_i2c_add_master; result as
 * master_xfer's. */
int k2h_i2c_master_xfer(kplat_i2c_master *master, struct kplat_i2c_msg *msgs,
			int num);
unsigned int k2h_i2c_master_functionality(kplat_i2c_master *master);

/* The SoC's internal bus (kplat::Gbus attached by the board): one 32-bit
 * register. Without a bus, reads give 0 and writes go nowhere. */
unsigned int k2h_gbus_read(unsigned int addr);
void k2h_gbus_write(unsigned int addr, unsigned int value);

/* Character devices the host serves (h2k_chrdev_register_host): the
 * kernel's file operations for them. flags are the file's f_flags at the
 * call (FIONBIO changes them), user_bits the opener's pointer width. */
int k2h_dev_open(kplat_char_device *dev, unsigned int minor, unsigned int flags,
		 int user_bits, kplat_file **out);
/* device_gone: the device was unregistered; only the file goes. */
int k2h_dev_release(kplat_file *f, int device_gone);
long k2h_dev_read(kplat_file *f, unsigned int flags, unsigned long buf,
		  unsigned long count);
long k2h_dev_write(kplat_file *f, unsigned int flags, unsigned long buf,
		   unsigned long count);
unsigned int k2h_dev_poll(kplat_file *f, struct file *filp,
			  struct poll_table_struct *wait);
long k2h_dev_ioctl(kplat_file *f, unsigned int flags, unsigned int cmd,
		   unsigned long arg);

/* ---- h2k: the kernel half's services for the host ---- */

struct task_struct *h2k_task_create(void *host_task, int pid, const char *comm);
void h2k_task_destroy(struct task_struct *t);
/* Who runs on the CPU, and whether in interrupt context. */
void h2k_set_current(struct task_struct *t, int in_interrupt);
struct task_struct *h2k_idle_task(void);
/* Sends a signal, waking the task from an interruptible sleep. */
void h2k_signal(struct task_struct *t, int sig);
void h2k_flush_signals(struct task_struct *t);
/* Marks the task dead; its wake-ups are ignored from now on. */
void h2k_task_exited(struct task_struct *t);

/* Runs the timers that are due. */
void h2k_run_timers(void);
/* 1 and the first expiry when a timer is pending, else 0. */
int h2k_next_timer(unsigned long *expires);
/* Timers of host devices (kplat::Timer): fn(arg) runs in timer context
 * ticks after h2k_timer_start; starting a pending timer moves it. Freeing
 * stops it first. */
struct timer_list *h2k_timer_new(void (*fn)(void *), void *arg);
void h2k_timer_free(struct timer_list *t);
void h2k_timer_start(struct timer_list *t, unsigned long ticks);
void h2k_timer_stop(struct timer_list *t);
int h2k_timer_pending(struct timer_list *t);
/* Interrupts enabled (not inside cli/local_irq_save). */
int h2k_irqs_enabled(void);

/* Interrupt lines. h2k_do_irq delivers a pulse on the line. A line the
 * board holds at a level (h2k_irq_line) interrupts once when it becomes
 * asserted, or, if no handler took it then or it was disabled, once a
 * handler is added or the line enabled while it is still asserted;
 * h2k_do_level_irq is that delivery, dropped if the line fell meanwhile. */
void h2k_do_irq(unsigned int irq);
void h2k_do_level_irq(unsigned int irq);
void h2k_irq_line(unsigned int irq, int asserted);
/* A holder without a handler takes the line (request_irq then gives
 * -EBUSY), as another driver holding it would. */
int h2k_irq_hold(unsigned int irq, const char *name);
int h2k_irq_unhold(unsigned int irq, const char *name);
/* Inspection: the name of the index-th handler (0 past the last), and the
 * line's state. */
int h2k_irq_action(unsigned int irq, int index, const char **name);
void h2k_irq_state(unsigned int irq, int *enabled, int *asserted,
		   unsigned long *count);

/* Clears every table of the kernel side: a new platform boots clean. */
void h2k_reset(void);

/* Starts keventd (in the context of init) and stops it. */
void h2k_boot(void);
void h2k_shutdown(void);
/* Queues a task of another driver that keeps keventd asleep for ticks:
 * tasks queued meanwhile wait behind it. 0, or -EBUSY while the last one
 * is still queued. */
int h2k_keventd_busy(unsigned long ticks);
/* Takes the queued tasks whose record or routine inside(p, arg) claims
 * (a module's, after its cleanup) off keventd's queue; how many. */
int h2k_tasks_drop(int (*inside)(const void *p, void *arg), void *arg);

/* Character devices. Results are 0 or positive, or a negative error.
 * user_bits is the opener's pointer width (32 or 64): its ABI. */
int h2k_chrdev_open(unsigned int major, unsigned int minor, unsigned int flags,
		    int user_bits, struct file **filp);
long h2k_file_ioctl(struct file *f, unsigned int cmd, unsigned long arg);
long h2k_file_read(struct file *f, unsigned long buf, unsigned long count);
long h2k_file_write(struct file *f, unsigned long buf, unsigned long count);
/* The file's poll mask. With a notifier task, the wait queues the driver
 * names are armed: the first wake-up on any of them wakes the notifier
 * (once; polling again re-arms). Without one, nothing stays armed. */
unsigned int h2k_file_poll(struct file *f, struct task_struct *notifier);
int h2k_file_release(struct file *f);
/* The name a major is registered under, or NULL. */
const char *h2k_chrdev_name(unsigned int major);
/* A driver without operations holding the major (so that it is taken). */
int h2k_chrdev_hold(unsigned int major, const char *name);
int h2k_chrdev_unhold(unsigned int major, const char *name);
/* A major served by a device of the host; register_chrdev's results. An
 * unregistered device's open files fail their calls with -ENODEV. */
int h2k_chrdev_register_host(unsigned int major, const char *name,
			     kplat_char_device *dev);
int h2k_chrdev_unregister_host(unsigned int major, const char *name);

/* Wait queues of host devices: sleeping (interruptible; 0, or
 * -ERESTARTSYS for a signal), waking every sleeper, and naming the queue
 * in a poll. */
struct __wait_queue_head *h2k_waitq_new(void);
void h2k_waitq_free(struct __wait_queue_head *q);
int h2k_waitq_sleep(struct __wait_queue_head *q);
void h2k_waitq_wake(struct __wait_queue_head *q);
void h2k_poll_wait(struct file *filp, struct __wait_queue_head *q,
		   struct poll_table_struct *wait);

/* Modules. */
void h2k_module_setup(struct module *m, const char *name, unsigned long size);
void h2k_module_set_running(struct module *m);
/* Marks the module as going away; new references are refused. 0 when it
 * may go (no references), else the reference count (the mark is undone). */
long h2k_module_begin_unload(struct module *m);
long h2k_module_refs(struct module *m);

/* I2C: an adapter whose transfers go to a host master. Returns the adapter
 * number, or a negative error. */
int h2k_i2c_add_master(const char *name, unsigned int id,
		       kplat_i2c_master *master);
int h2k_i2c_del_master(int nr);
/* A client without a driver holding an address of an adapter, as a client
 * of another driver would; i2c_attach_client's results. */
int h2k_i2c_hold_client(int nr, unsigned int addr, const char *name,
			int in_use);
int h2k_i2c_unhold_client(int nr, unsigned int addr);
/* A transfer on the adapter, as a client driver (or i2c-dev) makes it, in
 * the calling process's context: i2c_transfer's result. */
int h2k_i2c_transfer(int nr, struct kplat_i2c_msg *msgs, int num);
/* Inspection; these return 0 for an empty place. */
int h2k_i2c_adapter(int nr, const char **name, unsigned int *id, int *clients);
int h2k_i2c_client(int nr, int index, const char **name, unsigned int *addr,
		   const char **driver);
int h2k_i2c_driver(int index, const char **name);
/* The I2C core's /proc/bus/i2c text, as much as fits in size - 1 bytes
 * (whole lines), NUL-ended; its length. */
unsigned long h2k_i2c_proc_bus(char *buf, unsigned long size);

/* Input: the events kept are numbered first..next-1 (h2k_input_events
 * returns next); h2k_input_event copies one (0 once it is gone);
 * h2k_input_clear forgets them. h2k_input_device names a registered
 * device (0: none), h2k_input_name an event type (of_type) or a code of a
 * type (NULL: no name). */
unsigned long h2k_input_events(unsigned long *first);
int h2k_input_event(unsigned long seq, struct kplat_input_record *out);
void h2k_input_clear(void);
int h2k_input_device(int number, const char **name);
const char *h2k_input_name(unsigned int type, unsigned int code, int of_type);

/* The SoC bus layer: llad and gbus handles open now. */
int h2k_bus_handles(void);

#ifdef __cplusplus
}
#endif

#endif
