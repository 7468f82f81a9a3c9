// mcastrate: the multicast streams that reach a network interface, and
// their bit rates.
//   mcastrate [-t ms] [-d iface] [-s] [-l]
// Captures every IPv4 frame of the interface (in promiscuous mode) for the
// measurement time, then prints one line per multicast UDP stream (group
// and port) in the order first seen, with -s its rate. With -l it then
// sends an IGMPv2 Leave for each stream, so that the upstream router stops
// forwarding them. Prints nothing else: scripts read its lines. Ended by a
// signal, it prints nothing, gives the interface its flags back and ends by
// that signal.
//
// Exit status: 0 done; 1 the capture could not be set up on the interface
// (no such interface, or no right to capture), a Leave was not sent, or the
// interface flags could not be restored; 2 a bad command line.
#include <arpa/inet.h>
#include <errno.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "mcstframe.h"

namespace {

constexpr int kMaxStreams = 32;
constexpr size_t kFrameMax = 4096;
constexpr unsigned short kEthPIp = 0x0800;
constexpr size_t kLeaveSize = 26;  // the IGMP message padded to a minimum Ethernet payload
constexpr unsigned char kIgmpV2Leave = 0x17;
constexpr const char* kAllRouters = "224.0.0.2";

struct McstEntry {
    uint32_t group;  // network order
    uint32_t port;
    uint64_t bytes;  // frame bytes; 64 bits so long measurements don't wrap
};

char eth[IFNAMSIZ] = "eth0";
uint32_t msTestTime = 3000;
int showBitRate = 0;
int sendLeave = 0;
int sockRcvRaw = -1;
sockaddr_ll addrRcvRaw;
int oldFlag;
// The flag bits switched on here (promiscuous mode, unless it was on
// already): the only ones given back at the end.
volatile sig_atomic_t flagsSet = 0;

McstEntry mcstAddr[kMaxStreams];  // filled from index 0 upwards
int mcstCount = 0;

// Every signal whose default action ends the program. Each one, sent or
// caught from a fault, first gives the interface its flags back.
const int kEndings[] = {
    SIGHUP,    SIGINT,  SIGQUIT, SIGILL,  SIGTRAP, SIGABRT,   SIGBUS,  SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2,
    SIGPIPE,   SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGIO,  SIGPWR,  SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGEMT
    SIGEMT,
#endif
};
sigset_t endings;

// A whole number of milliseconds that fits the 32-bit measurement time;
// 0 would measure nothing and divide the rates by zero.
bool parseMs(const char* text, uint32_t* ms) {
    uint64_t v = 0;
    if (!*text) return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<unsigned>(*p - '0');
        if (v > UINT32_MAX) return false;
    }
    if (v == 0) return false;
    *ms = static_cast<uint32_t>(v);
    return true;
}

int InitRcvRaw() {
    // Protocol 0 until bound: a socket opened for IPv4 would meanwhile take
    // frames from every interface.
    sockRcvRaw = socket(AF_PACKET, SOCK_RAW, 0);
    if (sockRcvRaw < 0) return -1;
    int on = 1;
    ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    memcpy(ifr.ifr_name, eth, sizeof ifr.ifr_name);
    if (ioctl(sockRcvRaw, FIONBIO, &on) < 0 || ioctl(sockRcvRaw, SIOCGIFINDEX, &ifr) < 0) return -1;
    memset(&addrRcvRaw, 0, sizeof addrRcvRaw);
    addrRcvRaw.sll_family = AF_PACKET;
    addrRcvRaw.sll_protocol = htons(kEthPIp);
    addrRcvRaw.sll_ifindex = ifr.ifr_ifindex;
    if (ioctl(sockRcvRaw, SIOCGIFFLAGS, &ifr) < 0) return -1;
    oldFlag = ifr.ifr_flags;
    if (!(oldFlag & IFF_PROMISC)) {
        // No signal between the switch and its note: an ending then would
        // not know what to give back.
        sigset_t was;
        sigprocmask(SIG_BLOCK, &endings, &was);
        ifr.ifr_flags = static_cast<short>(oldFlag | IFF_PROMISC);
        bool set = ioctl(sockRcvRaw, SIOCSIFFLAGS, &ifr) == 0;
        if (set) flagsSet = IFF_PROMISC;
        sigprocmask(SIG_SETMASK, &was, nullptr);
        if (!set) return -1;
    }
    if (bind(sockRcvRaw, reinterpret_cast<sockaddr*>(&addrRcvRaw), sizeof addrRcvRaw) < 0) return -1;
    return 0;
}

