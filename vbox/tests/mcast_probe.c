/*
 * Multicast on the box's network, for the virtual box's tests:
 *   mcast_probe send GROUP PORT TEXT COUNT   COUNT datagrams, 50 ms apart
 *   mcast_probe recv GROUP PORT MS           joins, prints the first datagram
 *                                            and its sender, or "timeout"
 */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

int main(int argc, char **argv)
{
	if (argc < 5)
		return 2;
	struct sockaddr_in group = { 0 };
	group.sin_family = AF_INET;
	group.sin_port = htons((unsigned short)atoi(argv[3]));
	if (inet_pton(AF_INET, argv[2], &group.sin_addr) != 1)
		return 2;
	int s = socket(AF_INET, SOCK_DGRAM, 0);
	if (s < 0) {
		perror("socket");
		return 1;
	}
	if (strcmp(argv[1], "send") == 0 && argc == 6) {
		for (int i = 0; i < atoi(argv[5]); i++, usleep(50000))
			if (sendto(s, argv[4], strlen(argv[4]), 0,
				   (struct sockaddr *)&group,
				   sizeof group) < 0) {
				perror("sendto");
				return 1;
			}
		return 0;
	}
	struct ip_mreq mreq = { group.sin_addr, { htonl(INADDR_ANY) } };
	int one = 1;
	setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
	if (bind(s, (struct sockaddr *)&group, sizeof group) != 0 ||
	    setsockopt(s, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) !=
		    0) {
		perror("join");
		return 1;
	}
	struct pollfd p = { s, POLLIN, 0 };
	if (poll(&p, 1, atoi(argv[4])) != 1) {
		puts("timeout");
		return 1;
	}
	char buf[256], from[INET_ADDRSTRLEN];
	struct sockaddr_in src;
	socklen_t len = sizeof src;
	ssize_t n = recvfrom(s, buf, sizeof buf - 1, 0, (struct sockaddr *)&src,
			     &len);
	if (n < 0)
		return 1;
	buf[n] = 0;
	printf("%s from %s\n", buf,
	       inet_ntop(AF_INET, &src.sin_addr, from, sizeof from));
	return 0;
}
