#ifndef _LINUX_INTERRUPT_H
#define _LINUX_INTERRUPT_H

#include <linux/config.h>
#include <linux/kernel.h>
#include <asm/signal.h>
#include <asm/ptrace.h>
#include <asm/hardirq.h>
#include <asm/system.h>
#include <kplat/limits.h>

extern int request_irq(unsigned int irq,
		       void (*handler)(int, void *, struct pt_regs *),
		       unsigned long irqflags, const char *devname,
		       void *dev_id);
extern void free_irq(unsigned int irq, void *dev_id);
extern void disable_irq(unsigned int irq);
extern void disable_irq_nosync(unsigned int irq);
extern void enable_irq(unsigned int irq);

#endif
