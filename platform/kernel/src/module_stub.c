/* Linked into every module built for the host platform: the module's own
 * struct module, and the table insmod reads (the entry points and the
 * information records that 2.4 keeps in .modinfo). */
#define __NO_VERSION__
#include <linux/module.h>

struct module __this_module;

extern struct module_info_record __start_kmodinfo[] __attribute__((weak));
extern struct module_info_record __stop_kmodinfo[] __attribute__((weak));
extern int init_module(void) __attribute__((weak));
extern void cleanup_module(void) __attribute__((weak));

struct kplat_module {
	struct module *module;
	int (*init)(void);
	void (*cleanup)(void);
	const struct module_info_record *info_begin;
	const struct module_info_record *info_end;
};

const struct kplat_module *__kplat_module(void);

const struct kplat_module *__kplat_module(void)
{
	static struct kplat_module self;

	self.module = &__this_module;
	self.init = init_module;
	self.cleanup = cleanup_module;
	self.info_begin = __start_kmodinfo;
	self.info_end = __stop_kmodinfo;
	return &self;
}
