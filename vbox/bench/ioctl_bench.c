/*
 * ioctl round trips per second: a tight loop of one read command on a device
 * node for a given time. With PATH "native" it runs the same loop on a
 * cheap ioctl of the host's own kernel (FIONREAD on a pipe), the reference.
 *   ioctl_bench PATH|native CMD SECONDS
 * Prints "calls seconds calls_per_second".
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

static double now(void)
{
	struct timespec ts;
	clock_gettime(CLOCK_MONOTONIC, &ts);
	return ts.tv_sec + ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
	if (argc != 4) {
		fprintf(stderr, "usage: ioctl_bench PATH|native CMD SECONDS\n");
		return 2;
	}
	int fd, p[2];
	unsigned long cmd = strtoul(argv[2], NULL, 0);
	if (strcmp(argv[1], "native") == 0) {
		if (pipe(p) != 0)
			return 1;
		fd = p[0];
		cmd = FIONREAD;
	} else if ((fd = open(argv[1], O_RDONLY)) < 0) {
		perror(argv[1]);
		return 1;
	}
	double limit = atof(argv[3]), start = now(), t;
	long calls = 0;
	int v;
	do {
		for (int i = 0; i < 64; i++, calls++)
			if (ioctl(fd, cmd, &v) < 0) {
				perror("ioctl");
				return 1;
			}
		t = now() - start;
	} while (t < limit);
	printf("%ld %.3f %.0f\n", calls, t, calls / t);
	return 0;
}
