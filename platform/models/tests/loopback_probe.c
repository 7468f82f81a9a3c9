/*
 * A program of the box for the board's tests: works the loop-back device
 * at PATH through its node, as any program reaches a device, and prints
 * one line per step. The ioctl's record is this program's own struct, so a
 * record laid out for another ABI shows as a wrong pointer or length.
 */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#define LOOPBACK_RECENT 0x4c01

struct loopback_recent {
	unsigned char len;
	unsigned char writes;
	char *data;
};

static void polled(int fd, short events)
{
	struct pollfd p = { fd, events, 0 };
	int r = poll(&p, 1, 2000);
	printf("poll %d in=%d out=%d\n", r, (p.revents & POLLIN) != 0,
	       (p.revents & POLLOUT) != 0);
}

int main(int argc, char **argv)
{
	struct loopback_recent recent;
	char seen[8] = "";
	char buf[16];
	int fd;
	long r;

	if (argc != 2) {
		fprintf(stderr, "usage: loopback_probe PATH\n");
		return 2;
	}
	fd = open(argv[1], O_RDWR | O_NONBLOCK);
	if (fd < 0) {
		printf("open: %s\n", strerror(errno));
		return 1;
	}
	setvbuf(stdout, NULL, _IONBF, 0);
	polled(fd, POLLIN | POLLOUT);
	printf("write %ld\n", (long)write(fd, "hello", 5));
	polled(fd,
	       POLLIN); /* the data reaches the channel when the device says so */
	recent.len = 3;
	recent.writes = 0;
	recent.data = seen;
	r = ioctl(fd, LOOPBACK_RECENT, &recent);
	printf("recent %ld len=%d writes=%d data=%s record=%zu\n", r,
	       recent.len, recent.writes, seen, sizeof(recent));
	r = ioctl(fd, LOOPBACK_RECENT, NULL);
	printf("recent %ld %s\n", r, r < 0 ? strerror(errno) : "");
	r = read(fd, buf, sizeof(buf));
	printf("read %ld %.*s\n", r, r > 0 ? (int)r : 0, buf);
	r = read(fd, buf, sizeof(buf));
	printf("read %ld %s\n", r, r < 0 ? strerror(errno) : "");
	return 0;
}
