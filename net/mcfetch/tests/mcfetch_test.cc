// mcfetch against the real sender on real sockets, in a private namespace
// pair per test: exact output lines, exit statuses, the file written, and
// the courtesy script's calls.
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <thread>

#include "stream_session.h"
#include "hostns/mounts.h"

namespace {

using mctest::Fetch;
using mctest::StreamSession;
using hostns::lines;
using hostns::RunOptions;
using Lines = std::vector<std::string>;

// A session on a fresh namespace pair, or the test skipped where there can be none.
#define SESSION(name, ...)                                                                                             \
    if (!hostns::netns_available()) GTEST_SKIP() << "no network namespaces";                                           \
    StreamSession name{__VA_ARGS__};                                                                                   \
    ASSERT_TRUE(name.pair().ok()) << name.pair().error()

std::string random_bytes(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng());
    return s;
}

// What the kernel gives for the 131070 bytes asked: twice the request,
// capped at rmem_max.
int expected_rcvbuf() {
    long rmem_max = atol(hostns::read_file("/proc/sys/net/core/rmem_max").c_str());
    return 2 * static_cast<int>(std::min(131070L, rmem_max));
}

Lines set_up_lines(const std::string& from = "eth0") {
    return {"[INIT] Initializing packet vector",
            "[INIT] Listening to 239.113.1.74:5518 from " + from,
            "[INIT] Opening sockets",
            "[INIT] Binding IP and PORT[5518]",
            "[INIT] Joining Multicast Group 239.113.1.74",
            "[INIT] Entering in download LOOP [last received is 0]",
            "[INIT] UDP buffer set to " + std::to_string(expected_rcvbuf()),
            ""};
}

