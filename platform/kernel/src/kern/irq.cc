// Interrupt lines: handlers registered by request_irq and run when the
// board raises a line (the host calls kk_do_irq in interrupt context).
#include "kern.h"

namespace {

struct irqaction {
	void (*handler)(int, void *, struct pt_regs *);
	unsigned long flags;
	const char *name;
	void *dev_id;
	struct irqaction *next;
};

struct irq_desc {
	struct irqaction *action;
	unsigned int depth; /* disable_irq nesting */
	int pending;        /* raised while disabled */
};

struct irq_desc irq_desc[NR_IRQS];

} // namespace

void kern_reset_irqs(void)
{
	/* Actions left behind by a module that never freed them belong to
	 * memory that is gone; forget them. */
	memset(irq_desc, 0, sizeof(irq_desc));
}

extern "C" {

int request_irq(unsigned int irq, void (*handler)(int, void *, struct pt_regs *),
		unsigned long irqflags, const char *devname, void *dev_id)
{
	struct irqaction *action, **p;

	if (irq >= NR_IRQS || !handler)
		return -EINVAL;
	if ((irqflags & SA_SHIRQ) && !dev_id)
		return -EINVAL;
	p = &irq_desc[irq].action;
	if (*p) {
		if (!((*p)->flags & irqflags & SA_SHIRQ))
			return -EBUSY;
		while (*p)
			p = &(*p)->next;
	}
	action = (struct irqaction *)kmalloc(sizeof(*action), GFP_KERNEL);
	if (!action)
		return -ENOMEM;
	action->handler = handler;
	action->flags = irqflags;
	action->name = devname;
	action->dev_id = dev_id;
	action->next = NULL;
	if (!irq_desc[irq].action) {
		irq_desc[irq].depth = 0;
		irq_desc[irq].pending = 0;
	}
	*p = action;
	return 0;
}

void free_irq(unsigned int irq, void *dev_id)
{
	struct irqaction **p;

	if (irq >= NR_IRQS)
		return;
	for (p = &irq_desc[irq].action; *p; p = &(*p)->next) {
		if ((*p)->dev_id != dev_id)
			continue;
		struct irqaction *action = *p;
		*p = action->next;
		kfree(action);
		return;
	}
	printk("Trying to free free IRQ%d\n", irq);
}

void disable_irq(unsigned int irq)
{
	if (irq < NR_IRQS)
		irq_desc[irq].depth++;
}

void disable_irq_nosync(unsigned int irq)
{
	disable_irq(irq);
}

void enable_irq(unsigned int irq)
{
	if (irq >= NR_IRQS)
		return;
	if (!irq_desc[irq].depth) {
		printk("enable_irq(%u) unbalanced\n", irq);
		return;
	}
	if (--irq_desc[irq].depth == 0 && irq_desc[irq].pending) {
		irq_desc[irq].pending = 0;
		kh_irq_resend(irq);
	}
}

void kk_do_irq(unsigned int irq)
{
	struct pt_regs regs;
	unsigned long flags = kern_irq_flags;

	if (irq >= NR_IRQS || !irq_desc[irq].action)
		return;
	if (irq_desc[irq].depth) {
		irq_desc[irq].pending = 1;
		return;
	}
	memset(&regs, 0, sizeof(regs));
	for (struct irqaction *a = irq_desc[irq].action; a; a = a->next) {
		kern_irq_flags = (a->flags & SA_INTERRUPT) ? 0 : 1;
		a->handler((int)irq, a->dev_id, &regs);
	}
	kern_irq_flags = flags;
}

} // extern "C"
