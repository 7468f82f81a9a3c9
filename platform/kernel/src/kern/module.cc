// Module use counts: what keeps a module in memory while it is in use.
#include "kern.h"

extern "C" {

int try_inc_mod_count(struct module *mod)
{
	if (!mod)
		return 1;
	if (mod->flags & MOD_DELETED)
		return 0;
	__MOD_INC_USE_COUNT(mod);
	return 1;
}

void h2k_module_setup(struct module *m, const char *name, unsigned long size)
{
	m->size_of_struct = sizeof(*m);
	m->next = NULL;
	m->name = name;
	m->size = size;
	atomic_set(&m->uc.usecount, 0);
	m->flags = MOD_INITIALIZING;
}

void h2k_module_set_running(struct module *m)
{
	m->flags = (m->flags & ~MOD_INITIALIZING) | MOD_RUNNING;
}

long h2k_module_begin_unload(struct module *m)
{
	long refs = __MOD_IN_USE(m);

	if (refs)
		return refs;
	m->flags |= MOD_DELETED;
	return 0;
}

long h2k_module_refs(struct module *m)
{
	return GET_USE_COUNT(m);
}

} // extern "C"

extern "C" void h2k_reset(void)
{
	kern_reset_sched();
	kern_reset_timers();
	kern_reset_irqs();
	kern_reset_tqueue();
	kern_reset_fs();
	kern_reset_i2c();
	kern_reset_hostdevs();
	kern_reset_gbus();
	kern_reset_input();
}
