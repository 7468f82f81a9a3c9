/*
 * A program of the box for the virtual box's tests: opens a device node and
 * runs the operations named on its command line, one output line each.
 *   ioctl_probe PATH OP...
 *   s:CMD:VAL   ioctl(CMD, &VAL)            g:CMD  ioctl(CMD, &v), prints v
 *   n:CMD       ioctl(CMD, NULL)            u:CMD  ioctl(CMD, unreadable page)
 *   l:N:CMD:V   N times g:CMD, each must give V
 *   w:TEXT      write TEXT                  r:N    read up to N bytes
 *   x:N         read up to N bytes, printed in hex
 *   p:MS        poll for input for MS ms    sleep:MS
 *   c:GUARD:PROT:OPS   the echo device's copy script (ioctl 3, then 2):
 *               OPS "r0+4,w0+8" (read 4 at 0, write 8 at 0) against an
 *               argument GUARD bytes before a page that is PROT ("none" or
 *               "ro"); run twice, printing the result and the first 16
 *               bytes at the argument that can be read
 * Exit status 1 when the open fails.
 */
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

static void result(const char *op, long r, int v)
{
	printf("%s r=%ld errno=%s v=%d\n", op, r, r < 0 ? strerror(errno) : "0",
	       v);
}

static void copy_script(int fd, char *op)
{
	struct {
		unsigned int count;
		unsigned int op[8][3];
	} script = { 0 };
	char *p = op + 2;
	long guard = strtol(p, &p, 0);
	int none = strncmp(p + 1, "none", 4) == 0;
	p = strchr(p + 1, ':') + 1;
	while (*p && script.count < 8) {
		unsigned int *o = script.op[script.count++];
		o[0] = *p == 'r' ? 1 : 2;
		o[1] = strtoul(p + 1, &p, 0);
		o[2] = strtoul(p + 1, &p, 0);
		if (*p == ',')
			p++;
	}
	long page = sysconf(_SC_PAGESIZE);
	unsigned char *map = mmap(NULL, 2 * page, PROT_READ | PROT_WRITE,
				  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
	memset(map, 0x11, page);
	memset(map + page, 0x22, page);
	mprotect(map + page, page, none ? PROT_NONE : PROT_READ);
	unsigned char *arg = map + page - guard;
	ioctl(fd, 3, &script);
	for (int run = 0; run < 2; run++) {
		memset(map + page - guard, 0x11, guard);
		long r = ioctl(fd, 2, arg);
		printf("%s r=%ld errno=%s mem=", op, r,
		       r < 0 ? strerror(errno) : "0");
		for (long i = 0; i < 16 && (!none || i < guard); i++)
			printf("%02x", arg[i]);
		printf("\n");
	}
	munmap(map, 2 * page);
}

int main(int argc, char **argv)
{
	if (argc < 2) {
		fprintf(stderr, "usage: ioctl_probe PATH OP...\n");
		return 2;
	}
	int fd = open(argv[1], O_RDWR);
	if (fd < 0) {
		printf("open: %s\n", strerror(errno));
		return 1;
	}
	setvbuf(stdout, NULL, _IONBF, 0);
	for (int i = 2; i < argc; i++) {
		char *op = argv[i];
		unsigned long cmd = strtoul(op + 2, NULL, 0);
		int v = 0;
		if (op[0] == 's' && op[1] == ':') {
			char *val = strchr(op + 2, ':');
			v = val ? atoi(val + 1) : 0;
			/* The call first: v as the driver left it. */
			long r = ioctl(fd, cmd, &v);
			result(op, r, v);
		} else if (op[0] == 'g') {
			long r = ioctl(fd, cmd, &v);
			result(op, r, v);
		} else if (op[0] == 'n') {
			result(op, ioctl(fd, cmd, NULL), 0);
		} else if (op[0] == 'u') {
			void *page = mmap(NULL, 4096, PROT_NONE,
					  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
			result(op, ioctl(fd, cmd, page), 0);
		} else if (op[0] == 'l') {
			char *p = op + 2;
			long n = strtol(p, &p, 0), bad = 0;
			cmd = strtoul(p + 1, &p, 0);
			long want = strtol(p + 1, NULL, 0);
			for (long k = 0; k < n; k++) {
				v = -1;
				if (ioctl(fd, cmd, &v) != 0 || v != want)
					bad++;
			}
			printf("%s bad=%ld\n", op, bad);
		} else if (op[0] == 'w') {
			result(op, write(fd, op + 2, strlen(op + 2)), 0);
		} else if (op[0] == 'x') {
			unsigned char buf[256];
			size_t n = strtoul(op + 2, NULL, 0);
			ssize_t got =
				read(fd, buf, n < sizeof buf ? n : sizeof buf);
			printf("%s r=%zd", op, got);
			for (ssize_t k = 0; k < got; k++)
				printf(" %02X", buf[k]);
			printf("\n");
		} else if (op[0] == 'r') {
			char buf[256];
			size_t n = strtoul(op + 2, NULL, 0);
			errno = 0;
			ssize_t got =
				read(fd, buf, n < sizeof buf ? n : sizeof buf);
			if (got < 0)
				printf("%s %s\n", op, strerror(errno));
			else
				printf("%s r=%zd data=%.*s\n", op, got,
				       (int)got, buf);
		} else if (op[0] == 'p') {
			struct pollfd p = { fd, POLLIN, 0 };
			int r = poll(&p, 1, atoi(op + 2));
			printf("%s r=%d in=%d%s\n", op, r,
			       (p.revents & POLLIN) != 0,
			       p.revents & (POLLHUP | POLLERR) ? " hup" : "");
		} else if (op[0] == 'c') {
			copy_script(fd, op);
		} else if (strncmp(op, "sleep:", 6) == 0) {
			usleep(atoi(op + 6) * 1000);
		} else {
			fprintf(stderr, "ioctl_probe: unknown op '%s'\n", op);
			return 2;
		}
	}
	close(fd);
	return 0;
}
