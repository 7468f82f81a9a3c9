// mcastrate as a program on real interfaces: the box's eth0 in a private
// network namespace, frames built by the test and sent from the head-end
// side of the veth pair, the IGMP Leaves captured there.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/if_ether.h>
#include <net/if.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "frames.h"
#include "testsupport/netns.h"
#include "testsupport/process.h"

namespace {

using mcframes::frame;
using mcframes::FrameSpec;
using testsupport::lines;
using testsupport::NetnsPair;
using testsupport::NetPairOptions;
using testsupport::RunOptions;
using testsupport::RunResult;

// Runs fn on a thread of this process inside the named network namespace
// (sockets it opens stay there).
void in_netns(const std::string& ns, const std::function<void()>& fn) {
    std::thread t([&] {
        int fd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0) << ns;
        ASSERT_EQ(setns(fd, CLONE_NEWNET), 0) << ns;
        close(fd);
        fn();
    });
    t.join();
}

// A packet socket on the head end's eth0: sends the test's frames, and
// sees everything that crosses the link.
class HeadendLink {
public:
    explicit HeadendLink(const NetnsPair& pair) {
        in_netns(pair.headend(), [this] {
            fd_ = socket(AF_PACKET, SOCK_RAW, 0);
            sockaddr_ll a{};
            a.sll_family = AF_PACKET;
            a.sll_protocol = htons(ETH_P_IP);
            a.sll_ifindex = static_cast<int>(if_nametoindex("eth0"));
            to_ = a;
            if (fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) fd_ = -1;
        });
    }
    ~HeadendLink() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    // A few frames at a time, so no queue on the way overflows.
    void send(const std::vector<std::string>& frames) {
        for (size_t i = 0; i < frames.size(); ++i) {
            ASSERT_EQ(sendto(fd_, frames[i].data(), frames[i].size(), 0, reinterpret_cast<sockaddr*>(&to_), sizeof to_),
                      static_cast<ssize_t>(frames[i].size()));
            if (i % 10 == 9) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // The IGMP packets that crossed the link since it was opened (until the
    // link has been quiet for a moment).
    std::vector<std::string> igmp() {
        std::vector<std::string> out;
        char buf[2048];
        for (pollfd p{fd_, POLLIN, 0}; poll(&p, 1, 200) == 1;) {
            ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n < 0) break;
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
        if (!testsupport::netns_available()) GTEST_SKIP() << "no network namespaces here";
        pair_ = std::make_unique<NetnsPair>(options);
        ASSERT_TRUE(pair_->ok()) << pair_->error();
        link_ = std::make_unique<HeadendLink>(*pair_);
        ASSERT_TRUE(link_->ok());
        flags_before_ = flags();
        ASSERT_NE(flags_before_.find(",UP"), std::string::npos) << flags_before_;
    }
    void TearDown() override {
        if (pair_) {
            EXPECT_EQ(flags(), flags_before_) << "the flags of eth0 are back";
        }
    }

    static std::vector<std::string> argv(const std::vector<std::string>& args) {
        std::vector<std::string> a{MCASTRATE_BIN};
        a.insert(a.end(), args.begin(), args.end());
        return a;
    }
    // eth0's flags as ip shows them: "<BROADCAST,MULTICAST,UP,LOWER_UP>".
    std::string flags() {
        std::string l = pair_->run_box({"ip", "-o", "link", "show", "eth0"}).out;
        auto from = l.find('<'), to = l.find('>');
        return from == std::string::npos || to == std::string::npos ? l : l.substr(from, to - from + 1);
    }
    // Whether a packet socket in the box is bound to IPv4 and running.
    bool capturing() {
        for (const auto& l : lines(pair_->run_box({"cat", "/proc/net/packet"}).out)) {
            char sk[32];
            unsigned refs, type, proto, iface, running;
            if (sscanf(l.c_str(), "%31s %u %u %x %u %u", sk, &refs, &type, &proto, &iface, &running) == 6 &&
                proto == ETH_P_IP && running)
                return true;
        }
        return false;
    }

    // Runs mcastrate in the box; once it captures, eth0 must be promiscuous
    // and the frames are sent. Returns its result.
    RunResult measure(const std::vector<std::string>& args, const std::vector<std::string>& frames,
                      RunOptions options = {}) {
        RunResult result;
        std::atomic<bool> done{false};
        std::thread t([&] {
            result = pair_->run_box(argv(args), options);
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

std::vector<std::string> repeat(const FrameSpec& f, int n) { return std::vector<std::string>(n, frame(f)); }

FrameSpec udp(const char* group, unsigned port, size_t size) {
    FrameSpec f;
    f.dst = group;
    f.port = port;
    f.size = size;
    return f;
}

TEST_F(Mcastrate, StreamsInFirstSeenOrderWithTheirRates) {
    FrameSpec below = udp("223.1.1.1", 5000, 1000), other_proto = udp("239.4.4.4", 5000, 1000),
              later_fragment = udp("239.6.6.6", 5000, 1000), options = udp("239.3.3.3", 6000, 1500);
    other_proto.proto = 2;
    later_fragment.frag = 185;
    options.options = 2;
    std::vector<std::string> frames{
        frame(udp("239.1.1.1", 5000, 500)), frame(below),
        frame(udp("239.1.1.1", 5001, 750)), frame(other_proto),
        frame(udp("239.1.1.1", 5000, 500)), frame(udp("239.2.2.2", 5000, 375)),
        frame(later_fragment),              frame(udp("239.5.5.5", 5000, 100)).substr(0, 40),
        frame(options),                     frame(udp("239.1.1.1", 5000, 500)),
        frame(udp("239.2.2.2", 5000, 375)),
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
    auto r = measure({"-s"}, repeat(udp("239.255.0.1", 1234, 1250), 300));
    EXPECT_EQ(r.out, "239.255.0.1:1234 --> 1000 Kb/s\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(Mcastrate, TheThirtyThirdStreamIsIgnored) {
    std::vector<std::string> frames;
    std::string expected;
    for (int i = 1; i <= 33; ++i) {
        std::string group = "239.9.0." + std::to_string(i);
        frames.push_back(frame(udp(group.c_str(), 7000, 1000)));
        if (i <= 32) expected += group + ":7000\n";
    }
    frames.push_back(frames[0]);
    auto r = measure({"-t", "1500"}, frames);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.status, 0);
}

class McastrateLeave : public Mcastrate {
protected:
    // No multicast route toward eth0: the route points at another link, and
    // the Leaves must still go out of the measured interface.
    void SetUp() override {
        NetPairOptions o;
        o.multicast_route = false;
        open_pair(o);
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(pair_->ip_box({"link", "add", "side0", "type", "veth", "peer", "name", "side1"}));
        ASSERT_TRUE(pair_->ip_box({"link", "set", "side0", "up"}));
        ASSERT_TRUE(pair_->ip_box({"link", "set", "side1", "up"}));
        ASSERT_TRUE(pair_->ip_box({"route", "add", "224.0.0.0/4", "dev", "side0"}));
    }
};

TEST_F(McastrateLeave, OneLeavePerStreamOutOfTheMeasuredInterface) {
    auto r = measure({"-l", "-t", "1500"}, {frame(udp("239.1.1.1", 5000, 200)), frame(udp("239.1.1.1", 5001, 200)),
                                            frame(udp("239.2.2.2", 5000, 200))});
    EXPECT_EQ(r.out, "239.1.1.1:5000\n239.1.1.1:5001\n239.2.2.2:5000\n");
    EXPECT_EQ(r.status, 0);
    auto leaves = link_->igmp();
    ASSERT_EQ(leaves.size(), 3u);
    const char* groups[] = {"239.1.1.1", "239.1.1.1", "239.2.2.2"};
    for (size_t i = 0; i < leaves.size(); ++i) {
        const std::string& f = leaves[i];
        ASSERT_EQ(f.size(), 14u + 20 + 26) << i;
        auto u8 = [&f](size_t at) { return static_cast<unsigned>(static_cast<uint8_t>(f[at])); };
        auto addr = [&f](size_t at) {
            uint32_t a;
            memcpy(&a, f.data() + at, 4);
            return a;
        };
        EXPECT_EQ(f.substr(0, 6), std::string("\x01\x00\x5e\x00\x00\x02", 6));
        EXPECT_EQ(u8(14), 0x45u);
        EXPECT_EQ(u8(14 + 8), 1u) << "TTL";
        EXPECT_EQ(addr(14 + 12), inet_addr(pair_->box_ip().c_str()));
        EXPECT_EQ(addr(14 + 16), inet_addr("224.0.0.2"));
        EXPECT_EQ(u8(34), 0x17u);
        EXPECT_EQ(u8(35), 0u);
        EXPECT_EQ(mcframes::inet_sum(f, 34, 8), 0) << "checksum";
        EXPECT_EQ(addr(38), inet_addr(groups[i]));
        EXPECT_EQ(f.substr(42), std::string(18, '\0'));
    }
}

TEST_F(McastrateLeave, NoStreamNoLeave) {
    auto r = measure({"-l", "-s", "-t", "300"}, {});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(link_->igmp().size(), 0u);
}

TEST_F(Mcastrate, NoCaptureOrBadCommandLineIsSilent) {
    struct Case {
        std::vector<std::string> args;
        int status;
    };
    const Case cases[] = {
        {{"-d", "eth9", "-s", "-l"}, 1},
        {{"-d", "eth0eth0eth0eth0eth0", "-s", "-l"}, 1},
        {{"-d", "eth0eth0eth0eth0"}, 1},  // 16: one too many
        {{"-t", "0", "-s"}, 2},
        {{"-t", "abc", "-s"}, 2},
        {{"-t", "5s"}, 2},
        {{"-t", "-1"}, 2},
        {{"-t", "4294967296"}, 2},
        {{"-t"}, 2},
        {{"-x"}, 2},
    };
    for (const auto& c : cases) {
        auto r = pair_->run_box(argv(c.args));
        EXPECT_EQ(r.out, "") << c.args[1];
        EXPECT_EQ(r.err, "") << c.args[1];
        EXPECT_EQ(r.status, c.status) << c.args[1];
    }
    // Without the right to capture.
    RunOptions nobody;
    nobody.before_exec = [] {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(99);
    };
    auto r = pair_->run_box(argv({"-t", "200", "-s"}), nobody);
    EXPECT_EQ(r.out + r.err, "");
    EXPECT_EQ(r.status, 1);
}

TEST_F(Mcastrate, InterruptedItRestoresTheFlagsAndPrintsNothing) {
    int pids[2];
    ASSERT_EQ(pipe2(pids, O_CLOEXEC), 0);
    RunOptions o;
    o.before_exec = [fd = pids[1]] {
        pid_t pid = getpid();
        if (write(fd, &pid, sizeof pid) != sizeof pid) _exit(99);
    };
    on_capture_ = [fd = pids[0]] {
        pid_t pid = 0;
        ASSERT_EQ(read(fd, &pid, sizeof pid), static_cast<ssize_t>(sizeof pid));
        kill(pid, SIGINT);
    };
    auto r = measure({"-t", "60000", "-s"}, {frame(udp("239.1.1.1", 5000, 200))}, o);
    close(pids[0]);
    close(pids[1]);
    EXPECT_EQ(r.signal, SIGINT);
    EXPECT_EQ(r.out, "");
}

}  // namespace
