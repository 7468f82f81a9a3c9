// The board drivers in the virtual box as it boots by default: their
// start-up in the kernel log, /dev/gpio from a program of the box, and the
// board's probes at the console (`vbox gpio`, `vbox board`, `vbox tuner`).
#include <gtest/gtest.h>

#include <string>

#include "box_session.h"

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The line of `vbox gpio` that starts with head.
std::string pin_row(const std::string& listing, const std::string& head) {
    size_t at = listing.find("\n" + head);
    return at == std::string::npos ? "" : listing.substr(at + 1, listing.find('\n', at + 1) - at - 1);
}

TEST(BoardInTheBox, GpioAndTheTunerBus) {
    vboxtest::BoxSession box;
    auto r = box.start(vboxtest::default_boot());
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    std::string log = box.vbox({"dmesg"}).out;
    size_t gpio = log.find("gpio_init\n<6>gpio registered\nBoard S0\n<6>Gpio Driver Version = 1.5\n");
    size_t tuner = log.find(
        "<6>i2c_tuner_init: i2c tuner adapter module version 2.6.1 (20010830)\n"
        "<6>i2c_tuner_init: found device at 0x10000.\n");
    ASSERT_NE(gpio, std::string::npos) << log;
    ASSERT_NE(tuner, std::string::npos) << log;
    EXPECT_LT(gpio, tuner);
    EXPECT_TRUE(has(box.vbox({"lsmod"}).out, "[i2c-tuner]"));
    EXPECT_EQ(box.vbox({"rmmod", "gpio"}).status, 1);

    // A program of the box: the strap's level, pin 5 high, pin 33 refused,
    // an unreadable pin.
    auto p = box.run({PROBE_BIN, "/dev/gpio", "s:3:26", "s:1:5", "s:2:33", "u:4"});
    EXPECT_EQ(p.out,
              "s:3:26 r=0 errno=0 v=1\n"
              "s:1:5 r=0 errno=0 v=5\n"
              "s:2:33 r=-1 errno=Invalid argument v=33\n"
              "u:4 r=-1 errno=Bad address v=0\n")
        << p.err;

    std::string pins = box.vbox({"gpio"}).out;
    EXPECT_EQ(pin_row(pins, "  5"), "  5 out     1 SoC");
    EXPECT_EQ(pin_row(pins, " 26"), " 26 in      1 board      board variant strap");
    EXPECT_EQ(box.vbox({"gpio", "pull", "17", "low"}).status, 0);
    EXPECT_EQ(pin_row(box.vbox({"gpio"}).out, " 17"), " 17 in      0 board      USB port 2 over-current");
    EXPECT_EQ(box.vbox({"gpio", "pull", "32", "low"}).status, 2);

    // The other variant, at gpio's next load.
    EXPECT_EQ(box.vbox({"board", "variant", "S1"}).status, 0);
    EXPECT_EQ(box.vbox({"rmmod", "i2c-tuner"}).status, 0);
    EXPECT_EQ(box.vbox({"rmmod", "gpio"}).status, 0);
    box.vbox({"dmesg", "-c"});
    EXPECT_EQ(box.vbox({"insmod", "gpio"}).status, 0);
    EXPECT_TRUE(has(box.vbox({"dmesg"}).out, "<6>Board S1 \n"));
    EXPECT_EQ(box.vbox({"insmod", "i2c-tuner"}).status, 0);

    // A transfer to the tuner over the bit-banged bus.
    EXPECT_EQ(box.vbox({"tuner", "write", "0x0b", "0x8e"}).status, 0);
    EXPECT_EQ(box.vbox({"tuner", "read", "1"}).out, "40\n");
    std::string seen = box.vbox({"tuner"}).out;
    EXPECT_TRUE(has(seen, "  W 0B 8E\n  R 40\n")) << seen;
    EXPECT_TRUE(has(seen, "S C0+ 0B+ 8E+ P S C1+ 40. P")) << seen;
}

}  // namespace