Lines plus(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Lines kNewer = {"Image on the net version 1, maior 0, minor 0", "Local image version 0, maior 0, minor 0",
                      "Need to update your image"};
const Lines kCompleted = {"", " *********** Main Download completed ***********"};

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n')); }

RunOptions fast_clock() {
    RunOptions o;
    o.env = {std::string("LD_PRELOAD=") + FASTCLOCK_LIB};
    return o;
}

TEST(Fetch, InOrderDownloadWritesTheImageOverAnOlderOne) {
    SESSION(s);
    std::string image = random_bytes(99 * 1000 + 500, 1);
    std::string in = s.tmp().write("image", image), out = s.tmp().write("out", std::string(300000, 'x'));
    Fetch f = s.fetch({"-f", out}, {{"-l", "1000", "-n", "2", in}});
    EXPECT_EQ(f.mcfetch.status, 0) << f.mcfetch.err;
    EXPECT_EQ(f.mcfetch.err, "");
    EXPECT_EQ(lines(f.mcfetch.out),
              plus(plus(set_up_lines(), kNewer),
                   plus({"[OK] download_packet 100", "[OK] Last_packet arrived 100"}, kCompleted)));
    EXPECT_TRUE(hostns::read_file(out) == image) << "the older, longer file must be replaced whole";
    EXPECT_EQ(f.courtesy, "");
}

// Out of order, each datagram twice, with every kind of malformed or
// foreign datagram mixed in: only the stream's own are kept, byte for byte.
TEST(Fetch, ShuffledWithDuplicatesAndDecoys) {
    SESSION(s);
    std::string image = random_bytes(250 * 1420 - 321, 2);
    std::string in = s.tmp().write("image", image), out = s.tmp().file("out");
    RunOptions o;
    o.before_exec = []() { umask(0); };
    Fetch f = s.fetch({"-c", "-f", out},
                      {{"--shuffle=7", "--duplicate", "all", "--empty", "3", "--bad-magic", "5,61441,65535",
                        "--bad-type", "9", "--short", "17,250", "--oversize", "33,61441", "-r", "8", "-n", "2", in}},
                      o);
    EXPECT_EQ(f.mcfetch.status, 0) << f.mcfetch.out << f.mcfetch.err;
    EXPECT_TRUE(hostns::read_file(out) == image);
    struct stat st;
    ASSERT_EQ(stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(f.courtesy, "0\n1\n3 100\n3 200\n");

    Lines got = lines(f.mcfetch.out), head = plus(set_up_lines(), kNewer);
    ASSERT_GT(got.size(), head.size() + 2);
    EXPECT_EQ(Lines(got.begin(), got.begin() + head.size()), head);
    Lines rest(got.begin() + head.size(), got.end() - 2), progress;
    for (const auto& l : rest)
        if (l != "[OK] Last_packet arrived 250") progress.push_back(l);
    EXPECT_EQ(progress, (Lines{"[OK] download_packet 100", "[OK] download_packet 200"}));
    EXPECT_EQ(rest.size(), 3u);
    EXPECT_EQ(Lines(got.end() - 2, got.end()), kCompleted);
}

// Equal, older, newer, and the comparison as unsigned 32-bit words with
// each local number kept to its own field.
TEST(Fetch, VersionJudgement) {
    SESSION(s);
    std::string in = s.tmp().write("image", random_bytes(3000, 3)), out = s.tmp().file("out");
    struct Case {
        std::string net;
        Lines local;
        Lines versions;
        bool newer;
    } cases[] = {
        {"2.1.5",
         {"-v", "2", "-m", "1", "-s", "5"},
         {"Image on the net version 2, maior 1, minor 5", "Local image version 2, maior 1, minor 5"},
         false},
        {"1.9.9",
         {"-v", "2"},
         {"Image on the net version 1, maior 9, minor 9", "Local image version 2, maior 0, minor 0"},
         false},
        {"200.0.0",
         {"-v", "200"},
         {"Image on the net version 200, maior 0, minor 0", "Local image version 200, maior 0, minor 0"},
         false},
        {"0.0.1",
         {},
         {"Image on the net version 0, maior 0, minor 1", "Local image version 0, maior 0, minor 0"},
         true},
        {"0x80000000",
         {"-s", "1"},
         {"Image on the net version 128, maior 0, minor 0", "Local image version 0, maior 0, minor 1"},
         true},
        {"1.0.0",
         {"-s", "-1"},
         {"Image on the net version 1, maior 0, minor 0", "Local image version 0, maior 0, minor 65535"},
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("net " + c.net);
        Fetch f = s.fetch(plus({"-t", "-c", "-f", out}, c.local), {{"-V", c.net, in}});
        Lines verdict =
            c.newer ? Lines{"Need to update your image"} : Lines{"Image on the net is older than local image"};
        EXPECT_EQ(lines(f.mcfetch.out), plus(plus(set_up_lines(), c.versions), verdict));
        EXPECT_EQ(f.mcfetch.status, c.newer ? 0 : 4);
        EXPECT_EQ(f.courtesy, c.newer ? "0\n1\n" : "0\n2\n");
        EXPECT_NE(access(out.c_str(), F_OK), 0) << "nothing is stored";
    }
}

// Datagrams numbered 0 and 61440 are stored but never count towards
// completion: with every number 1..N there the image is written, with two
// missing the download waits until the idle timer ends it. 61441 aborts.
TEST(Fetch, PacketNumbersAndMissingDatagrams) {
    SESSION(s);
    std::string image = random_bytes(100 * 500, 4);
    std::string in = s.tmp().write("image", image), out = s.tmp().write("out", "older\n");
    Fetch f = s.fetch({"-f", out}, {{"-l", "500", "--extra", "0,61440", "--shuffle=3", "-n", "2", in}}, fast_clock());
    EXPECT_EQ(f.mcfetch.status, 0) << f.mcfetch.out;
    EXPECT_TRUE(hostns::read_file(out) == image);

    f = s.fetch({"-f", out}, {{"-l", "500", "--drop", "50,51", "--extra", "0,61440", "-n", "2", in}}, fast_clock());
    EXPECT_EQ(f.mcfetch.status, 2);
    EXPECT_EQ(lines(f.mcfetch.out),
              plus(plus(set_up_lines(), kNewer),
                   {"[OK] download_packet 100", "[OK] Last_packet arrived 100", "[ERROR] Download Error - Fail "}));
    EXPECT_TRUE(hostns::read_file(out) == image) << "the archive written before is left as it was";
    EXPECT_EQ(first_line(f.mcfetch.err),
              "mcfetch: nothing new on 239.113.1.74:5518 for 20 s: 98 of the image's 100 datagrams stored, 2 missing "
              "(50-51).");

    f = s.fetch({"-f", out}, {{"--extra", "61441", "--size", "5000"}});
    EXPECT_EQ(f.mcfetch.status, 2);
    EXPECT_EQ(lines(f.mcfetch.out),
              plus(set_up_lines(), {"[ERROR] Received packet major than max num packet - Fail "}));
}

// One image per download. A carousel that switches to an older image half
// way: the first one's datagrams are kept, the other's never stored, and
// the download times out with no archive. A datagram of another type with
// its own version word never judges the version.
TEST(Fetch, OneImageVersionPerDownload) {
    SESSION(s);
    std::string newer = s.tmp().write("newer", random_bytes(100 * 1000, 7));
    std::string older = s.tmp().write("older", random_bytes(100 * 1000, 8)), out = s.tmp().file("out");
    Fetch f = s.fetch(
        {"-f", out},
        {{"-V", "2.0.0", "-l", "1000", "--drop", "60-100", newer}, {"-V", "1.0.0", "-l", "1000", "-n", "2", older}},
        fast_clock());
    EXPECT_EQ(f.mcfetch.status, 2) << f.mcfetch.out;
    Lines got = lines(f.mcfetch.out);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), "[ERROR] Download Error - Fail ");
    EXPECT_NE(access(out.c_str(), F_OK), 0);
    EXPECT_EQ(first_line(f.mcfetch.err),
              "mcfetch: nothing new on 239.113.1.74:5518 for 20 s: 59 datagrams of the image stored, the last one "
              "(which gives their count) missing, 200 of another image dropped.");

    f = s.fetch({"-v", "5", "-f", out},
                {{"-V", "9.0.0", "--bad-type", "1-3", "--drop", "all", older}, {"-V", "1.0.0", older}});
    EXPECT_EQ(f.mcfetch.status, 4);
    EXPECT_EQ(lines(f.mcfetch.out), plus(set_up_lines(), {"Image on the net version 1, maior 0, minor 0",
                                                          "Local image version 5, maior 0, minor 0",
                                                          "Image on the net is older than local image"}));
}

// The idle timer on a clock running 20 times fast: an empty socket, and a
// flood of foreign and zero-length datagrams, both end the download; a
// flood of duplicates keeps it waiting for the missing datagram.
TEST(Fetch, IdleTimeout) {
    SESSION(s);
    std::string in = s.tmp().write("image", random_bytes(5 * 1420, 5)), out = s.tmp().file("out");

    Fetch f = s.fetch({"-c", "-f", out}, {}, fast_clock());
    EXPECT_EQ(f.mcfetch.status, 2);
    EXPECT_EQ(lines(f.mcfetch.out), plus(set_up_lines(), {"[ERROR] Download Error - Fail "}));
    EXPECT_EQ(f.courtesy, "0\n");
    EXPECT_EQ(first_line(f.mcfetch.err),
              "mcfetch: nothing new on 239.113.1.74:5518 for 20 s, and nothing at all arrived: no head-end sends "
              "to this group and port, or it sent before mcfetch joined (a head-end carousel repeats the image: "
              "run mcfetch while it sends)");

    f = s.fetch({"-f", out}, {{"--drop", "all", "--bad-magic", "all", "--empty", "2", "-n", "0", "-T", "2.5", in}},
                fast_clock());
    EXPECT_EQ(f.mcfetch.status, 2);
    EXPECT_EQ(lines(f.mcfetch.out), plus(set_up_lines(), {"[ERROR] Download Error - Fail "}));
    // Every datagram of that flood is foreign, however many came.
    const std::string head = "mcfetch: nothing new on 239.113.1.74:5518 for 20 s: ";
    unsigned long n = 0;
    ASSERT_EQ(sscanf(f.mcfetch.err.c_str() + std::min(head.size(), f.mcfetch.err.size()), "%lu", &n), 1)
        << f.mcfetch.err;
    EXPECT_EQ(f.mcfetch.err, head + std::to_string(n) +
                                 " datagrams arrived, none of them an image datagram of the upgrade stream (" +
                                 std::to_string(n) + " foreign)\n");
    EXPECT_GT(n, 2u);

    f = s.fetch({"-f", out}, {{"--drop", "5", "-r", "0.5", "-n", "0", "-T", "3", in}, {in}}, fast_clock());
    EXPECT_EQ(f.mcfetch.status, 0) << f.mcfetch.out;
    EXPECT_TRUE(hostns::read_file(out) == hostns::read_file(in));
}

// A box that joins after the head-end began: what was sent before the join
// never reaches it. One pass of which the box saw only the end leaves the
// first numbers missing, and mcfetch says so; a carousel that was already
// running when mcfetch started repeats them, and the image arrives whole.
TEST(Fetch, SenderThatBeganBeforeTheJoin) {
    SESSION(s);
    std::string image = random_bytes(10 * 1000, 9);
    std::string in = s.tmp().write("image", image), out = s.tmp().file("out");
    ASSERT_EQ(s.send({"-l", "1000", "--drop", "4-10", in}).status, 0);  // before mcfetch runs
    Fetch f = s.fetch({"-f", out}, {{"-l", "1000", "--drop", "1-3", in}}, fast_clock());
    EXPECT_EQ(f.mcfetch.status, 2);
    EXPECT_EQ(hostns::lines(f.mcfetch.err),
              Lines({"mcfetch: nothing new on 239.113.1.74:5518 for 20 s: 7 of the image's 10 datagrams stored, 3 "
                     "missing (1-3).",
                     "mcfetch: the missing ones were lost (the receive buffer overflowed: the head-end sends faster "
                     "than the box takes them) or sent before mcfetch joined; only another carousel pass sends them "
                     "again: run mcfetch again while the head-end repeats the image"}));

    hostns::RunResult carousel;
    std::thread sender([&] { carousel = s.send({"-l", "1000", "-r", "1", "-n", "0", "-T", "6", in}); });
    usleep(300000);
    f = s.fetch({"-f", out}, {});
    sender.join();
    EXPECT_EQ(f.mcfetch.status, 0) << f.mcfetch.out << f.mcfetch.err;
    EXPECT_TRUE(hostns::read_file(out) == image);
    EXPECT_EQ(carousel.status, 0) << carousel.err;
}

// A full /tmp (a small tmpfs of this test's own) gives status 3 and no
// truncated archive.
TEST(Fetch, FullTmpLeavesNoArchive) {
    if (!hostns::netns_available()) GTEST_SKIP() << "no network namespaces";
    std::string error;
    ASSERT_TRUE(hostns::private_mount_namespace(error)) << error;
    // The build itself may live under /tmp (a checkout there): its top
    // folder stays visible through the small tmpfs.
    std::string bin = MCFETCH_BIN, top;
    if (bin.compare(0, 5, "/tmp/") == 0) top = bin.substr(5, bin.find('/', 5) - 5);
    int old_tmp = open("/tmp", O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(old_tmp, 0);
    ASSERT_EQ(mount("tmpfs", "/tmp", "tmpfs", 0, "size=64k"), 0);
    if (!top.empty()) {
        ASSERT_EQ(mkdir(("/tmp/" + top).c_str(), 0755), 0);
        std::string from = "/proc/self/fd/" + std::to_string(old_tmp) + "/" + top;
        ASSERT_EQ(mount(from.c_str(), ("/tmp/" + top).c_str(), nullptr, MS_BIND | MS_REC, nullptr), 0);
    }
    close(old_tmp);
    SESSION(s);
    Fetch f = s.fetch({}, {{"--size", "200000", "-n", "2"}});
    EXPECT_EQ(f.mcfetch.status, 3);
    Lines got = lines(f.mcfetch.out);
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(Lines(got.end() - 2, got.end()), (Lines{"", " [ERROR] Not writing on /tmp/mcastupgrd.tar.gz"}));
    EXPECT_EQ(f.mcfetch.err, "/tmp/mcastupgrd.tar.gz: No space left on device\n");
    EXPECT_NE(access("/tmp/mcastupgrd.tar.gz", F_OK), 0);

    // Through a link: a failed write leaves both the link and the archive
    // it names as they were and no temporary file; a good one replaces the
    // archive, which keeps its mode.
    std::string image = random_bytes(20000, 9), in = s.tmp().write("image", image);
    ASSERT_TRUE(hostns::write_file("/tmp/archive", "older\n", 0600));
    ASSERT_EQ(symlink("archive", "/tmp/mcastupgrd.tar.gz"), 0);
    auto tmp_entries = []() {
        Lines names;
        if (DIR* d = opendir("/tmp")) {
            while (dirent* e = readdir(d)) names.push_back(e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        return names;
    };
    const Lines before = tmp_entries();
    f = s.fetch({}, {{"--size", "200000", "-n", "2"}});
    EXPECT_EQ(f.mcfetch.status, 3);
    EXPECT_EQ(tmp_entries(), before);
    EXPECT_EQ(hostns::read_file("/tmp/mcastupgrd.tar.gz"), "older\n");
    f = s.fetch({}, {{"-n", "2", in}});
    EXPECT_EQ(f.mcfetch.status, 0) << f.mcfetch.err;
    EXPECT_EQ(tmp_entries(), before);
    struct stat st;
    ASSERT_EQ(lstat("/tmp/mcastupgrd.tar.gz", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat("/tmp/archive", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_TRUE(hostns::read_file("/tmp/archive") == image);

    // A device is written in place and never removed.
    f = s.fetch({"-f", "/dev/full"}, {{"-n", "2", in}});
    EXPECT_EQ(f.mcfetch.status, 3);
    EXPECT_EQ(f.mcfetch.err, "/dev/full: No space left on device\n");
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(Fetch, OutOfMemoryEndsTheDownload) {
#ifdef MCFETCH_SANITIZED
    // A build property, not something the machine lacks: not a skip, which
    // CI would count as a failure.
    std::printf("not checked: the failing allocator would bypass the sanitizer's\n");
    return;
#endif
    SESSION(s);
    RunOptions o;
    o.env = {std::string("LD_PRELOAD=") + FAILALLOC_LIB, "FAILALLOC=777:150"};
    Fetch f = s.fetch({"-f", s.tmp().file("out")}, {{"-l", "777", "--size", "233100", "-r", "4"}}, o);
    EXPECT_EQ(f.mcfetch.status, 2);
    Lines got = lines(f.mcfetch.out);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().rfind("[ERROR] Out of memory at packet ", 0), 0u) << got.back();
    EXPECT_NE(access(s.tmp().file("out").c_str(), F_OK), 0);
}

// An interface whose address can't be read is "any", and the group is
// joined on the wildcard address: the download still comes in on eth0.
// Overlong names are only ever passed on, never copied.
TEST(Fetch, InterfaceWithoutAddressAndOverlongNames) {
    hostns::NetPairOptions po;
    po.box_addr = "";
    SESSION(s, po);
    std::string in = s.tmp().write("image", random_bytes(1000, 6)), out = s.tmp().file("out");
    Fetch f = s.fetch({"-f", out}, {{"-n", "2", in}});
    EXPECT_EQ(f.mcfetch.status, 0);
    EXPECT_EQ(lines(f.mcfetch.out).at(1), "[INIT] Listening to 239.113.1.74:5518 from any");
    EXPECT_TRUE(hostns::read_file(out) == hostns::read_file(in));

    std::string long_file = s.tmp().file(std::string(5000, 'f'));
    f = s.fetch({"-n", std::string(40, 'e'), "-f", long_file}, {{"-n", "2", in}});
    EXPECT_EQ(f.mcfetch.status, 3);
    EXPECT_EQ(lines(f.mcfetch.out).at(1), "[INIT] Listening to 239.113.1.74:5518 from any");
    EXPECT_EQ(lines(f.mcfetch.out).back(), " [ERROR] Not writing on " + long_file);
    EXPECT_EQ(f.mcfetch.err, long_file + ": File name too long\n");
}

// The group is joined on the address of the interface -n names: a second
// interface of the box's (one end of a veth pair) gets the membership, eth0 (the route's) does not.
TEST(Fetch, JoinsOnTheNamedInterface) {
    SESSION(s);
    ASSERT_TRUE(s.pair().ip_box({"link", "add", "dummy0", "type", "veth", "peer", "name", "dummy1"}))
        << s.pair().error();
    ASSERT_TRUE(s.pair().ip_box({"addr", "add", "10.99.0.1/24", "dev", "dummy0"})) << s.pair().error();
    ASSERT_TRUE(s.pair().ip_box({"link", "set", "dummy1", "up"})) << s.pair().error();
    ASSERT_TRUE(s.pair().ip_box({"link", "set", "dummy0", "up"})) << s.pair().error();
    ASSERT_TRUE(s.start({"-n", "dummy0"}, fast_clock()));
    // /proc/net/igmp: a line per device ("1\tlo        :     1      V3"),
    // then its groups, indented.
    std::string device;
    Lines with_group;
    for (const auto& l : lines(s.pair().run_box({"cat", "/proc/net/igmp"}).out)) {
        if (!l.empty() && l[0] != '\t' && l[0] != ' ' && l.find(':') != std::string::npos)
            device = l.substr(l.find('\t') + 1, l.find(' ') - l.find('\t') - 1);
        else if (l.find("4A0171EF") != std::string::npos)  // 239.113.1.74 as the kernel prints it
            with_group.push_back(device);
    }
    EXPECT_EQ(with_group, Lines{"dummy0"});
    EXPECT_EQ(s.finish().mcfetch.status, 2);
}

TEST(Fetch, SocketAndBindFailures) {
    SESSION(s);
    ASSERT_TRUE(s.start({"-t"}));
    auto second = s.pair().run_box({MCFETCH_BIN});
    EXPECT_EQ(second.status, 253);
    EXPECT_EQ(lines(second.out),
              (Lines{"[INIT] Initializing packet vector", "[INIT] Listening to 239.113.1.74:5518 from eth0",
                     "[INIT] Opening sockets", "[INIT] Binding IP and PORT[5518]"}));
    EXPECT_EQ(second.err, "Errore in bind: Address already in use\n");
    s.send({"--size", "10"});
    EXPECT_EQ(s.finish().mcfetch.status, 0);

    if (getenv("TESTSUPPORT_EMULATOR")) return;  // the emulator itself needs descriptors
    // socket() refused as when the box has run out of descriptors.
    RunOptions o;
    o.before_exec = []() {
        static sock_filter code[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_socket, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EMFILE),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog prog{sizeof code / sizeof code[0], code};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog)) _exit(126);
    };
    auto r = s.pair().run_box({MCFETCH_BIN}, o);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(lines(r.out), (Lines{"[INIT] Initializing packet vector",
                                   "[INIT] Listening to 239.113.1.74:5518 from any", "[INIT] Opening sockets"}));
    EXPECT_EQ(r.err, "Errore nella creazione del socket: Too many open files\n");
}

// Help and refused option values need no network: they end before any socket.
TEST(CommandLine, HelpAndRefusedValues) {
    auto r = hostns::run({MCFETCH_BIN, "-x", "-h"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        lines(r.out),
        (Lines{"[INIT] Initializing packet vector", "--------------------------------", "\t mcfetch ",
               "--------------------------------", "h\t : this page", "t\t : test mode only", "g\t : multicast group",
               "p\t : multicast port", "n\t : network interface", "f\t : output file name",
               "v\t : image file version number", "m\t : image file maior number", "s\t : image file minor number"}));
    // The C library's getopt says it: glibc quotes the letter, the box's uClibc does not.
    EXPECT_TRUE(r.err.find("invalid option -- 'x'\n") != std::string::npos ||
                r.err.find("invalid option -- x\n") != std::string::npos)
        << r.err;

    std::string long_group(300, '9');
    for (const Lines& args : {Lines{"-g", "not.a.group"}, Lines{"-g", long_group}}) {
        r = hostns::run(plus({MCFETCH_BIN}, args));
        EXPECT_EQ(r.status, 254);
        EXPECT_EQ(r.out, "[INIT] Initializing packet vector\n");
        EXPECT_EQ(r.err, "mcfetch: bad multicast group address '" + args[1] + "'\n");
    }
    for (const char* port : {"0", "70000"}) {
        r = hostns::run({MCFETCH_BIN, "-p", port});
        EXPECT_EQ(r.status, 254);
        EXPECT_EQ(r.err, std::string("mcfetch: bad multicast port ") + port + " (1 to 65535)\n");
    }
}

}  // namespace
