/*
 * ioctl round trips per second: a tight loop of one read command on a device
 * node for a given time. With PATH "native" it runs the same loop on a
 * cheap ioctl of the host's own kernel (FIONREAD on a pipe); with
 * "socketpair" a bare request and response between two processes over a
 * Unix socket pair, of the bridge's sizes (the limit of any bridge).
 *   ioctl_bench PATH|native|socketpair CMD SECONDS
 * Prints "calls seconds calls_per_second".
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
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
	pid_t server = -1;
	if (strcmp(argv[1], "socketpair") == 0) {
		if (socketpair(AF_UNIX, SOCK_STREAM, 0, p) != 0)
			return 1;
		server = fork();
		if (server == 0) {
			char req[56], rep[48] = { 0 };
			close(p[0]);
			while (read(p[1], req, sizeof req) > 0 &&
			       write(p[1], rep, sizeof rep) == sizeof rep)
				;
			_exit(0);
		}
		close(p[1]);
		fd = p[0];
	} else if (strcmp(argv[1], "native") == 0) {
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
	char req[56] = { 0 }, rep[48];
	do {
		for (int i = 0; i < 64; i++, calls++)
			if (server > 0 ?
				    write(fd, req, sizeof req) != sizeof req ||
					    read(fd, rep, sizeof rep) !=
						    sizeof rep :
				    ioctl(fd, cmd, &v) < 0) {
				perror(argv[1]);
				return 1;
			}
		t = now() - start;
	} while (t < limit);
	if (server > 0) {
		close(fd);
		waitpid(server, NULL, 0);
	}
	printf("%ld %.3f %.0f\n", calls, t, calls / t);
	return 0;
}
