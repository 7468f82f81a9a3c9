/*
 * example: the driver of the example chip. It checks the chip's identity
 * when it loads and enables it; unloading disables it again.
 */
#include <linux/module.h>
#include <linux/init.h>
#include <linux/kernel.h>
#include <linux/errno.h>
#include <asm/tango2/gbus.h>

#define EXAMPLE_BASE	 0x7f000
#define EXAMPLE_IDENTITY (EXAMPLE_BASE + 0x0)
#define EXAMPLE_CONTROL	 (EXAMPLE_BASE + 0x4)
#define EXAMPLE_ID	 0x45584d31
#define EXAMPLE_ENABLE	 0x1

MODULE_LICENSE("GPL");

static int __init example_init(void)
{
	u32 id = gbus_read_uint32(GBUS_HANDLE, EXAMPLE_IDENTITY);

	if (id != EXAMPLE_ID) {
		printk(KERN_ERR "example: no chip (identity 0x%x)\n", id);
		return -ENODEV;
	}
	gbus_write_uint32(GBUS_HANDLE, EXAMPLE_CONTROL, EXAMPLE_ENABLE);
	printk(KERN_INFO "example: chip enabled\n");
	return 0;
}

static void __exit example_exit(void)
{
	gbus_write_uint32(GBUS_HANDLE, EXAMPLE_CONTROL, 0);
}

module_init(example_init);
module_exit(example_exit);
