#ifndef _LINUX_MODULE_H
#define _LINUX_MODULE_H

#include <linux/config.h>
#include <linux/types.h>
#include <linux/stddef.h>
#include <asm/atomic.h>

#define __MODULE_STRING_1(x) #x
#define __MODULE_STRING(x)   __MODULE_STRING_1(x)

struct module {
	unsigned long size_of_struct;
	struct module *next;
	const char *name;
	unsigned long size;
	union {
		atomic_t usecount;
		long pad;
	} uc;
	unsigned long flags;
	unsigned nsyms;
	unsigned ndeps;
	int (*init)(void);
	void (*cleanup)(void);
	int (*can_unload)(void);
};

#define MOD_UNINITIALIZED 0
#define MOD_RUNNING	  1
#define MOD_DELETED	  2
#define MOD_AUTOCLEAN	  4
#define MOD_VISITED	  8
#define MOD_USED_ONCE	  16
#define MOD_JUST_FREED	  32
#define MOD_INITIALIZING  64

#define GET_USE_COUNT(mod) atomic_read(&(mod)->uc.usecount)
#define __MOD_INC_USE_COUNT(mod)          \
	(atomic_inc(&(mod)->uc.usecount), \
	 (mod)->flags |= MOD_VISITED | MOD_USED_ONCE)
#define __MOD_DEC_USE_COUNT(mod) \
	(atomic_dec(&(mod)->uc.usecount), (mod)->flags |= MOD_VISITED)
#define __MOD_IN_USE(mod)                          \
	((mod)->can_unload ? (mod)->can_unload() : \
			     atomic_read(&(mod)->uc.usecount))

/* Takes a reference unless the module is being unloaded; 1 when taken. */
extern int try_inc_mod_count(struct module *mod);

/* One entry of a module's information table. The text is what the box's
 * .modinfo section holds ("parm_scarts_en=i", "description=..."); a
 * parameter also carries its variable's address and size, since static
 * variables cannot be looked up by name in a loaded object. */
struct module_info_record {
	const char *text;
	void *addr;
	unsigned long size;
};

#if defined(MODULE) && defined(__KERNEL__)

extern struct module __this_module;
#define THIS_MODULE (&__this_module)

#define MOD_INC_USE_COUNT __MOD_INC_USE_COUNT(THIS_MODULE)
#define MOD_DEC_USE_COUNT __MOD_DEC_USE_COUNT(THIS_MODULE)
#define MOD_IN_USE	  __MOD_IN_USE(THIS_MODULE)

#define __MODULE_INFO(id, text, addr, size)                              \
	static struct module_info_record __module_##id                   \
		__attribute__((section("kmodinfo"), used,                \
			       aligned(sizeof(void *)))) = { text, addr, \
							     size }

#define MODULE_PARM(var, type)                                           \
	__MODULE_INFO(parm_##var, "parm_" __MODULE_STRING(var) "=" type, \
		      (void *)&(var), sizeof(var))
#define MODULE_PARM_DESC(var, desc)    \
	__MODULE_INFO(parm_desc_##var, \
		      "parm_desc_" __MODULE_STRING(var) "=" desc, NULL, 0)
#define MODULE_DESCRIPTION(_desc) \
	__MODULE_INFO(description, "description=" _desc, NULL, 0)
#define MODULE_AUTHOR(_author) __MODULE_INFO(author, "author=" _author, NULL, 0)
#define MODULE_LICENSE(_license) \
	__MODULE_INFO(license, "license=" _license, NULL, 0)
#define MODULE_SUPPORTED_DEVICE(_dev) \
	__MODULE_INFO(device, "device=" _dev, NULL, 0)
#define MODULE_GENERIC_TABLE(gtype, name)
#define MODULE_DEVICE_TABLE(type, name)

/* A symbol other modules loaded later may use. */
#define EXPORT_SYMBOL(var)                                      \
	__MODULE_INFO(ksym_##var, "ksym=" __MODULE_STRING(var), \
		      (void *)&(var), 0)
#define EXPORT_SYMBOL_NOVERS(var) EXPORT_SYMBOL(var)
#define EXPORT_SYMBOL_GPL(var)	  EXPORT_SYMBOL(var)
#define EXPORT_NO_SYMBOLS

#ifndef __NO_VERSION__
#include <linux/version.h>
__MODULE_INFO(kernel_version, "kernel_version=" UTS_RELEASE, NULL, 0);
#endif

#else /* the kernel proper */

#define THIS_MODULE ((struct module *)0)
#define MOD_INC_USE_COUNT \
	do {              \
	} while (0)
#define MOD_DEC_USE_COUNT \
	do {              \
	} while (0)
#define MOD_IN_USE 1
#define MODULE_PARM(var, type)
#define MODULE_PARM_DESC(var, desc)
#define MODULE_DESCRIPTION(desc)
#define MODULE_AUTHOR(name)
#define MODULE_LICENSE(license)
#define MODULE_SUPPORTED_DEVICE(dev)
#define MODULE_GENERIC_TABLE(gtype, name)
#define MODULE_DEVICE_TABLE(type, name)
#define EXPORT_SYMBOL(var)
#define EXPORT_SYMBOL_NOVERS(var)
#define EXPORT_SYMBOL_GPL(var)
#define EXPORT_NO_SYMBOLS

#endif

#endif
