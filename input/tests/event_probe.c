/* A program of the box reading an event device as the box's main
 * application does: opens the node, says so by creating READY_FILE, then
 * prints each event it reads, one a line ("time S.US type T code C value
 * V"), until it has COUNT of them or none came for five seconds.
 *   event_probe NODE READY_FILE COUNT */
#include <fcntl.h>
#include <linux/input.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	struct input_event ev;
	struct pollfd pfd;
	int fd, ready, count, got = 0;

	if (argc != 4) {
		fprintf(stderr, "usage: event_probe NODE READY_FILE COUNT\n");
		return 2;
	}
	count = atoi(argv[3]);
	fd = open(argv[1], O_RDONLY);
	if (fd < 0) {
		perror(argv[1]);
		return 1;
	}
	ready = open(argv[2], O_WRONLY | O_CREAT, 0600);
	if (ready < 0) {
		perror(argv[2]);
		return 1;
	}
	close(ready);
	pfd.fd = fd;
	pfd.events = POLLIN;
	while (got < count) {
		if (poll(&pfd, 1, 5000) != 1) {
			fprintf(stderr, "no event for 5 s\n");
			return 1;
		}
		if (read(fd, &ev, sizeof ev) != (ssize_t)sizeof ev) {
			perror("read");
			return 1;
		}
		printf("time %ld.%06ld type %u code %u value %d\n",
		       (long)ev.time.tv_sec, (long)ev.time.tv_usec, ev.type,
		       ev.code, ev.value);
		got++;
	}
	printf("record %zu\n", sizeof ev);
	return 0;
}
