#ifndef _LINUX_CONFIG_H
#define _LINUX_CONFIG_H

/* The box's kernel: one MIPS32 core, no SMP, no kernel preemption. */
#undef CONFIG_SMP
#define CONFIG_MODULES 1
#define CONFIG_I2C     1

#endif
