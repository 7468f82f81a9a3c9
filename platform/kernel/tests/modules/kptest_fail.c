/* A module without cleanup: it cannot be unloaded. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>

static int __init kptest_fail_init(void)
{
	printk("kptest_fail: loaded\n");
	return 0;
}

module_init(kptest_fail_init);
