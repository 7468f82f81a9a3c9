// The network tools in the virtual box: the box's own eth0 (with the box's
// MAC address), the head end on the other side of its link, as an engineer
// runs them with `vbox run` and `vbox headend`.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <linux/capability.h>
#include <thread>

#include "box_session.h"
#include "hostns/netns.h"
#include "hostns/process.h"

using namespace hostns;

namespace {

class NetInBox : public testing::Test {
protected:
    void SetUp() override {
        if (!netns_available()) GTEST_SKIP() << "no network namespaces here";
        auto r = box_.start(vboxtest::default_boot());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }

    // Whether the box's eth0 has joined the group.
    bool joined(const std::string& group) {
        in_addr a{};
        inet_aton(group.c_str(), &a);
        char hex[16];
        snprintf(hex, sizeof hex, "%08X", a.s_addr);  // as the kernel prints it
        return box_.run({"cat", "/proc/net/igmp"}).out.find(hex) != std::string::npos;
    }

    // A box program whose busy loop must not starve the head end feeding
    // it on a shared test machine: it may not raise its priority.
    static RunOptions low_priority() {
        RunOptions o;
        o.before_exec = [] {
            prctl(PR_CAPBSET_DROP, CAP_SYS_NICE, 0, 0, 0);
            setpriority(PRIO_PROCESS, 0, 10);
        };
        return o;
    }

    vboxtest::BoxSession box_;
};

TEST_F(NetInBox, BoxmakerNamesTheMakerOfTheBoxsMac) {
    auto r = box_.run({BOXMAKER_BIN});
    EXPECT_EQ(r.out, "vimora\n");
    EXPECT_EQ(r.status, 0) << r.err;
}

// An image sent by mcsend on the head end arrives whole in the box, and
// mcastrate in the box sees the head end's stream on eth0.
TEST_F(NetInBox, ImageFromTheHeadEndAndItsRate) {
    std::string image = box_.tmp().file("image"), out = box_.tmp().file("fetched");
    std::string data;
    for (int i = 0; i < 300000; ++i) data += static_cast<char>(i * 7 + i / 251);
    ASSERT_TRUE(write_file(image, data));

    RunResult fetch;
    std::thread t([&] { fetch = box_.run({MCFETCH_BIN, "-f", out}, low_priority()); });
    bool seen = false;
    for (int i = 0; i < 500 && !(seen = joined("239.113.1.74")); ++i) usleep(20000);
    EXPECT_TRUE(seen) << "mcfetch never joined the group";
    auto sent = box_.vbox({"headend", "--", MCSEND_BIN, "--shuffle", "-n", "2", image});
    EXPECT_EQ(sent.status, 0) << sent.err;
    t.join();
    EXPECT_EQ(fetch.status, 0) << fetch.out << fetch.err;
    EXPECT_EQ(read_file(out), data);

    RunResult rate;
    std::thread m([&] { rate = box_.run({MCASTRATE_BIN, "-d", "eth0", "-t", "3000"}, low_priority()); });
    seen = false;
    for (int i = 0;
         i < 500 && !(seen = box_.run({"ip", "link", "show", "eth0"}).out.find("PROMISC") != std::string::npos); ++i)
        usleep(20000);
    EXPECT_TRUE(seen) << "mcastrate never listened";
    sent = box_.vbox({"headend", "--", MCSEND_BIN, "-g", "239.1.2.3", "-p", "4000", "-q", "--size", "20000"});
    EXPECT_EQ(sent.status, 0) << sent.err;
    m.join();
    EXPECT_EQ(rate.out, "239.1.2.3:4000\n");
    EXPECT_EQ(rate.status, 0);
}

}  // namespace
