// Interrupt lines: handlers registered by request_irq and run when the
// board raises a line. A pulse (h2k_do_irq) interrupts once if a handler
// is there; a line the board holds asserted (h2k_irq_line, the SoC's
// interrupt controller until its source is acknowledged) interrupts once,
// and stays due while no handler takes it or the line is disabled.
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
	int pending;  /* due while disabled, or asserted without a handler */
	int asserted; /* held by the board */
	unsigned long count; /* deliveries to the handlers */
};

struct irq_desc irq_desc[NR_IRQS];

/* What a line's holder (h2k_irq_hold) has instead of a handler; the
 * holder's action is the platform's memory, not kmalloc's, and its dev_id
 * is the action itself, so no driver's free_irq can match it. */
void held_handler(int irq, void *dev_id, struct pt_regs *regs)
{
	(void)irq;
	(void)dev_id;
	(void)regs;
}

void deliver(unsigned int irq)
{
	struct pt_regs regs;
	unsigned long flags = kern_irq_flags;

	if (irq_desc[irq].depth || !irq_desc[irq].action) {
		irq_desc[irq].pending = 1;
		return;
	}
	irq_desc[irq].count++;
	memset(&regs, 0, sizeof(regs));
	for (struct irqaction *a = irq_desc[irq].action; a; a = a->next) {
		kern_irq_flags = (a->flags & SA_INTERRUPT) ? 0 : 1;
		a->handler((int)irq, a->dev_id, &regs);
	}
	kern_irq_flags = flags;
}

/* The line is due again: as a level while it is asserted. */
void resend(unsigned int irq)
{
	irq_desc[irq].pending = 0;
	k2h_irq_resend(irq, irq_desc[irq].asserted);
}

int add_action(unsigned int irq, struct irqaction *action)
{
	struct irqaction **p = &irq_desc[irq].action;
	int first = !*p;

	if (*p) {
		if (!((*p)->flags & action->flags & SA_SHIRQ))
			return -EBUSY;
		while (*p)
			p = &(*p)->next;
	}
	action->next = NULL;
	*p = action;
	if (first) {
		irq_desc[irq].depth = 0;
		if (irq_desc[irq].asserted)
			resend(irq);
		else
			irq_desc[irq].pending = 0;
	}
	return 0;
}

} // namespace

void kern_reset_irqs(void)
{
	/* Actions left behind by a module that never freed them belong to
	 * memory that is gone; forget them. A holder's go with the platform. */
	for (unsigned int irq = 0; irq < NR_IRQS; irq++)
		for (struct irqaction *a = irq_desc[irq].action, *next; a;
		     a = next) {
			next = a->next;
			if (a->handler == held_handler) {
				k2h_free((void *)a->name);
				k2h_free(a);
			}
		}
	memset(irq_desc, 0, sizeof(irq_desc));
}

extern "C" {

int request_irq(unsigned int irq,
		void (*handler)(int, void *, struct pt_regs *),
		unsigned long irqflags, const char *devname, void *dev_id)
{
	struct irqaction *action;
	int ret;

	if (irq >= NR_IRQS || !handler)
		return -EINVAL;
	if ((irqflags & SA_SHIRQ) && !dev_id)
		return -EINVAL;
	if (irq_desc[irq].action &&
	    !(irq_desc[irq].action->flags & irqflags & SA_SHIRQ))
		return -EBUSY;
	action = (struct irqaction *)kmalloc(sizeof(*action), GFP_KERNEL);
	if (!action)
		return -ENOMEM;
	action->handler = handler;
	action->flags = irqflags;
	action->name = devname;
	action->dev_id = dev_id;
	ret = add_action(irq, action);
	if (ret)
		kfree(action);
	return ret;
}

void free_irq(unsigned int irq, void *dev_id)
{
	struct irqaction **p;

	if (irq >= NR_IRQS)
		return;
	for (p = &irq_desc[irq].action; *p; p = &(*p)->next) {
		if ((*p)->dev_id != dev_id || (*p)->handler == held_handler)
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
	if (--irq_desc[irq].depth == 0 && irq_desc[irq].pending &&
	    irq_desc[irq].action)
		resend(irq);
}

void h2k_do_irq(unsigned int irq)
{
	if (irq >= NR_IRQS || !irq_desc[irq].action)
		return;
	deliver(irq);
}

void h2k_do_level_irq(unsigned int irq)
{
	if (irq < NR_IRQS && irq_desc[irq].asserted)
		deliver(irq);
}

void h2k_irq_line(unsigned int irq, int asserted)
{
	if (irq >= NR_IRQS)
		return;
	if (!asserted) {
		irq_desc[irq].asserted = 0;
		irq_desc[irq].pending = 0;
		return;
	}
	if (irq_desc[irq].asserted)
		return;
	irq_desc[irq].asserted = 1;
	/* Not at once: the caller may be a driver's register write, which the
	 * interrupt follows only when the CPU takes it. */
	k2h_irq_resend(irq, 1);
}

int h2k_irq_hold(unsigned int irq, const char *name)
{
	struct irqaction *action;
	char *copy;
	int ret;

	if (irq >= NR_IRQS || !name)
		return -EINVAL;
	action = (struct irqaction *)k2h_zalloc(sizeof(*action));
	copy = (char *)k2h_zalloc(strlen(name) + 1);
	strcpy(copy, name);
	action->handler = held_handler;
	action->name = copy;
	action->dev_id = action;
	ret = add_action(irq, action);
	if (ret) {
		k2h_free(copy);
		k2h_free(action);
	}
	return ret;
}

int h2k_irq_unhold(unsigned int irq, const char *name)
{
	if (irq >= NR_IRQS || !name)
		return -EINVAL;
	for (struct irqaction **p = &irq_desc[irq].action; *p;
	     p = &(*p)->next) {
		struct irqaction *a = *p;

		if (a->handler != held_handler || strcmp(a->name, name))
			continue;
		*p = a->next;
		k2h_free((void *)a->name);
		k2h_free(a);
		return 0;
	}
	return -EINVAL;
}

int h2k_irq_action(unsigned int irq, int index, const char **name)
{
	if (irq >= NR_IRQS)
		return 0;
	for (struct irqaction *a = irq_desc[irq].action; a; a = a->next)
		if (index-- == 0) {
			*name = a->name ? a->name : "";
			return 1;
		}
	return 0;
}

void h2k_irq_state(unsigned int irq, int *enabled, int *asserted,
		   unsigned long *count)
{
	if (irq >= NR_IRQS) {
		*enabled = *asserted = 0;
		*count = 0;
		return;
	}
	*enabled = irq_desc[irq].depth == 0;
	*asserted = irq_desc[irq].asserted;
	*count = irq_desc[irq].count;
}

} // extern "C"