// Switches off what was switched on here, in the flags as they are now: a
// flag someone changed meanwhile (allmulticast, say) keeps its new value,
// and nothing is written when nothing is left to give back. Safe in a
// signal handler (system calls and plain memory only).
int RestoreFlags() {
    if (!flagsSet) return 0;
    ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    memcpy(ifr.ifr_name, eth, sizeof ifr.ifr_name);
    int result = 0;
    if (ioctl(sockRcvRaw, SIOCGIFFLAGS, &ifr) < 0) {
        result = -1;
    } else if (ifr.ifr_flags & flagsSet) {
        ifr.ifr_flags = static_cast<short>(ifr.ifr_flags & ~flagsSet);
        if (ioctl(sockRcvRaw, SIOCSIFFLAGS, &ifr) < 0) result = -1;
    }
    flagsSet = 0;
    return result;
}

int CloseRcvRaw() {
    sigset_t was;
    sigprocmask(SIG_BLOCK, &endings, &was);
    int result = RestoreFlags();
    if (sockRcvRaw >= 0) close(sockRcvRaw);
    sockRcvRaw = -1;
    sigprocmask(SIG_SETMASK, &was, nullptr);
    return result;
}

// Ends the program by the signal that came, once the flags are back: the
// caller sees the signal as the cause. Back at its default action, the
// signal raised here ends the program as the handler returns.
void onEnding(int sig) {
    int saved = errno;
    RestoreFlags();
    signal(sig, SIG_DFL);
    raise(sig);
    errno = saved;
}

// A signal ignored by whoever started the program stays ignored (nohup, a
// background job's SIGINT): it does not end the program.
void catchEndings() {
    sigemptyset(&endings);
    for (int sig : kEndings) sigaddset(&endings, sig);
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) sigaddset(&endings, sig);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = onEnding;
    sa.sa_mask = endings;
    sa.sa_flags = SA_RESETHAND;
    for (int sig = 1; sig < NSIG; ++sig) {
        struct sigaction was;
        if (!sigismember(&endings, sig) || sigaction(sig, nullptr, &was) < 0 || was.sa_handler == SIG_IGN) continue;
        sigaction(sig, &sa, nullptr);
    }
}

int RcvRaw(unsigned char* buffer) {
    if (sockRcvRaw < 0) return 0;
    ssize_t n = recv(sockRcvRaw, buffer, kFrameMax, 0);
    return n > 0 ? static_cast<int>(n) : 0;
}

void InitMcstAddr() { mcstCount = 0; }

void FreeMcstAddr() { mcstCount = 0; }

// 0: counted to a known stream; 1: a new stream; -1: the table is full.
int updMcstAddr(uint32_t group, uint32_t port, int length) {
    for (int i = 0; i < mcstCount; ++i) {
        if (mcstAddr[i].group == group && mcstAddr[i].port == port) {
            mcstAddr[i].bytes += static_cast<unsigned>(length);
            return 0;
        }
    }
    if (mcstCount == kMaxStreams) return -1;
    mcstAddr[mcstCount++] = McstEntry{group, port, static_cast<unsigned>(length)};
    return 1;
}

