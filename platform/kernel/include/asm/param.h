#ifndef _ASM_PARAM_H
#define _ASM_PARAM_H

#ifndef HZ
#define HZ 100
#endif

#define EXEC_PAGESIZE 4096

#endif
