/* Commands of the platform's test modules, shared with the tests. */
#ifndef KPTEST_H
#define KPTEST_H

/* kptest_dev: user memory, sleeping, use counts, kmalloc. */
struct kptest_range {
	unsigned long addr;
	unsigned long len;
};

#define KPTEST_GETPUT  1 /* the int at arg += 1 (get_user, put_user) */
#define KPTEST_COPY_IN 2 /* range at arg: copy_from_user; bytes not copied */
#define KPTEST_COPY_OUT \
	3 /* range at arg: copy_to_user of 0xab; bytes not copied */
#define KPTEST_VERIFY_WRITE 4 /* range at arg: verify_area */
#define KPTEST_VERIFY_READ  5
#define KPTEST_STRNCPY	    6 /* string at arg: strncpy_from_user, 16 bytes */
#define KPTEST_SLEEP \
	7 /* sleeps until KPTEST_WAKE or a signal (-EAGAIN if O_NONBLOCK) */
#define KPTEST_WAKE	    8
#define KPTEST_INC_USE	    9
#define KPTEST_DEC_USE	    10
#define KPTEST_GETCHAR	    11 /* the signed char at arg, plus 1000 */
#define KPTEST_ALLOC	    12 /* kmalloc(arg) kept: 0 or -ENOMEM */
#define KPTEST_FREE	    13 /* frees what KPTEST_ALLOC kept */
#define KPTEST_DEV_MAX_COPY 8192

/* kptest_i2c: transfers through its clients. */
struct kptest_xfer {
	int client; /* index of the attached client */
	int len;
	unsigned char buf[16];
};

#define KPTEST_I2C_SEND	      1 /* i2c_master_send */
#define KPTEST_I2C_RECV	      2 /* i2c_master_recv */
#define KPTEST_I2C_WRITE_READ 3 /* i2c_transfer: write buf[0], read len */
#define KPTEST_I2C_READ_BYTE_DATA \
	4 /* smbus read of command buf[0] into buf[0] */
#define KPTEST_I2C_MAJOR 240

/* kptest_sched: timers, a kernel thread, interrupts, keventd, delays. */
#define KPTEST_TIMER_ADD 1 /* the timer for now + arg */
#define KPTEST_TIMER_MOD 2 /* mod_timer to now + arg: was pending */
#define KPTEST_TIMER_DEL 3 /* del_timer: was pending */
#define KPTEST_SLEEP_TICKS \
	4 /* schedule_timeout(arg), interruptible: the rest */
#define KPTEST_IRQ_REQUEST 5 /* request_irq(arg): its result */
#define KPTEST_IRQ_FREE	   6
#define KPTEST_IRQ_DISABLE 7
#define KPTEST_IRQ_ENABLE  8
#define KPTEST_TASK	   9  /* schedule_task: its result */
#define KPTEST_UDELAY	   10 /* udelay(arg): the jiffies it took */
#define KPTEST_COMPLETION  11 /* waits for a completion the timer completes */
#define KPTEST_KILL	   12 /* kill_proc(arg, SIGCONT): its result */
#define KPTEST_THREAD_PID  13
#define KPTEST_SCHED_MAJOR 241

#endif
