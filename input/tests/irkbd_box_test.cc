// irkbd in the virtual box: what is pressed at the console comes out of
// the event node to a program of the box, and shows in `vbox events`.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "box_session.h"

namespace {

using hostns::lines;

// "... time S.US ..." of a line, in microseconds.
long long time_of(const std::string& line) {
    size_t at = line.find("time ");
    if (at == std::string::npos) return -1;
    char* end = nullptr;
    long long sec = std::strtoll(line.c_str() + at + 5, &end, 10);
    long long usec = *end == '.' ? std::strtoll(end + 1, nullptr, 10) : 0;
    return sec * 1000000 + usec;
}

class IrkbdInTheBox : public testing::Test {
protected:
    void SetUp() override {
        // The box's own boot, with a short release time to keep it quick.
        std::string boot = vboxtest::default_boot();
        size_t at = boot.find("insmod irkbd\n");
        ASSERT_NE(at, std::string::npos);
        boot.insert(at + 12, " release_time=20");
        auto r = box_.start(boot);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    vboxtest::BoxSession box_;
};

TEST_F(IrkbdInTheBox, ARemoteKeyReachesAProgramAndTheEventList) {
    std::string ready = box_.tmp().file("ready");
    std::thread press([&] {
        for (int i = 0; i < 600 && access(ready.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(box_.vbox({"key", "2"}).status, 0);
    });
    auto probe = box_.run({EVENT_PROBE, "/dev/input/event0", ready, "2"});
    press.join();
    ASSERT_EQ(probe.status, 0) << probe.err;
    auto got = lines(probe.out);
    ASSERT_EQ(got.size(), 3u) << probe.out;
    EXPECT_NE(got[0].find(" type 1 code 2 value 1"), std::string::npos) << got[0];
    EXPECT_NE(got[1].find(" type 1 code 2 value 0"), std::string::npos) << got[1];
    EXPECT_EQ(got[2], "record " + std::to_string(sizeof(long) == 8 ? 24 : 16));  // the program's own layout
    // The release comes release_time (20 ticks) after the press, not before.
    EXPECT_GE(time_of(got[1]) - time_of(got[0]), 190000);

    // The same events, as evtest prints them.
    auto events = lines(box_.vbox({"events", "-c"}).out);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_NE(events[0].find(", type 1 (EV_KEY), code 2 (KEY_1), value 1"), std::string::npos) << events[0];
    EXPECT_NE(events[1].find(", type 1 (EV_KEY), code 2 (KEY_1), value 0"), std::string::npos) << events[1];
    EXPECT_EQ(time_of(events[0]), time_of(got[0]));
    EXPECT_EQ(time_of(events[1]), time_of(got[1]));
    EXPECT_TRUE(box_.vbox({"events"}).out.empty());
}

// Debian's evtest in the box: it finds the remote control by name through
// the event device's ioctls, prints a key the console pressed, and ends
// with the driver's error once irkbd is gone.
TEST_F(IrkbdInTheBox, EvtestNamesTheDeviceAndSeesAKeyAndTheDriverGo) {
    if (access("/usr/bin/evtest", X_OK) != 0) GTEST_SKIP() << "evtest is not installed (scripts/setup installs it)";
    std::thread console([&] {
        // Once evtest holds the node open and has pressed nothing yet.
        for (int i = 0; i < 600 && box_.vbox({"status"}).out.find("open files: 1\n") == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(box_.vbox({"key", "KEY_1"}).status, 0);
        for (int i = 0; i < 100 && lines(box_.vbox({"events"}).out).size() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(box_.vbox({"rmmod", "irkbd"}).status, 0);
    });
    auto r = box_.run({"evtest", "/dev/input/event0"});
    console.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Input driver version is 1.0.0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Input device name: \"IR-Remote Control\"\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("    Event code 2 (KEY_1)\n"), std::string::npos);
    EXPECT_NE(r.out.find("    Repeat code 0 (REP_DELAY)\n      Value    500\n"), std::string::npos);
    EXPECT_NE(r.out.find(", type 1 (EV_KEY), code 2 (KEY_1), value 1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(", type 1 (EV_KEY), code 2 (KEY_1), value 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("evtest: error reading: No such device"), std::string::npos) << r.err;
}

TEST_F(IrkbdInTheBox, ConsoleCommandsReachTheMicroController) {
    // Keys by name from the keymap, the mouse, the keyboard.
    EXPECT_NE(box_.vbox({"key"}).out.find("\n       2         2  KEY_1\n"), std::string::npos);
    EXPECT_EQ(box_.vbox({"key", "KEY_2"}).status, 0);
    auto r = box_.vbox({"key", "KEY_NOSUCH"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "key: no remote key KEY_NOSUCH (vbox key lists them)\n");
    EXPECT_EQ(box_.vbox({"mouse", "10", "-5"}).status, 0);
    EXPECT_EQ(box_.vbox({"mouse", "200", "0"}).status, 2);
    EXPECT_EQ(box_.vbox({"type", "A"}).status, 0);
    EXPECT_EQ(box_.vbox({"panel", "5"}).status, 0);
    std::string presses;
    for (const auto& line : lines(box_.vbox({"events"}).out))
        if (line.find("value 0") == std::string::npos) presses += line.substr(line.find(", type") + 2) + "\n";
    EXPECT_EQ(presses,
              "type 1 (EV_KEY), code 3 (KEY_2), value 1\n"
              "type 2 (EV_REL), code 0 (REL_X), value 20\n"
              "type 2 (EV_REL), code 1 (REL_Y), value -10\n"
              "type 1 (EV_KEY), code 42 (KEY_LEFTSHIFT), value 1\n"
              "type 1 (EV_KEY), code 30 (KEY_A), value 1\n"
              "type 1 (EV_KEY), code 116 (KEY_POWER), value 1\n");

    // The micro-controller's version and layout, for the next insmod.
    EXPECT_EQ(box_.vbox({"micro", "version", "3"}).status, 2);
    EXPECT_EQ(box_.vbox({"micro", "version", "0", "layout", "normal"}).status, 0);
    EXPECT_EQ(box_.vbox({"rmmod", "irkbd"}).status, 0);
    EXPECT_EQ(box_.vbox({"insmod", "irkbd"}).status, 0);
    EXPECT_NE(box_.vbox({"dmesg"}).out.find("microIR version is 0\n"), std::string::npos);
    auto status = box_.vbox({"micro"}).out;
    EXPECT_NE(status.find("version 0, normal layout"), std::string::npos) << status;
    EXPECT_NE(status.find("GPIO 27 (USB over-current input) is an output of the SoC"), std::string::npos);
    EXPECT_EQ(box_.vbox({"panel", "5"}).status, 1);  // version 0 has no front panel
    // The micro-controller's pins, as the board has them.
    std::string pins = box_.vbox({"gpio"}).out;
    EXPECT_NE(pins.find("\n  9 in      1 pull-up    micro-controller interrupt (a low pulse per frame)\n"),
              std::string::npos)
        << pins;
    EXPECT_NE(pins.find(" activity LED (low: lit)\n"), std::string::npos) << pins;
    r = box_.vbox({"type", "a"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "type: this micro-controller sends no keyboard frames\n");
}

// What is typed is encoded for the keymap of the micro-controller's layout;
// what that layout cannot send is refused before any key goes out. Key
// names are Linux's only where the keymap gives Linux codes.
TEST_F(IrkbdInTheBox, TypingAndKeyNamesFollowTheLayout) {
    auto presses = [&] {
        std::string out;
        for (const auto& line : lines(box_.vbox({"events", "-c"}).out)) {
            size_t at = line.find("code ");
            if (line.find("value 1") != std::string::npos && at != std::string::npos)
                out += line.substr(at + 5, line.find(',', at) - at - 5) + " ";
        }
        return out;
    };
    // Normal layout: '-' is the key that gives KEY_MINUS; there is no '/'.
    EXPECT_EQ(box_.vbox({"type", "-,"}).status, 0);
    EXPECT_EQ(presses(), "12 (KEY_MINUS) 51 (KEY_COMMA) ");
    auto r = box_.vbox({"type", "a/b"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "type: the normal layout has no key for '/'\n");
    EXPECT_NE(box_.vbox({"key"}).out.find("\n      22       229  (the box's own)\n"), std::string::npos);
    EXPECT_EQ(box_.vbox({"key", "KEY_KBDILLUMDOWN"}).status, 1);  // Linux's name for 229

    ASSERT_EQ(box_.vbox({"micro", "layout", "reversed"}).status, 0);
    ASSERT_EQ(box_.vbox({"rmmod", "irkbd"}).status, 0);
    ASSERT_EQ(box_.vbox({"insmod", "irkbd"}).status, 0);
    box_.vbox({"events", "-c"});
    EXPECT_EQ(box_.vbox({"type", "Help"}).status, 0);
    EXPECT_EQ(presses(), "42 (KEY_LEFTSHIFT) 35 (KEY_H) 18 (KEY_E) 38 (KEY_L) 25 (KEY_P) ");
    r = box_.vbox({"type", "ok/"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "type: the reversed layout has no key for '/'\n");
    // KEY_1's code and shift's share bits no frame of this layout can hold.
    r = box_.vbox({"type", "ok!"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "type: the reversed layout cannot send '!' (no frame carries its key with shift)\n");
    EXPECT_EQ(presses(), "");  // nothing half-typed
    EXPECT_EQ(box_.vbox({"key", "KEY_ESC"}).status, 0);
    EXPECT_EQ(presses(), "1 (KEY_ESC) ");
}

// The control device is served from the start of the driver's start-up,
// the input device only after its 250-tick wait: a key injected then is
// refused (it would lose its press and leave a lone release), stand-by
// entered then holds and lights the LED once it is set up.
TEST(IrkbdStarting, ControlDeviceDuringTheStartUpWait) {
    std::string boot = vboxtest::default_boot();
    size_t at = boot.find("insmod irkbd\n");
    ASSERT_NE(at, std::string::npos);
    boot.erase(at, 13);
    vboxtest::BoxSession box;
    auto r = box.start(boot);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    // The probe waits for the node to answer, so it acts at the start of
    // the 2.5 s wait.
    std::thread load([&] { EXPECT_EQ(box.vbox({"insmod", "irkbd"}).status, 0); });
    auto probe = box.run({CONTROL_PROBE, "/dev/RemoteRWD", "2"});
    load.join();
    ASSERT_EQ(probe.status, 0) << probe.err;
    EXPECT_EQ(lines(probe.out),
              (std::vector<std::string>{"inject=-1 errno=Resource temporarily unavailable", "standby=0"}));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(box.vbox({"events"}).out.empty());
    EXPECT_NE(box.vbox({"micro"}).out.find("activity LED (GPIO 14) lit"), std::string::npos);
}

}  // namespace
