// A device the host serves, reached by a program of the box through the
// virtual box's bridge just as a driver's device is: poll, write, ioctl
// with a record laid out for the program's own ABI, read.
#include <gtest/gtest.h>

#include "box_session.h"
#include "testsupport/process.h"

namespace {

TEST(HostDeviceInTheBox, AProgramReachesItThroughTheBridge)
{
    vboxtest::BoxSession box;
    auto r = box.start("loopback 241\nmknod /dev/loopback c 241 0\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    auto p = box.run({LOOPBACK_PROBE, "/dev/loopback"});
    EXPECT_EQ(p.status, 0) << p.err;
    std::string record = std::to_string(2 * sizeof(void*));  // 8 on the box, 16 on the host
    EXPECT_EQ(p.out,
              "poll 1 in=0 out=1\n"
              "write 5\n"
              "poll 1 in=1 out=0\n"
              "recent 0 len=3 writes=1 data=hel record=" + record + "\n"
              "recent -1 Bad address\n"
              "read 5 hello\n"
              "read -1 Resource temporarily unavailable\n");
}

// The tuner's bus as a logic analyser sees it: the pins' history exported
// at the console and decoded by Debian's sigrok-cli.
TEST(PinHistoryInTheBox, SigrokDecodesATunerWrite)
{
    vboxtest::BoxSession box;
    auto r = box.start("insmod gpio\ninsmod i2c-tuner\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(0, box.vbox({"tuner", "write", "0x0b", "0xc4", "0x86"}).status);
    // A file name of the caller's: taken from the caller's folder.
    testsupport::RunOptions here = box.options();
    here.cwd = box.tmp().path();
    auto v = box.vbox({"gpio", "vcd", "pins.vcd"}, here);
    ASSERT_EQ(0, v.status) << v.err;
    auto d = testsupport::run({"sigrok-cli", "-I", "vcd", "-i", box.tmp().file("pins.vcd"), "-P",
                               "i2c:scl=gpio20:sda=gpio21", "-A", "i2c=address-write:data-write"});
    ASSERT_EQ(0, d.status) << d.err;
    EXPECT_NE(std::string::npos, d.out.find("i2c-1: Address write: 60\n"
                                            "i2c-1: Data write: 0B\n"
                                            "i2c-1: Data write: C4\n"
                                            "i2c-1: Data write: 86\n"))
        << d.out;

    auto bad = box.vbox({"gpio", "vcd", "/nonexistent/pins.vcd"});
    EXPECT_EQ(1, bad.status);
    EXPECT_EQ("gpio vcd: /nonexistent/pins.vcd: No such file or directory\n", bad.err);
}

}  // namespace
