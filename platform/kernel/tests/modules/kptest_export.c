/* Exports a routine for modules loaded after it. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>

int kptest_common = 1; /* a global another module also has */

int kptest_exported_value(int x)
{
	return x * 2 + kptest_common;
}
EXPORT_SYMBOL(kptest_exported_value);

static int __init kptest_export_init(void)
{
	printk("kptest_export: common=%d\n", kptest_common);
	return 0;
}

static void __exit kptest_export_exit(void)
{
}

module_init(kptest_export_init);
module_exit(kptest_export_exit);
