// mcastrate as a program on real interfaces: the box's eth0 in a private
// network namespace, frames built by the test and sent from the head-end
// side of the veth pair, the IGMP Leaves captured there.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/prctl.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "hostns/netns.h"

namespace {

using namespace hostns;

// A frame of `size` bytes from the head end: Ethernet to the group's MAC
// address, IPv4 (with `options` words of NOP options), UDP to dst:port.
struct Frame {
    const char* dst;
    unsigned port;
    size_t size;
    uint8_t proto = 17;
    unsigned options = 0;
    uint16_t frag = 0;  // flags and fragment offset
};

std::string frame(const Frame& f) {
    std::string b(f.size, '\0');
    auto put16 = [&b](size_t at, size_t v) {
        b[at] = static_cast<char>(v >> 8);
        b[at + 1] = static_cast<char>(v);
    };
    uint32_t dst = ntohl(inet_addr(f.dst));
    put16(0, 0x0100), put16(2, 0x5e00 | ((dst >> 16) & 0x7f)), put16(4, dst & 0xffff), put16(6, 0x0222);
    put16(12, 0x0800);
    size_t header = 20 + 4 * f.options, udp = 14 + header;
    b[14] = static_cast<char>(0x40 | header / 4);
    put16(16, f.size - 14), put16(20, f.frag), b[22] = 4, b[23] = static_cast<char>(f.proto);
    put16(26, 0x0a4d), put16(28, 1), put16(30, dst >> 16), put16(32, dst & 0xffff);
    for (size_t i = 34; i < udp; ++i) b[i] = 1;
    put16(udp + 2, f.port), put16(udp + 4, f.size - udp);
    return b;
}

// The Internet checksum of n bytes of s from `from`; 0 over a correct one.
uint16_t inet_sum(const std::string& s, size_t from, size_t n) {
    uint32_t sum = 0;
    for (size_t i = 0; i < n; i += 2)
        sum += static_cast<uint8_t>(s[from + i]) << 8 | static_cast<uint8_t>(s[from + i + 1]);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// A packet socket on the head end's eth0: sends the test's frames and sees
// the IGMP that crosses the link. Opened from a thread inside the namespace.
class HeadendLink {
public:
    explicit HeadendLink(const std::string& ns) {
        std::thread([&] {
            int nsfd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
            if (nsfd < 0 || setns(nsfd, CLONE_NEWNET) != 0) return;
            close(nsfd);
            to_.sll_family = AF_PACKET;
            to_.sll_protocol = htons(ETH_P_IP);
            to_.sll_ifindex = static_cast<int>(if_nametoindex("eth0"));
            fd_ = socket(AF_PACKET, SOCK_RAW, 0);
            if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&to_), sizeof to_) != 0) fd_ = -1;
        }).join();
    }
    ~HeadendLink() { close(fd_); }
    bool ok() const { return fd_ >= 0; }
    // Ten at a time, so no queue on the way overflows.
    void send(const std::vector<std::string>& frames) {
        for (size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(sendto(fd_, frames[i].data(), frames[i].size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_),
                      static_cast<ssize_t>(frames[i].size()));
            // Paced so that the capture socket's buffer (some 90 such frames)
            // rides out a loaded host descheduling mcastrate for a while.
            if (i % 10 == 9) std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    }
    // The IGMP packets seen so far, once the link has been quiet a moment.
    std::vector<std::string> igmp() {
        std::vector<std::string> out;
        char buf[2048];
        for (pollfd p{fd_, POLLIN, 0}; poll(&p, 1, 200) == 1;) {
            ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n >= 34 && buf[14 + 9] == 2) out.emplace_back(buf, static_cast<size_t>(n));
        }
        return out;
    }

private:
    int fd_ = -1;
    sockaddr_ll to_{};
};

class Mcastrate : public testing::Test {
protected:
    void SetUp() override { open_pair({}); }
    void open_pair(const NetPairOptions& options) {
        if (!netns_available()) GTEST_SKIP() << "no network namespaces here";
        pair_ = std::make_unique<NetnsPair>(options);
        ASSERT_TRUE(pair_->ok()) << pair_->error();
        link_ = std::make_unique<HeadendLink>(pair_->headend());
        ASSERT_TRUE(link_->ok());
        flags_before_ = flags();
        ASSERT_NE(flags_before_.find(",UP"), std::string::npos) << flags_before_;
    }
    void TearDown() override {
        if (pair_) { EXPECT_EQ(flags(), flags_before_) << "eth0 has its flags back"; }
    }

