#ifndef _ASM_PTRACE_H
#define _ASM_PTRACE_H

/* The interrupted context's registers, as handed to interrupt handlers. */
struct pt_regs {
	unsigned long regs[32];
	unsigned long cp0_epc;
	unsigned long cp0_status;
	unsigned long cp0_cause;
};

#endif
