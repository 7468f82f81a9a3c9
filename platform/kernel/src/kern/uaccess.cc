// User memory: the calling process's address space, through the host.
// Under set_fs(KERNEL_DS) the same calls copy kernel memory.
#include "kern.h"

namespace {

int kernel_ds(void)
{
	return segment_eq(get_fs(), KERNEL_DS);
}

} // namespace

extern "C" {

int verify_area(int type, const void *addr, unsigned long size)
{
	if (kernel_ds() || !size)
		return 0;
	return k2h_user_access_ok((unsigned long)addr, size,
				  type == VERIFY_WRITE) ?
		       0 :
		       -EFAULT;
}

unsigned long copy_from_user(void *to, const void *from, unsigned long n)
{
	unsigned long left;

	if (!n)
		return 0;
	if (kernel_ds()) {
		memmove(to, from, n);
		return 0;
	}
	left = k2h_copy_from_user(to, (unsigned long)from, n);
	/* As the kernel does: what could not be copied reads as zeroes. */
	if (left)
		memset((char *)to + (n - left), 0, left);
	return left;
}

unsigned long copy_to_user(void *to, const void *from, unsigned long n)
{
	if (!n)
		return 0;
	if (kernel_ds()) {
		memmove(to, from, n);
		return 0;
	}
	return k2h_copy_to_user((unsigned long)to, from, n);
}

long __get_user_check(void *kval, const void *uaddr, unsigned long size)
{
	return copy_from_user(kval, uaddr, size) ? -EFAULT : 0;
}

long __put_user_check(const void *kval, void *uaddr, unsigned long size)
{
	return copy_to_user(uaddr, kval, size) ? -EFAULT : 0;
}

unsigned long clear_user(void *to, unsigned long n)
{
	static const char zeroes[256] = { 0 };
	unsigned long done = 0;

	while (done < n) {
		unsigned long chunk =
			n - done < sizeof(zeroes) ? n - done : sizeof(zeroes);
		unsigned long left =
			copy_to_user((char *)to + done, zeroes, chunk);

		done += chunk - left;
		if (left)
			break;
	}
	return n - done;
}

long strncpy_from_user(char *dst, const char *src, long count)
{
	long i;

	for (i = 0; i < count; i++) {
		if (copy_from_user(dst + i, src + i, 1))
			return -EFAULT;
		if (!dst[i])
			return i;
	}
	return count;
}

long strnlen_user(const char *str, long n)
{
	char c;

	for (long i = 0; i < n; i++) {
		if (copy_from_user(&c, str + i, 1))
			return 0;
		if (!c)
			return i + 1;
	}
	return n + 1;
}

} // extern "C"
