/* Uses kptest_export's routine. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>

extern int kptest_exported_value(int x);

int kptest_common = 2;

static int __init kptest_import_init(void)
{
	printk("kptest_import: value=%d common=%d\n", kptest_exported_value(20),
	       kptest_common);
	return 0;
}

static void __exit kptest_import_exit(void)
{
}

module_init(kptest_import_init);
module_exit(kptest_import_exit);
