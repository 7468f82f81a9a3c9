#ifndef _LINUX_SPINLOCK_H
#define _LINUX_SPINLOCK_H

#include <asm/system.h>

/* One CPU without kernel preemption: a lock only has to keep interrupts
 * out where the _irq forms ask for it. */
typedef struct {
	int unused;
} spinlock_t;
typedef struct {
	int unused;
} rwlock_t;

#define SPIN_LOCK_UNLOCKED ((spinlock_t){ 0 })
#define RW_LOCK_UNLOCKED   ((rwlock_t){ 0 })

#define spin_lock_init(lock)        \
	do {                        \
		(lock)->unused = 0; \
	} while (0)
#define spin_lock(lock)       \
	do {                  \
		(void)(lock); \
	} while (0)
#define spin_unlock(lock)     \
	do {                  \
		(void)(lock); \
	} while (0)
#define spin_trylock(lock)   ((void)(lock), 1)
#define spin_is_locked(lock) ((void)(lock), 0)
#define spin_unlock_wait(lock) \
	do {                   \
		(void)(lock);  \
	} while (0)
#define spin_lock_irq(lock)          \
	do {                         \
		(void)(lock);        \
		local_irq_disable(); \
	} while (0)
#define spin_unlock_irq(lock)       \
	do {                        \
		(void)(lock);       \
		local_irq_enable(); \
	} while (0)
#define spin_lock_irqsave(lock, flags) \
	do {                           \
		(void)(lock);          \
		local_irq_save(flags); \
	} while (0)
#define spin_unlock_irqrestore(lock, flags) \
	do {                                \
		(void)(lock);               \
		local_irq_restore(flags);   \
	} while (0)
#define spin_lock_bh(lock)   spin_lock(lock)
#define spin_unlock_bh(lock) spin_unlock(lock)

#define rwlock_init(lock)           \
	do {                        \
		(lock)->unused = 0; \
	} while (0)
#define read_lock(lock)       \
	do {                  \
		(void)(lock); \
	} while (0)
#define read_unlock(lock)     \
	do {                  \
		(void)(lock); \
	} while (0)
#define write_lock(lock)      \
	do {                  \
		(void)(lock); \
	} while (0)
#define write_unlock(lock)    \
	do {                  \
		(void)(lock); \
	} while (0)
#define read_lock_irqsave(lock, flags)	     spin_lock_irqsave(lock, flags)
#define read_unlock_irqrestore(lock, flags)  spin_unlock_irqrestore(lock, flags)
#define write_lock_irqsave(lock, flags)	     spin_lock_irqsave(lock, flags)
#define write_unlock_irqrestore(lock, flags) spin_unlock_irqrestore(lock, flags)
#define write_lock_irq(lock)		     spin_lock_irq(lock)
#define write_unlock_irq(lock)		     spin_unlock_irq(lock)
#define read_lock_irq(lock)		     spin_lock_irq(lock)
#define read_unlock_irq(lock)		     spin_unlock_irq(lock)

#endif
