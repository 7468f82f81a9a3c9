// A device the host serves, reached by a program of the box through the
// virtual box's bridge just as a driver's device is: poll, write, ioctl
// with a record laid out for the program's own ABI, read.
#include <gtest/gtest.h>

#include "box_session.h"
#include "hostns/process.h"

namespace {

TEST(HostDeviceInTheBox, AProgramReachesItThroughTheBridge) {
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
              "recent 0 len=3 writes=1 data=hel record=" +
                  record +
                  "\n"
                  "recent -1 Bad address\n"
                  "read 5 hello\n"
                  "read -1 Resource temporarily unavailable\n");
}

// The tuner's bus as a logic analyser sees it: the pins' history exported
// at the console and decoded by Debian's sigrok-cli.
TEST(PinHistoryInTheBox, SigrokDecodesATunerWrite) {
    vboxtest::BoxSession box;
    auto r = box.start("insmod gpio\ninsmod i2c-tuner\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    ASSERT_EQ(0, box.vbox({"tuner", "write", "0x0b", "0xc4", "0x86"}).status);
    // A file name of the caller's: taken from the caller's folder.
    hostns::RunOptions here = box.options();
    here.cwd = box.tmp().path();
    auto v = box.vbox({"gpio", "vcd", "pins.vcd"}, here);
    ASSERT_EQ(0, v.status) << v.err;
    auto d = hostns::run({"sigrok-cli", "-I", "vcd", "-i", box.tmp().file("pins.vcd"), "-P",
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

// The reader keeps the card's bytes until the program reads them, as its
// driver does: a reset drops what the card sent before it, and a card
// pulled in the middle of a command hangs the file up and refuses writes.
TEST(CardReaderInTheBox, ResetDropsEarlierBytesAndAPulledCardRefusesWrites) {
    vboxtest::BoxSession box;
    auto r = box.start("card reader 240\nmknod /dev/scard c 240 0\n");
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    const std::string reset = "s:0x20005300:0";  // the reader's reset
    // "ABCDE" is the header 41 42 43 44 45, "ABCDF" another.
    ASSERT_EQ(box.vbox({"card", "insert"}).status, 0);
    ASSERT_EQ(box.vbox({"card", "reply", "4142434445", "90", "00"}).status, 0);
    ASSERT_EQ(box.vbox({"card", "reply", "4142434446", "remove"}).status, 0);
    auto p = box.run({IOCTL_PROBE, "/dev/scard", reset, "w:ABCDE", "p:1000", reset, "p:100", "w:ABCDE", "x:8",
                      "w:ABCDF", "p:1000", "w:ABCDE", "x:8", "x:8"});
    EXPECT_EQ(p.out,
              reset +
                  " r=0 errno=0 v=0\n"
                  "w:ABCDE r=5 errno=0 v=0\n"
                  "p:1000 r=1 in=1\n" +
                  reset +
                  " r=0 errno=0 v=0\n"
                  "p:100 r=0 in=0\n"  // the status words before the reset are gone
                  "w:ABCDE r=5 errno=0 v=0\n"
                  "x:8 r=2 90 00\n"
                  "w:ABCDF r=5 errno=0 v=0\n"
                  "p:1000 r=1 in=1 hup\n"
                  "w:ABCDE r=-1 errno=Input/output error v=0\n"
                  "x:8 r=1 42\n"  // the procedure byte sent before the pull, then the end
                  "x:8 r=0\n")
        << p.err;
}

}  // namespace
