#ifndef _LINUX_SMP_LOCK_H
#define _LINUX_SMP_LOCK_H

/* One CPU: the big kernel lock has nothing to keep out. */
#define lock_kernel() do { } while (0)
#define unlock_kernel() do { } while (0)
#define release_kernel_lock(task, cpu) do { } while (0)
#define reacquire_kernel_lock(task) do { } while (0)
#define kernel_locked() 1

#endif