    RunResult run(std::vector<std::string> args, const RunOptions& options = {}) {
        args.insert(args.begin(), MCASTRATE_BIN);
        return pair_->run_box(args, options);
    }
    // eth0's flags as ip shows them: "<BROADCAST,MULTICAST,UP,LOWER_UP>".
    std::string flags() {
        std::string l = pair_->run_box({"ip", "-o", "link", "show", "eth0"}).out;
        auto from = l.find('<');
        return from == std::string::npos ? l : l.substr(from, l.find('>') - from + 1);
    }
    // Whether a packet socket in the box captures IPv4.
    bool capturing() {
        for (const auto& l : lines(pair_->run_box({"cat", "/proc/net/packet"}).out)) {
            unsigned proto, running;
            if (sscanf(l.c_str(), "%*s %*u %*u %x %*u %u", &proto, &running) == 2 && proto == ETH_P_IP && running)
                return true;
        }
        return false;
    }
    // Runs mcastrate in the box; once it captures (eth0 promiscuous), sends
    // the frames and calls on_capture_.
    RunResult measure(const std::vector<std::string>& args, const std::vector<std::string>& frames,
                      const RunOptions& options = {}) {
        RunResult result;
        std::atomic<bool> done{false};
        std::thread t([&] {
            result = run(args, options);
            done = true;
        });
        bool seen = false;
        for (int i = 0; i < 500 && !done && !(seen = capturing()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_TRUE(seen) << "mcastrate never captured";
        if (seen) {
            EXPECT_NE(flags().find("PROMISC"), std::string::npos);
            link_->send(frames);
            if (on_capture_) on_capture_();
        }
        t.join();
        return result;
    }

    std::unique_ptr<NetnsPair> pair_;
    std::unique_ptr<HeadendLink> link_;
    std::string flags_before_;
    std::function<void()> on_capture_;
};

TEST_F(Mcastrate, StreamsInFirstSeenOrderWithTheirRates) {
    Frame other_proto{"239.4.4.4", 5000, 1000, 2}, later_fragment{"239.6.6.6", 5000, 1000, 17, 0, 185},
        options{"239.3.3.3", 6000, 1500, 17, 2};
    std::vector<std::string> frames{
        frame({"239.1.1.1", 5000, 500}),
        frame({"223.1.1.1", 5000, 1000}),  // below 224.0.0.0
        frame({"239.1.1.1", 5001, 750}),
        frame(other_proto),
        frame({"239.1.1.1", 5000, 500}),
        frame({"239.2.2.2", 5000, 375}),
        frame(later_fragment),
        frame({"239.5.5.5", 5000, 100}).substr(0, 40),  // UDP header cut
        frame(options),
        frame({"239.1.1.1", 5000, 500}),
        frame({"239.2.2.2", 5000, 375}),
    };
    // Kb/s = frame bytes * 8 / 1500 ms.
    auto r = measure({"-t", "1500", "-s", "-d", "eth0"}, frames);
    EXPECT_EQ(r.out,
              "239.1.1.1:5000 --> 8 Kb/s\n"
              "239.1.1.1:5001 --> 4 Kb/s\n"
              "239.2.2.2:5000 --> 4 Kb/s\n"
              "239.3.3.3:6000 --> 8 Kb/s\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}

TEST_F(Mcastrate, ThreeHundredSeventyFiveThousandBytesInTheDefaultTimeAreOneMegabit) {
    auto r = measure({"-s"}, std::vector<std::string>(300, frame({"239.255.0.1", 1234, 1250})));
    EXPECT_EQ(r.out, "239.255.0.1:1234 --> 1000 Kb/s\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(Mcastrate, TheThirtyThirdStreamIsIgnored) {
    std::vector<std::string> frames;
    std::string expected;
    for (unsigned port = 1; port <= 33; ++port) {
        frames.push_back(frame({"239.9.0.1", port, 200}));
        if (port <= 32) expected += "239.9.0.1:" + std::to_string(port) + "\n";
    }
    auto r = measure({"-t", "1500"}, frames);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.status, 0);
}

class McastrateLeave : public Mcastrate {
protected:
    // The multicast route points at another link of the box: the Leaves
    // must still go out of the measured interface.
    void SetUp() override {
        NetPairOptions o;
        o.multicast_route = false;
        open_pair(o);
        if (IsSkipped() || HasFatalFailure()) return;
        for (const auto& args :
             std::vector<std::vector<std::string>>{{"link", "add", "side0", "type", "veth", "peer", "name", "side1"},
                                                   {"link", "set", "side0", "up"},
                                                   {"link", "set", "side1", "up"}})
            ASSERT_TRUE(pair_->ip_box(args)) << pair_->error();
        ASSERT_TRUE(pair_->ip_box({"route", "add", "224.0.0.0/4", "dev", "side0"})) << pair_->error();
    }
};

TEST_F(McastrateLeave, OneLeavePerStreamOutOfTheMeasuredInterface) {
    auto r = measure({"-l", "-t", "1500"}, {});  // long enough to see it promiscuous, also emulated
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(link_->igmp().size(), 0u) << "no stream, no Leave";

    r = measure({"-l", "-t", "1500"},
                {frame({"239.1.1.1", 5000, 200}), frame({"239.1.1.1", 5001, 200}), frame({"239.2.2.2", 5000, 200})});
    EXPECT_EQ(r.out, "239.1.1.1:5000\n239.1.1.1:5001\n239.2.2.2:5000\n");
    EXPECT_EQ(r.status, 0);
    auto leaves = link_->igmp();
    ASSERT_EQ(leaves.size(), 3u);
    const char* groups[] = {"239.1.1.1", "239.1.1.1", "239.2.2.2"};
    for (size_t i = 0; i < leaves.size(); ++i) {
        const std::string& f = leaves[i];
        ASSERT_EQ(f.size(), 14u + 20 + 26) << i;
        auto addr = [&f](size_t at) { return f.substr(at, 4); };
        auto ip = [](const char* a) {
            in_addr_t v = inet_addr(a);
            return std::string(reinterpret_cast<const char*>(&v), 4);
        };
        EXPECT_EQ(f.substr(0, 6), std::string("\x01\x00\x5e\x00\x00\x02", 6));
        EXPECT_EQ(f[14], 0x45);
        EXPECT_EQ(f[14 + 8], 1) << "TTL";
        EXPECT_EQ(addr(14 + 12), ip(pair_->box_ip().c_str()));
        EXPECT_EQ(addr(14 + 16), ip("224.0.0.2"));
        EXPECT_EQ(f.substr(34, 2), std::string("\x17\x00", 2)) << "Leave, no response time";
        EXPECT_EQ(inet_sum(f, 34, 8), 0) << "checksum";
        EXPECT_EQ(addr(38), ip(groups[i]));
        EXPECT_EQ(f.substr(42), std::string(18, '\0'));
    }
}

TEST_F(Mcastrate, NoCaptureOrBadCommandLineIsSilent) {
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"-d", "eth9", "-s", "-l"}, 1},
        {{"-d", "eth0eth0eth0eth0eth0", "-s", "-l"}, 1},  // 20 characters
        {{"-d", "eth0eth0eth0eth0"}, 1},                  // 16: one too many
        {{"-t", "0", "-s"}, 2},
        {{"-t", "abc", "-s"}, 2},
        {{"-t", "-1"}, 2},
        {{"-t", "4294967296"}, 2},
        {{"-x"}, 2},
    };
    for (const auto& c : cases) {
        auto r = run(c.first);
        EXPECT_EQ(r.out + r.err, "") << c.first[1];
        EXPECT_EQ(r.status, c.second) << c.first[1];
    }
    // Root without the right to capture (a packet socket needs CAP_NET_RAW):
    // still root, so it can reach a build under /root, as its own user
    // could not.
    RunOptions no_capture;
    no_capture.before_exec = [] {
        if (prctl(PR_CAPBSET_DROP, CAP_NET_RAW, 0, 0, 0) != 0 || prctl(PR_CAPBSET_DROP, CAP_NET_ADMIN, 0, 0, 0) != 0)
            _exit(99);
    };
    auto r = run({"-t", "200", "-s"}, no_capture);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(r.status, 1);
}

// Every ending it can catch gives eth0 its flags back, and only what it
// switched on: allmulticast, switched on while it runs, stays on.
TEST_F(Mcastrate, EndedByASignalItSwitchesOffOnlyWhatItSwitchedOn) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGUSR2, SIGALRM}) {
        int pid_pipe[2];
        ASSERT_EQ(pipe2(pid_pipe, O_CLOEXEC), 0);
        RunOptions o;
        o.before_exec = [fd = pid_pipe[1]] {
            pid_t pid = getpid();
            if (write(fd, &pid, sizeof pid) != sizeof pid) _exit(99);
        };
        on_capture_ = [this, sig, fd = pid_pipe[0]] {
            ASSERT_TRUE(pair_->ip_box({"link", "set", "eth0", "allmulticast", "on"})) << pair_->error();
            pid_t pid = 0;
            ASSERT_EQ(read(fd, &pid, sizeof pid), static_cast<ssize_t>(sizeof pid));
            kill(pid, sig);
        };
        auto r = measure({"-t", "20000", "-s"}, {frame({"239.1.1.1", 5000, 200})}, o);
        close(pid_pipe[0]);
        close(pid_pipe[1]);
        EXPECT_EQ(r.signal, sig) << strsignal(sig);
        EXPECT_EQ(r.out, "") << strsignal(sig);
        std::string after = flags();
        EXPECT_NE(after.find("ALLMULTI"), std::string::npos) << strsignal(sig) << ": " << after;
        EXPECT_EQ(after.find("PROMISC"), std::string::npos) << strsignal(sig) << ": " << after;
        ASSERT_TRUE(pair_->ip_box({"link", "set", "eth0", "allmulticast", "off"})) << pair_->error();
    }
}

}  // namespace
