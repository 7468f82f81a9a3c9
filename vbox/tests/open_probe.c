/* Opens a path through one of glibc's open entry points, as a program of
 * the box would, and tells what it got:
 *   open_probe ENTRY PATH [create MODE]
 * prints "ok <first bytes> sync=<0|1>" or "err <errno>". */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern int __open_2(const char *, int);
extern int __open64_2(const char *, int);
extern int __openat_2(int, const char *, int);
extern int __openat64_2(int, const char *, int);

int main(int argc, char **argv)
{
	if (argc < 3)
		return 2;
	const char *entry = argv[1];
	const char *path = argv[2];
	int create = argc > 4 && strcmp(argv[3], "create") == 0;
	int flags = create ? O_RDWR | O_CREAT | O_EXCL : O_RDWR | O_SYNC;
	mode_t mode = create ? (mode_t)strtoul(argv[4], NULL, 8) : 0;
	/* openat entry points resolve relative paths from /dev. */
	int dir = open("/dev", O_RDONLY | O_DIRECTORY);
	int fd = -1;
	if (!strcmp(entry, "open"))
		fd = open(path, flags, mode);
	else if (!strcmp(entry, "open64"))
		fd = open64(path, flags, mode);
	else if (!strcmp(entry, "openat"))
		fd = openat(dir, path, flags, mode);
	else if (!strcmp(entry, "openat64"))
		fd = openat64(dir, path, flags, mode);
	else if (!strcmp(entry, "__open_2"))
		fd = __open_2(path, flags);
	else if (!strcmp(entry, "__open64_2"))
		fd = __open64_2(path, flags);
	else if (!strcmp(entry, "__openat_2"))
		fd = __openat_2(dir, path, flags);
	else if (!strcmp(entry, "__openat64_2"))
		fd = __openat64_2(dir, path, flags);
	else
		return 2;
	if (fd < 0) {
		printf("err %s\n", strerrorname_np(errno));
		return 1;
	}
	char buf[17] = { 0 };
	ssize_t n = read(fd, buf, 16);
	if (n > 0 && buf[n - 1] == '\n')
		buf[n - 1] = 0;
	int fl = fcntl(fd, F_GETFL);
	printf("ok %s sync=%d\n", buf, (fl & O_SYNC) == O_SYNC);
	return 0;
}
