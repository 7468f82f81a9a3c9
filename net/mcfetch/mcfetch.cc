// mcfetch: fetches a new firmware archive from the head-end's multicast
// upgrade stream.
//   mcfetch [-h] [-t] [-c] [-g group] [-p port] [-n iface] [-f file] [-v n] [-m n] [-s n]
// Joins the group, judges the image version carried by the stream against
// the installed one (-v/-m/-s), collects the numbered datagrams in any
// order and writes their payloads in order to the output file. The upgrade
// script learns the outcome from the exit status and, with -c, from calls of
// /sbin/mcfetch_courtesy.sh:
//   0 written (or help, or an update needed in test mode)   2 download error
//   3 file not written   4 image on the net not newer   253 bind failed
//   254 unusable group or port option   255 no socket
#include <arpa/inet.h>
#include <errno.h>
#include <limits.h>
#include <net/if.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <getopt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "download.h"

namespace {

enum {
    EXIT_DOWNLOAD = 2,
    EXIT_NOT_WRITTEN = 3,
    EXIT_NOT_NEWER = 4,
    EXIT_BIND = 253,
    EXIT_BAD_OPTION = 254,
    EXIT_SOCKET = 255,
};

constexpr int kIdleSeconds = 20;
constexpr int kReceiveBuffer = 131070;

// Options point into argv, which lives as long as the program: nothing is
// copied, so no length can overrun a buffer.
const char* mcast_group = "239.113.1.74";
int mcast_port = 5518;
const char* net = "eth0";
const char* filename = "/tmp/mcastupgrd.tar.gz";
bool test_mode;
bool courtesy;
int local_version, local_major, local_minor;

sockaddr_in data_client_addr;
unsigned char mcast_pk[mcstream::kMaxDatagram];
Download packets;
int sock = -1;
ip_mreq mreq;

// What reached the socket, for the reason given when the idle timer ends
// the download.
// (unsigned: a flood that runs for long wraps them, no more)
unsigned long arrived;      // datagrams of any kind
unsigned long foreign;      // not the upgrade stream (cut short, wrong magic)
unsigned long other_image;  // of another image than the one being collected

void show_help() {
    puts("--------------------------------\n\t mcfetch \n--------------------------------");
    puts("h\t : this page");
    puts("t\t : test mode only");
    puts("g\t : multicast group");
    puts("p\t : multicast port");
    puts("n\t : network interface");
    puts("f\t : output file name");
    puts("v\t : image file version number");
    puts("m\t : image file maior number");
    puts("s\t : image file minor number");
}

void get_option_line(int argc, char** argv) {
    int c;
    while ((c = getopt(argc, argv, "htg:p:n:f:v:m:s:c")) != -1) {
        switch (c) {
        case 'h': show_help(); exit(0);
        case 't': test_mode = true; break;
        case 'g': mcast_group = optarg; break;
        case 'p': mcast_port = atoi(optarg); break;
        case 'n': net = optarg; break;
        case 'f': filename = optarg; break;
        case 'v': local_version = atoi(optarg); break;
        case 'm': local_major = atoi(optarg); break;
        case 's': local_minor = atoi(optarg); break;
        case 'c': courtesy = true; break;
        default: break;  // getopt has said what it did not understand
        }
    }
}

// A group inet_aton can't read, or a port outside 1..65535, would leave the
// box listening where no stream ever comes: refuse them before any set-up.
void check_options() {
    if (!inet_aton(mcast_group, &mreq.imr_multiaddr)) {
        fprintf(stderr, "mcfetch: bad multicast group address '%s'\n", mcast_group);
        exit(EXIT_BAD_OPTION);
    }
    if (mcast_port < 1 || mcast_port > 65535) {
        fprintf(stderr, "mcfetch: bad multicast port %d (1 to 65535)\n", mcast_port);
        exit(EXIT_BAD_OPTION);
    }
}

void catch_ip_interface() {
    data_client_addr.sin_family = AF_INET;
    data_client_addr.sin_port = 0;
    data_client_addr.sin_addr.s_addr = htonl(INADDR_ANY);
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    // A name too long for an interface request names no interface.
    bool fits = strlen(net) < sizeof ifr.ifr_name;
    if (fits) memcpy(ifr.ifr_name, net, strlen(net));
    if (fd >= 0 && fits && ioctl(fd, SIOCGIFADDR, &ifr) == 0)
        data_client_addr.sin_addr = reinterpret_cast<sockaddr_in*>(&ifr.ifr_addr)->sin_addr;
    else net = "any";
    if (fd >= 0) close(fd);
}

void leave_group() {
    if (setsockopt(sock, IPPROTO_IP, IP_DROP_MEMBERSHIP, &mreq, sizeof mreq) < 0) perror("setsockopt error");
}

// The first runs of missing packet numbers ("1-8, 50"): the first ones
// missing say a sender that started before mcfetch joined.
void print_missing() {
    constexpr int kRuns = 5;
    int runs = 0;
    for (int n = 1; n <= packets.last; ++n) {
        if (packets.slots[n].data) continue;
        int end = n;
        while (end < packets.last && !packets.slots[end + 1].data) ++end;
        if (runs == kRuns) {
            fputs(", ...", stderr);
            break;
        }
        fprintf(stderr, "%s%d", runs ? ", " : " (", n);
        if (end > n) fprintf(stderr, "-%d", end);
        ++runs;
        n = end;
    }
    if (runs) fputc(')', stderr);
}

// Nothing new for the idle time: says on standard error what did arrive
// and how the image can still be had. A datagram the box missed comes
// again only with the head-end's next carousel pass.
void explain_idle() {
    fprintf(stderr, "mcfetch: nothing new on %s:%d for %d s", mcast_group, mcast_port, kIdleSeconds);
    if (arrived == 0) {
        fprintf(stderr,
                ", and nothing at all arrived: no head-end sends to this group and port, or it sent"
                " before mcfetch joined (a head-end carousel repeats the image: run mcfetch while it"
                " sends)\n");
        return;
    }
    if (packets.received == 0) {
        fprintf(stderr,
                ": %lu datagram%s arrived, none of them an image datagram of the upgrade stream (%lu foreign)\n",
                arrived, arrived == 1 ? "" : "s", foreign);
        return;
    }
    if (packets.last > 0) {
        fprintf(stderr, ": %d of the image's %d datagrams stored, %d missing", packets.in_range, packets.last,
                missing_packets(&packets));
        print_missing();
    } else
        fprintf(stderr, ": %d datagrams of the image stored, the last one (which gives their count) missing",
                packets.received);
    if (other_image > 0) fprintf(stderr, ", %lu of another image dropped", other_image);
    fprintf(stderr,
            ".\nmcfetch: the missing ones were lost (the receive buffer overflowed: the head-end sends"
            " faster than the box takes them) or sent before mcfetch joined; only another carousel pass"
            " sends them again: run mcfetch again while the head-end repeats the image\n");
}

[[noreturn]] void leave_and_exit(int status) {
    leave_group();
    close(sock);
    exit(status);
}

mode_t current_umask() {
    mode_t mask = umask(0);
    umask(mask);
    return mask;
}

uint32_t local_version_word() {
    // Unsigned and masked to the fields, so -v 128 and up or a negative
    // number can neither overflow nor spill into the other fields.
    return (static_cast<uint32_t>(local_version) & 0xFF) << 24 | (static_cast<uint32_t>(local_major) & 0xFF) << 16 |
           (static_cast<uint32_t>(local_minor) & 0xFFFF);
}

void check_version(uint32_t net_word, uint32_t local_word) {
    printf("Image on the net version %d, maior %d, minor %d\n", static_cast<int>(net_word >> 24),
           static_cast<int>(net_word >> 16 & 0xFF), static_cast<int>(net_word & 0xFFFF));
    printf("Local image version %d, maior %d, minor %d\n", static_cast<int>(local_word >> 24),
           static_cast<int>(local_word >> 16 & 0xFF), static_cast<int>(local_word & 0xFFFF));
    if (local_word >= net_word) {
        puts("Image on the net is older than local image");
        if (courtesy) courtesy_script("2");
        leave_and_exit(EXIT_NOT_NEWER);
    }
    puts("Need to update your image");
    if (courtesy) courtesy_script("1");
    if (test_mode) leave_and_exit(0);
}

// Writes the image in place: for a device or a pipe at the path, which
// can be neither replaced nor removed.
bool write_in_place() {
    int fd = open(filename, O_WRONLY | O_TRUNC);
    if (fd < 0) {
        perror(filename);
        return false;
    }
    bool ok = write_image(&packets, fd);
    if (close(fd) != 0) ok = false;
    if (!ok) perror(filename);
    return ok;
}

// The whole archive, or nothing: the image goes to a temporary file in the
// folder of the archive and is renamed over it once written and closed, so
// a failed write (a full /tmp) leaves the older archive, or none, behind for
// the installer. A link at the path is followed: the file it names is the
// one replaced, and the link stays. A new archive gets mode 0644 less the
// umask, an existing one keeps its mode.
bool write_file() {
    struct stat st;
    bool exists = stat(filename, &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return write_in_place();

    static char target[PATH_MAX], temp[PATH_MAX];
    // A dangling link resolves to nothing: it is then replaced itself.
    const char* path = exists && realpath(filename, target) ? target : filename;
    if (snprintf(temp, sizeof temp, "%s.XXXXXX", path) >= static_cast<int>(sizeof temp)) {
        errno = ENAMETOOLONG;
        perror(filename);
        return false;
    }
    int fd = mkstemp(temp);
    if (fd < 0) {
        perror(filename);
        return false;
    }
    mode_t mode = exists ? st.st_mode & 07777 : 0644 & ~current_umask();
    bool ok = fchmod(fd, mode) == 0 && write_image(&packets, fd);
    if (close(fd) != 0) ok = false;
    if (ok && rename(temp, path) != 0) ok = false;
    if (!ok) {
        perror(filename);
        unlink(temp);
    }
    return ok;
}

void save_file() {
    bool ok = missing_packets(&packets) == 0 && write_file();
    free_packets(&packets, 1, packets.last);
    if (!ok) {
        printf("\n [ERROR] Not writing on %s\n", filename);
        exit(EXIT_NOT_WRITTEN);
    }
}

// The socket bound to the group's port on every interface.
void open_socket() {
    puts("[INIT] Opening sockets");
    sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0) {
        perror("Errore nella creazione del socket");
        exit(EXIT_SOCKET);
    }
    printf("[INIT] Binding IP and PORT[%d]\n", mcast_port);
    sockaddr_in bind_addr;
    memset(&bind_addr, 0, sizeof bind_addr);
    bind_addr.sin_family = AF_INET;
    bind_addr.sin_addr.s_addr = htonl(INADDR_ANY);
    bind_addr.sin_port = htons(static_cast<uint16_t>(mcast_port));
    if (bind(sock, reinterpret_cast<sockaddr*>(&bind_addr), sizeof bind_addr) < 0) {
        perror("Errore in bind");
        exit(EXIT_BIND);
    }
}

void join_group() {
    printf("[INIT] Joining Multicast Group %s\n", mcast_group);
    mreq.imr_interface = data_client_addr.sin_addr;
    if (setsockopt(sock, IPPROTO_IP, IP_ADD_MEMBERSHIP, &mreq, sizeof mreq) < 0) perror("setsockopt error");
}

// A receive buffer as large as the kernel grants, which is reported.
void set_receive_buffer() {
    int rcvbuf = kReceiveBuffer;
    if (setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf) < 0) perror("setsockopt error SO_RCVBUF");
    socklen_t len = sizeof rcvbuf;
    if (getsockopt(sock, SOL_SOCKET, SO_RCVBUF, &rcvbuf, &len) < 0) {
        perror("getsockopt error");
        rcvbuf = -1;
    }
    printf("[INIT] UDP buffer set to %d\n\n", rcvbuf);
}

