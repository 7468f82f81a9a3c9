// mcsend: the head-end side of the box's multicast upgrade. Sends a file as
// the stream of numbered datagrams that mcfetch collects, paced at a given
// rate, for a number of carousel passes, and on request with the faults seen
// in the field (shuffled order, duplicates, lost, foreign, corrupt, short
// and empty datagrams). Also a plain multicast traffic source.
// A host-side tool: it never goes on the box.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <getopt.h>
#include <net/if.h>
#include <netinet/in.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "stream.h"

namespace {

const char kUsage[] =
    "usage: mcsend [OPTIONS] FILE        (or --size BYTES instead of FILE)\n"
    "Sends FILE to a multicast group as the box's upgrade stream.\n"
    "  -g, --group ADDR        multicast group (239.113.1.74)\n"
    "  -p, --port N            UDP port (5518)\n"
    "  -i, --interface NAME    send through this interface (default: as routed)\n"
    "  -V, --version V.M.S     image version as version.major.minor, or one\n"
    "                          32-bit word such as 0x02010005 (1.0.0)\n"
    "  -l, --payload N         payload bytes per datagram, 0 to 1420 (1420)\n"
    "  -r, --rate MBIT         Mbit/s of UDP payload (header included); 0 sends\n"
    "                          as fast as the socket takes them (10). Held up,\n"
    "                          it catches up at most 5 ms worth in a burst\n"
    "  -t, --ttl N             multicast TTL (1)\n"
    "  -n, --passes N          carousel passes; 0 repeats until --seconds (1).\n"
    "                          A box gets only what is sent after it joined:\n"
    "                          one pass reaches the boxes already listening\n"
    "  -T, --seconds S         stop after S seconds, whatever the passes\n"
    "      --size BYTES        send an image of BYTES bytes of a fixed pattern\n"
    "  -q, --quiet             no summary line at the end\n"
    "  -h, --help              this text\n"
    "Faults to rehearse; LIST is numbers and ranges (\"3,10-20\") or \"all\"\n"
    "(every packet of the image). They apply in every pass.\n"
    "      --shuffle[=SEED]    a new random order in every pass (seed 1)\n"
    "      --duplicate LIST    send these packets twice\n"
    "      --drop LIST         never send these packets\n"
    "      --extra LIST        valid datagrams with these numbers and a filler\n"
    "                          payload, first in each pass (0, 61441, ...)\n"
    "      --bad-magic LIST    a filler copy with a wrong magic before each\n"
    "      --bad-type LIST     a filler copy whose type is not image data before each\n"
    "      --short LIST        a 10-byte runt and a copy cut to half its payload\n"
    "                          (the header still claiming all of it) before each\n"
    "      --oversize LIST     a 2000-byte copy claiming 1984 payload bytes before each\n"
    "      --empty N           N zero-length datagrams first in each pass\n"
    "Numbers of decoys outside the image go first in each pass.\n"
    "Prints one summary line: datagrams, bytes, seconds, Mbit/s, datagrams/s.\n";

enum Kind { REAL, EXTRA, BAD_MAGIC, BAD_TYPE, RUNT, CUT, OVERSIZE, EMPTY };

struct Item {
    Kind kind;
    unsigned number;
};

struct Config {
    std::string group = "239.113.1.74";
    int port = 5518;
    std::string iface;
    uint32_t version = 0x01000000;
    unsigned payload = mcstream::kMaxPayload;
    double rate_mbit = 10;
    int ttl = 1;
    long passes = 1;
    double seconds = 0;
    bool quiet = false;
    long long size = -1;
    bool shuffle = false;
    unsigned seed = 1;
    std::string duplicate, drop, extra, bad_magic, bad_type, shorts, oversize;
    long empty = 0;
};

[[noreturn]] void fail(const std::string& msg) {
    fprintf(stderr, "mcsend: %s\n", msg.c_str());
    exit(1);
}

bool parse_long(const char* s, long lo, long hi, long* out) {
    char* end;
    errno = 0;
    long v = strtol(s, &end, 0);
    if (errno || end == s || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

long need_long(const char* opt, const char* s, long lo, long hi) {
    long v;
    if (!parse_long(s, lo, hi, &v))
        fail(std::string("bad value '") + s + "' for " + opt + " (" + std::to_string(lo) + " to " + std::to_string(hi) +
             ")");
    return v;
}

double need_double(const char* opt, const char* s) {
    char* end;
    double v = strtod(s, &end);
    if (end == s || *end || !(v >= 0)) fail(std::string("bad value '") + s + "' for " + opt);
    return v;
}

uint32_t parse_version(const char* s) {
    long v, m, n;
    if (strchr(s, '.')) {
        char extra;
        int got = sscanf(s, "%ld.%ld.%ld%c", &v, &m, &n, &extra);
        if (got != 3 || v < 0 || v > 255 || m < 0 || m > 255 || n < 0 || n > 65535)
            fail(std::string("bad version '") + s + "' (version.major.minor: 0-255.0-255.0-65535)");
        return static_cast<uint32_t>(v) << 24 | static_cast<uint32_t>(m) << 16 | static_cast<uint32_t>(n);
    }
    char* end;
    errno = 0;
    unsigned long w = strtoul(s, &end, 0);
    if (errno || end == s || *end || w > 0xFFFFFFFFul) fail(std::string("bad version word '") + s + "'");
    return static_cast<uint32_t>(w);
}

// The numbers of a LIST; "all" is every packet of the image, 1..packets.
std::set<unsigned> parse_list(const char* opt, const std::string& text, unsigned packets) {
    std::set<unsigned> out;
    if (text.empty()) return out;
    if (text == "all") {
        for (unsigned n = 1; n <= packets; ++n) out.insert(n);
        return out;
    }
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        std::string part = text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        size_t dash = part.find('-');
        std::string from = part.substr(0, dash), to = dash == std::string::npos ? from : part.substr(dash + 1);
        long a, b;
        bool ok = parse_long(from.c_str(), 0, 65535, &a) && parse_long(to.c_str(), 0, 65535, &b) && a <= b;
        if (!ok) fail(std::string("bad list '") + text + "' for " + opt + " (numbers 0 to 65535, ranges A-B, or all)");
        for (long n = a; n <= b; ++n) out.insert(static_cast<unsigned>(n));
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return out;
}

Config parse_args(int argc, char** argv, std::string* file) {
    enum { O_SIZE = 256, O_SHUFFLE, O_DUP, O_DROP, O_EXTRA, O_MAGIC, O_TYPE, O_SHORT, O_OVERSIZE, O_EMPTY };
    static const option longopts[] = {
        {"group", required_argument, nullptr, 'g'},
        {"port", required_argument, nullptr, 'p'},
        {"interface", required_argument, nullptr, 'i'},
        {"version", required_argument, nullptr, 'V'},
        {"payload", required_argument, nullptr, 'l'},
        {"rate", required_argument, nullptr, 'r'},
        {"ttl", required_argument, nullptr, 't'},
        {"passes", required_argument, nullptr, 'n'},
        {"seconds", required_argument, nullptr, 'T'},
        {"quiet", no_argument, nullptr, 'q'},
        {"help", no_argument, nullptr, 'h'},
        {"size", required_argument, nullptr, O_SIZE},
        {"shuffle", optional_argument, nullptr, O_SHUFFLE},
        {"duplicate", required_argument, nullptr, O_DUP},
        {"drop", required_argument, nullptr, O_DROP},
        {"extra", required_argument, nullptr, O_EXTRA},
        {"bad-magic", required_argument, nullptr, O_MAGIC},
        {"bad-type", required_argument, nullptr, O_TYPE},
        {"short", required_argument, nullptr, O_SHORT},
        {"oversize", required_argument, nullptr, O_OVERSIZE},
        {"empty", required_argument, nullptr, O_EMPTY},
        {nullptr, 0, nullptr, 0},
    };
    Config c;
    int o;
    while ((o = getopt_long(argc, argv, "g:p:i:V:l:r:t:n:T:qh", longopts, nullptr)) != -1) {
        switch (o) {
        case 'g': c.group = optarg; break;
        case 'p': c.port = static_cast<int>(need_long("--port", optarg, 1, 65535)); break;
        case 'i': c.iface = optarg; break;
        case 'V': c.version = parse_version(optarg); break;
        case 'l': c.payload = static_cast<unsigned>(need_long("--payload", optarg, 0, mcstream::kMaxPayload)); break;
        case 'r': c.rate_mbit = need_double("--rate", optarg); break;
        case 't': c.ttl = static_cast<int>(need_long("--ttl", optarg, 0, 255)); break;
        case 'n': c.passes = need_long("--passes", optarg, 0, 1000000000); break;
        case 'T': c.seconds = need_double("--seconds", optarg); break;
        case 'q': c.quiet = true; break;
        case 'h': fputs(kUsage, stdout); exit(0);
        case O_SIZE: c.size = need_long("--size", optarg, 0, 1L << 30); break;
        case O_SHUFFLE:
            c.shuffle = true;
            if (optarg) c.seed = static_cast<unsigned>(need_long("--shuffle", optarg, 0, 0xFFFFFFFFl));
            break;
        case O_DUP: c.duplicate = optarg; break;
        case O_DROP: c.drop = optarg; break;
        case O_EXTRA: c.extra = optarg; break;
        case O_MAGIC: c.bad_magic = optarg; break;
        case O_TYPE: c.bad_type = optarg; break;
        case O_SHORT: c.shorts = optarg; break;
        case O_OVERSIZE: c.oversize = optarg; break;
        case O_EMPTY: c.empty = need_long("--empty", optarg, 0, 1000000); break;
        default: fputs(kUsage, stderr); exit(2);
        }
    }
    if (c.size < 0 && optind + 1 != argc) {
        fputs(kUsage, stderr);
        exit(2);
    }
    if (c.size >= 0 && optind != argc) fail("give either FILE or --size, not both");
    if (c.size < 0) *file = argv[optind];
    if (c.passes == 0 && c.seconds == 0) fail("--passes 0 needs --seconds");
    return c;
}

std::vector<unsigned char> load_image(const Config& c, const std::string& file) {
    std::vector<unsigned char> image;
    if (c.size >= 0) {
        image.resize(static_cast<size_t>(c.size));
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<unsigned char>(i * 7 + i / 251);
        return image;
    }
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) fail(file + ": " + strerror(errno));
    image.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    while (got < image.size()) {
        ssize_t r = read(fd, image.data() + got, image.size() - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) fail(file + ": " + (r < 0 ? strerror(errno) : "shorter than it said"));
        got += static_cast<size_t>(r);
    }
    close(fd);
    return image;
}

// What goes out in one pass, in order.
std::vector<Item> plan_pass(const Config& c, unsigned packets, std::mt19937& rng) {
    auto dup = parse_list("--duplicate", c.duplicate, packets), drop = parse_list("--drop", c.drop, packets);
    auto extra = parse_list("--extra", c.extra, packets);
    struct Decoys {
        Kind kind;
        std::set<unsigned> numbers;
    };
    std::vector<Decoys> decoys = {
        {BAD_MAGIC, parse_list("--bad-magic", c.bad_magic, packets)},
        {BAD_TYPE, parse_list("--bad-type", c.bad_type, packets)},
        {RUNT, parse_list("--short", c.shorts, packets)},
        {CUT, parse_list("--short", c.shorts, packets)},
        {OVERSIZE, parse_list("--oversize", c.oversize, packets)},
    };
    auto in_image = [packets](unsigned n) { return n >= 1 && n <= packets; };

    std::vector<Item> first(static_cast<size_t>(c.empty), Item{EMPTY, 0});
    for (unsigned n : extra) first.push_back({EXTRA, n});
    for (const auto& d : decoys)
        for (unsigned n : d.numbers)
            if (!in_image(n)) first.push_back({d.kind, n});

    // A unit is a packet with the decoys that go just before it; duplicates
    // are units of their own, so a shuffle spreads them.
    std::vector<std::vector<Item>> units;
    for (unsigned n = 1; n <= packets; ++n) {
        std::vector<Item> u;
        for (const auto& d : decoys)
            if (d.numbers.count(n)) u.push_back({d.kind, n});
        if (!drop.count(n)) u.push_back({REAL, n});
        if (!u.empty()) units.push_back(u);
        if (dup.count(n) && !drop.count(n)) units.push_back({{REAL, n}});
    }
    if (c.shuffle) std::shuffle(units.begin(), units.end(), rng);
    for (const auto& u : units) first.insert(first.end(), u.begin(), u.end());
    return first;
}

// Builds the datagram of an item into buf; returns its size.
size_t build(const Config& c, const std::vector<unsigned char>& image, unsigned packets, const Item& it,
             unsigned char* buf) {
    if (it.kind == EMPTY) return 0;
    const bool in_image = it.number >= 1 && it.number <= packets;
    const size_t offset = in_image ? static_cast<size_t>(it.number - 1) * c.payload : 0;
    const size_t len = in_image ? std::min<size_t>(c.payload, image.size() - offset) : c.payload;
    const bool real_payload = it.kind == REAL && in_image;
    mcstream::Header h{mcstream::kMagic,
                       static_cast<uint16_t>(it.number),
                       mcstream::kTypeImage,
                       static_cast<uint16_t>(len),
                       it.number == packets ? mcstream::kLastMarker : uint16_t(0),
                       c.version};
    if (real_payload) memcpy(buf + mcstream::kHeaderSize, image.data() + offset, len);
    else memset(buf + mcstream::kHeaderSize, 0xEE, len);  // taken for the real one, it spoils the file
    size_t size = mcstream::kHeaderSize + len;
    switch (it.kind) {
    case BAD_MAGIC: h.magic = 0x0525; break;  // the magic byte-swapped, as a wrong-endian encoder writes it
    case BAD_TYPE: h.type = 0xB1B1; break;
    case RUNT: size = 10; break;
    case CUT: size = len ? mcstream::kHeaderSize + len / 2 : 10; break;  // nothing to cut: a runt
    case OVERSIZE:
        h.length = 2000 - mcstream::kHeaderSize;
        memset(buf + mcstream::kHeaderSize, 0xEE, h.length);
        size = 2000;
        break;
    default: break;
    }
    mcstream::encode(h, buf);
    return size;
}

double now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void sleep_until(double t) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(t);
    ts.tv_nsec = static_cast<long>((t - static_cast<double>(ts.tv_sec)) * 1e9);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {}
}

int open_socket(const Config& c, sockaddr_in* to) {
    memset(to, 0, sizeof *to);
    to->sin_family = AF_INET;
    to->sin_port = htons(static_cast<uint16_t>(c.port));
    if (!inet_aton(c.group.c_str(), &to->sin_addr)) fail("bad group address '" + c.group + "'");
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0) fail(std::string("socket: ") + strerror(errno));
    unsigned char ttl = static_cast<unsigned char>(c.ttl);
    if (setsockopt(s, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl) < 0)
        fail(std::string("IP_MULTICAST_TTL: ") + strerror(errno));
    if (!c.iface.empty()) {
        ip_mreqn m{};
        m.imr_ifindex = static_cast<int>(if_nametoindex(c.iface.c_str()));
        if (!m.imr_ifindex) fail("no interface '" + c.iface + "'");
        if (setsockopt(s, IPPROTO_IP, IP_MULTICAST_IF, &m, sizeof m) < 0)
            fail("IP_MULTICAST_IF " + c.iface + ": " + strerror(errno));
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    std::string file;
    Config c = parse_args(argc, argv, &file);
    std::vector<unsigned char> image = load_image(c, file);
    size_t count = c.payload ? (image.size() + c.payload - 1) / c.payload : (image.empty() ? 1 : 0);
    if (count == 0 && c.payload == 0) fail("a payload of 0 bytes carries only an empty image");
    count = std::max<size_t>(count, 1);
    if (count > mcstream::kMaxPacket)
        fail("the image needs " + std::to_string(count) + " datagrams of " + std::to_string(c.payload) +
             " bytes; a stream carries at most " + std::to_string(mcstream::kMaxPacket));
    const unsigned packets = static_cast<unsigned>(count);

    sockaddr_in to;
    int s = open_socket(c, &to);
    prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);  // pacing wants wake-ups on time
    std::mt19937 rng(c.seed);
    unsigned char buf[2048];
    const double start = now();
    const double bytes_per_second = c.rate_mbit * 1e6 / 8;
    // Pacing runs on a schedule; a sender held up (a busy host) catches up
    // at most 5 ms worth in a burst and otherwise lets the schedule slip.
    double schedule = start;
    unsigned long long sent_bytes = 0, sent = 0;
    bool stop = false;
    for (long pass = 0; !stop && (c.passes == 0 || pass < c.passes); ++pass) {
        for (const Item& it : plan_pass(c, packets, rng)) {
            if (bytes_per_second > 0) {
                double due = schedule + static_cast<double>(sent_bytes) / bytes_per_second, t = now();
                if (due > t) {
                    sleep_until(due);
                } else if (t - due > 0.005) {
                    schedule += t - due - 0.005;
                }
            }
            if (c.seconds > 0 && now() - start >= c.seconds) {
                stop = true;
                break;
            }
            size_t size = build(c, image, packets, it, buf);
            if (sendto(s, buf, size, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) < 0 && errno != ENOBUFS)
                fail(std::string("sendto: ") + strerror(errno));
            sent_bytes += size;
            ++sent;
        }
    }
    double elapsed = now() - start;
    if (!c.quiet)
        printf("mcsend: %llu datagrams, %llu bytes in %.3f s: %.2f Mbit/s, %.0f datagrams/s\n", sent, sent_bytes,
               elapsed, elapsed > 0 ? static_cast<double>(sent_bytes) * 8 / elapsed / 1e6 : 0.0,
               elapsed > 0 ? static_cast<double>(sent) / elapsed : 0.0);
    close(s);
    return 0;
}
