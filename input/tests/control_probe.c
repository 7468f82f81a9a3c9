/* A program of the box on the control device while the driver starts:
 * opens NODE as soon as a driver serves it (trying for up to 10 s), then
 * injects a remote scancode (ioctl 5) and enters stand-by (ioctl 1),
 * printing each result.
 *   control_probe NODE SCANCODE */
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	unsigned char code;
	int fd = -1, r, i;

	if (argc != 3) {
		fprintf(stderr, "usage: control_probe NODE SCANCODE\n");
		return 2;
	}
	for (i = 0; i < 1000 && fd < 0; i++) {
		fd = open(argv[1], O_RDWR);
		if (fd < 0)
			usleep(10000);
	}
	if (fd < 0) {
		perror(argv[1]);
		return 1;
	}
	code = (unsigned char)atoi(argv[2]);
	r = ioctl(fd, 5, &code);
	printf("inject=%d errno=%s\n", r, r ? strerror(errno) : "0");
	r = ioctl(fd, 1, 1);
	printf("standby=%d\n", r);
	close(fd);
	return 0;
}