// Collects the image's datagrams until it is complete; a stream that
// stays silent too long, a datagram beyond the image or a lack of memory
// ends the program.
void receive_image(uint32_t local_word) {
    bool armed = false;
    time_t armed_at = 0;
    for (;;) {
        // One non-blocking receive tells the three cases apart: nothing
        // waiting (the idle timer's business), a zero-length datagram
        // (drained, timer untouched; FIONREAD would report it as nothing
        // and it would block every datagram behind it), or a datagram.
        ssize_t got = recv(sock, mcast_pk, sizeof mcast_pk, MSG_DONTWAIT);
        if (got < 0) {
            if (!armed) {
                armed_at = time(nullptr);
                armed = true;
            } else if (time(nullptr) - armed_at > kIdleSeconds) {
                puts("[ERROR] Download Error - Fail ");
                fflush(stdout);
                explain_idle();
                leave_and_exit(EXIT_DOWNLOAD);
            }
            continue;
        }
        ++arrived;
        mcstream::Header h;
        switch (classify(&packets, mcast_pk, static_cast<size_t>(got), &h)) {
        case DGRAM_FOREIGN: ++foreign; continue;
        case DGRAM_OTHER_IMAGE: ++other_image; continue;
        case DGRAM_TOO_LARGE:
            puts("[ERROR] Received packet major than max num packet - Fail ");
            leave_group();
            exit(EXIT_DOWNLOAD);
        case DGRAM_OTHER_TYPE:
        case DGRAM_DUPLICATE: armed = false; continue;
        case DGRAM_NEW: break;
        }
        // The first image datagram judges the version; only datagrams of
        // that version word are collected after it.
        if (!packets.judged) {
            check_version(h.version, local_word);
            judge_version(&packets, h.version);
        }
        armed = false;
        SaveResult saved = save_packet(&packets, mcast_pk, h);
        if (saved == SAVE_NO_MEMORY) {
            printf("[ERROR] Out of memory at packet %d - Fail \n", h.number);
            leave_and_exit(EXIT_DOWNLOAD);
        }
        if (saved == SAVE_COMPLETE) break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    download_init(&packets, false);
    if (nice(-30) == -1) {
        // Only root may raise the priority; the download works without.
    }
    puts("[INIT] Initializing packet vector");
    get_option_line(argc, argv);
    check_options();
    packets.courtesy = courtesy;
    catch_ip_interface();

    printf("[INIT] Listening to %s:%d from %s\n", mcast_group, mcast_port, net);
    fflush(stdout);
    open_socket();
    join_group();
    printf("[INIT] Entering in download LOOP [last received is %d]\n", 0);
    set_receive_buffer();
    const uint32_t local_word = local_version_word();
    if (courtesy) courtesy_script("0");
    receive_image(local_word);
    leave_group();
    puts("\n *********** Main Download completed ***********");
    save_file();
    close(sock);
    return 0;
}
