// boxmaker: prints the maker of the box, told by the vendor prefix of eth0's
// MAC address: "vimora" or "quandor", one line for the start-up scripts.
// Arguments are ignored. Exit status 0, or 255 when eth0 can't be asked.
#include <errno.h>
#include <net/if.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

int main() {
    int s = socket(AF_INET, SOCK_DGRAM, 0);  // only for the ioctl
    if (s < 0) {
        perror("socket()");
        return -1;
    }
    ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    snprintf(ifr.ifr_name, sizeof ifr.ifr_name, "%s", "eth0");
    if (ioctl(s, SIOCGIFHWADDR, &ifr) < 0) {
        int err = errno;
        char msg[96];
        snprintf(msg, sizeof msg, "ioctl(\"%s\",SIOCGIFHWADDR)", ifr.ifr_name);
        errno = err;
        perror(msg);
        close(s);
        return -1;
    }
    const unsigned char* mac = reinterpret_cast<const unsigned char*>(ifr.ifr_hwaddr.sa_data);
    puts(mac[0] == 0x00 && mac[1] == 0x03 && mac[2] == 0x6f ? "vimora" : "quandor");
    close(s);
    return 0;
}