void ShowMcstAddr() {
    for (int i = 0; i < mcstCount; ++i) {
        in_addr a;
        a.s_addr = mcstAddr[i].group;
        if (showBitRate) {
            // Kilobits per second of Ethernet frame bytes (no frame check sequence).
            unsigned long long kbits = mcstAddr[i].bytes * 8 / msTestTime;
            printf("%s:%ld --> %llu Kb/s\n", inet_ntoa(a), static_cast<long>(mcstAddr[i].port), kbits);
        } else {
            printf("%s:%ld\n", inet_ntoa(a), static_cast<long>(mcstAddr[i].port));
        }
    }
}

uint16_t CheckSum16(const uint16_t* words, int count) {
    uint32_t sum = 0;
    for (int i = 0; i < count; ++i) sum += words[i];
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// 1 when the whole message went out of the measured interface, else -1.
int SendIgmpLeave(uint32_t group) {
    int s = socket(AF_INET, SOCK_RAW, IPPROTO_IGMP);
    if (s < 0) return -1;
    // Out of the measured interface whatever the routes say (link-local
    // groups need no route then), and never past the first router.
    int ttl = 1;
    if (setsockopt(s, SOL_SOCKET, SO_BINDTODEVICE, eth, static_cast<socklen_t>(strlen(eth) + 1)) < 0 ||
        setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) < 0) {
        close(s);
        return -1;
    }
    uint16_t words[kLeaveSize / 2] = {};
    unsigned char* msg = reinterpret_cast<unsigned char*>(words);
    msg[0] = kIgmpV2Leave;
    memcpy(msg + 4, &group, 4);
    words[1] = CheckSum16(words, 4);
    sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = inet_addr(kAllRouters);
    ssize_t n = sendto(s, msg, kLeaveSize, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    close(s);
    return n == static_cast<ssize_t>(kLeaveSize) ? 1 : -1;
}

int SendLeaveMsg() {
    int result = 0;
    for (int i = 0; i < mcstCount; ++i)
        if (SendIgmpLeave(mcstAddr[i].group) < 0) result = -1;
    return result;
}

// Milliseconds since start, as the box's clock counts them.
long long elapsedMs(const timeval& start) {
    timeval now;
    gettimeofday(&now, nullptr);
    return (static_cast<long long>(now.tv_sec) - start.tv_sec) * 1000 +
           (static_cast<long long>(now.tv_usec) - start.tv_usec) / 1000;
}

}  // namespace

int main(int argc, char** argv) {
    bool nameTooLong = false;
    opterr = 0;  // silent, also about the command line
    for (int c; (c = getopt(argc, argv, "t:d:sl")) != -1;) {
        switch (c) {
        case 't':
            if (!parseMs(optarg, &msTestTime)) return 2;
            break;
        case 'd':
            // Interface names have at most 15 characters: a longer one names
            // no interface, and cutting it could name another.
            nameTooLong = strlen(optarg) >= sizeof eth;
            if (!nameTooLong) snprintf(eth, sizeof eth, "%s", optarg);
            break;
        case 's': showBitRate = 1; break;
        case 'l': sendLeave = 1; break;
        default: return 2;
        }
    }
    if (nameTooLong) return 1;

    // Stopped early, the interface still gets its flags back; the table is
    // not printed, as its rates would be wrong.
    catchEndings();

    InitMcstAddr();
    if (InitRcvRaw() < 0) {
        CloseRcvRaw();
        return 1;
    }

    static unsigned char frame[kFrameMax];
    timeval start;
    gettimeofday(&start, nullptr);
    // A busy poll: the measurement owns the CPU for its time.
    do {
        int n = RcvRaw(frame);
        uint32_t group, port;
        if (n > 0 && isMcst(frame, static_cast<size_t>(n), &group, &port)) updMcstAddr(group, port, n);
    } while (static_cast<unsigned long long>(elapsedMs(start)) < msTestTime);

    int status = 0;
    ShowMcstAddr();
    fflush(stdout);
    if (sendLeave && SendLeaveMsg() < 0) status = 1;
    FreeMcstAddr();
    if (CloseRcvRaw() < 0) status = 1;
    return status;
}
