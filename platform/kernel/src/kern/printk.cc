// printk, panic and the kernel's small string helpers.
#include "kern.h"

extern "C" int printk(const char *fmt, ...)
{
	/* As on the box: one message is at most 1 KiB. */
	char buf[1024];
	va_list args;

	va_start(args, fmt);
	int n = vsnprintf(buf, sizeof(buf), fmt, args);
	va_end(args);
	if (n < 0)
		return n;
	unsigned long len = (unsigned long)n < sizeof(buf) ? (unsigned long)n :
							     sizeof(buf) - 1;
	k2h_log(buf, len);
	return (int)len;
}

extern "C" void panic(const char *fmt, ...)
{
	char buf[1024];
	va_list args;

	va_start(args, fmt);
	vsnprintf(buf, sizeof(buf), fmt, args);
	va_end(args);
	printk(KERN_EMERG "Kernel panic: %s\n", buf);
	k2h_bug(buf);
}

static int digit_value(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'z')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'Z')
		return c - 'A' + 10;
	return 99;
}

extern "C" unsigned long simple_strtoul(const char *cp, char **endp,
					unsigned int base)
{
	unsigned long result = 0;

	if (!base) {
		base = 10;
		if (*cp == '0') {
			base = 8;
			cp++;
			if ((*cp == 'x' || *cp == 'X') &&
			    digit_value(cp[1]) < 16) {
				cp++;
				base = 16;
			}
		}
	} else if (base == 16 && cp[0] == '0' &&
		   (cp[1] == 'x' || cp[1] == 'X')) {
		cp += 2;
	}
	for (int d; (d = digit_value(*cp)) < (int)base; cp++)
		result = result * base + (unsigned long)d;
	if (endp)
		*endp = (char *)cp;
	return result;
}

extern "C" long simple_strtol(const char *cp, char **endp, unsigned int base)
{
	if (*cp == '-')
		return -(long)simple_strtoul(cp + 1, endp, base);
	return (long)simple_strtoul(cp, endp, base);
}
