#define UTS_RELEASE		"2.4.30-tango2-2.7.158.1"
#define LINUX_VERSION_CODE	132126
#define KERNEL_VERSION(a, b, c) (((a) << 16) + ((b) << 8) + (c))
