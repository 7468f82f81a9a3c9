#ifndef _ASM_SYSTEM_H
#define _ASM_SYSTEM_H

/* The CPU's interrupt-enable state. Interrupts never cut into running
 * kernel code on this platform (they are taken when a context sleeps or
 * returns, and inside delays); with interrupts disabled they wait until
 * the state is restored. */
extern unsigned long __kernel_irq_flags(void);
extern unsigned long __kernel_irq_save(void);
extern void __kernel_irq_restore(unsigned long flags);

#define __save_flags(x)	     ((x) = __kernel_irq_flags())
#define __restore_flags(x)   __kernel_irq_restore(x)
#define __cli()		     ((void)__kernel_irq_save())
#define __sti()		     __kernel_irq_restore(1)
#define save_flags(x)	     __save_flags(x)
#define restore_flags(x)     __restore_flags(x)
#define cli()		     __cli()
#define sti()		     __sti()
#define save_and_cli(x)	     ((x) = __kernel_irq_save())
#define local_irq_save(x)    ((x) = __kernel_irq_save())
#define local_irq_restore(x) __kernel_irq_restore(x)
#define local_irq_disable()  __cli()
#define local_irq_enable()   __sti()

#define barrier() __asm__ __volatile__("" : : : "memory")
#define mb()	  __sync_synchronize()
#define rmb()	  mb()
#define wmb()	  mb()
#define smp_mb()  barrier()
#define smp_rmb() barrier()
#define smp_wmb() barrier()

#endif
