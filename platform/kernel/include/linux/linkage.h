#ifndef _LINUX_LINKAGE_H
#define _LINUX_LINKAGE_H

#define asmlinkage
#define FASTCALL(x) x
#define NORET_TYPE
#define ATTRIB_NORET __attribute__((noreturn))

#endif
