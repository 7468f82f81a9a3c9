/* Linked into every module built for the host platform: the module's own
 * struct module, and the entry insmod reads (the entry points and the
 * information records that 2.4 keeps in .modinfo). */
#define __NO_VERSION__
#include <linux/module.h>

#include "seam.h"

struct module __this_module;

/* The records MODULE_PARM and friends put in the section; the kernel half
 * checks that struct module_info_record is laid out as these. */
extern const struct kplat_info_record __start_kmodinfo[] __attribute__((weak));
extern const struct kplat_info_record __stop_kmodinfo[] __attribute__((weak));
extern int init_module(void) __attribute__((weak));
extern void cleanup_module(void) __attribute__((weak));

const struct kplat_module_entry *__kplat_module(void);

const struct kplat_module_entry *__kplat_module(void)
{
	static struct kplat_module_entry self;

	self.module = &__this_module;
	self.init = init_module;
	self.cleanup = cleanup_module;
	self.info_begin = __start_kmodinfo;
	self.info_end = __stop_kmodinfo;
	return &self;
}
