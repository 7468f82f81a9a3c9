#ifndef _ASM_CURRENT_H
#define _ASM_CURRENT_H

struct task_struct;

extern struct task_struct *get_current(void);
#define current get_current()

#endif
