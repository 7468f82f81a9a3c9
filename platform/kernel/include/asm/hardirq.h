#ifndef _ASM_HARDIRQ_H
#define _ASM_HARDIRQ_H

/* Non-zero while an interrupt handler, a timer or another interrupt-time
 * routine runs. */
extern int __kernel_in_interrupt(void);

#define in_interrupt() __kernel_in_interrupt()
#define in_irq()       __kernel_in_interrupt()

#endif
