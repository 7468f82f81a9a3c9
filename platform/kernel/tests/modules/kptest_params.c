/* Module parameters of every type; init reports what it got. */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>

MODULE_DESCRIPTION("platform test: parameters");
MODULE_LICENSE("GPL");

static int ival = 7;
static unsigned char bval = 1;
static unsigned short hval = 2;
static long lval = 3;
static char *sval = "none";
static char cval[8] = "abc";
static int arr[4] = { 10, 20, 30, 40 };
static int fail;
static int loads;

MODULE_PARM(ival, "i");
MODULE_PARM_DESC(ival, "an int");
MODULE_PARM(bval, "b");
MODULE_PARM(hval, "h");
MODULE_PARM(lval, "l");
MODULE_PARM(sval, "s");
MODULE_PARM(cval, "c8");
MODULE_PARM(arr, "2-4i");
MODULE_PARM(fail, "i");

static int __init kptest_params_init(void)
{
	loads++;
	printk("kptest_params: i=%d b=%u h=%u l=%ld s=%s c=%s arr=%d,%d,%d,%d "
	       "loads=%d\n",
	       ival, bval, hval, lval, sval, cval, arr[0], arr[1], arr[2],
	       arr[3], loads);
	return -fail;
}

static void __exit kptest_params_exit(void)
{
	printk("kptest_params: exit\n");
}

module_init(kptest_params_init);
module_exit(kptest_params_exit);
