// irkbd on the virtual board: frames from the front-panel micro-controller
// in, input events with their ticks out; the control device (char 201, 0)
// driven as a process would.
#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "bench/driver_test.h"
#include "kplat/input.h"

namespace {

constexpr uint16_t EV_KEY = 1, EV_REL = 2;
constexpr uint16_t KEY_1 = 2, KEY_2 = 3, KEY_A = 30, KEY_LEFTCTRL = 29, KEY_LEFTSHIFT = 42, KEY_POWER = 116;
constexpr uint16_t BTN_LEFT = 0x110, BTN_RIGHT = 0x111, BTN_MIDDLE = 0x112;
constexpr uint16_t QUANDOR_POWER = 229;
constexpr uint16_t REL_X = 0, REL_Y = 1;
constexpr unsigned IR_MAJOR = 201;

// Scancodes (see irkbd_keymaps.h).
constexpr uint8_t RC_1 = 2, RC_2 = 5, RC_POWER = 22;                 // remote, normal
constexpr uint8_t RCR_1 = 1, RCR_QPOWER = 17, RCR_POWER = 161;       // remote, reversed
constexpr uint8_t KB_A = 4, KB_LCTRL = 224, KB_LSHIFT = 225, KB_QPOWER = 41;
constexpr uint8_t KBR_A = 128, KBR_LSHIFT = 30, KBR_POWER = 41;      // keyboard, reversed
constexpr uint8_t FP_1 = 1, FP_POWER = 5;

struct Ev {
    unsigned long t;
    uint16_t type, code;
    int32_t value;
    bool operator==(const Ev& o) const { return t == o.t && type == o.type && code == o.code && value == o.value; }
};

std::ostream& operator<<(std::ostream& os, const Ev& e)
{
    return os << "{" << e.t << ", " << e.type << ", " << e.code << ", " << e.value << "}";
}

Ev key(unsigned long t, uint16_t code, int32_t value) { return {t, EV_KEY, code, value}; }
Ev rel(unsigned long t, uint16_t code, int32_t value) { return {t, EV_REL, code, value}; }

bool has(const std::string& log, const std::string& text) { return log.find(text) != std::string::npos; }

class Irkbd : public bench::DriverTest {
protected:
    explicit Irkbd(board::BoardConfig config = {}) : DriverTest(config) {}

    board::Micro& micro() { return board.micro(); }

    void load(const std::string& args = "")
    {
        ASSERT_EQ(0, insmod("irkbd", args)) << kernel.last_error() << "\n" << kernel.log();
        fd_ = open(IR_MAJOR);
        ASSERT_GE(fd_, 0);
        take_log();
        kplat::clear_input_events(kernel);
        board.bus().clear_history();
        board.activity_led().clear_history();
    }

    // The events since the last look, with their ticks.
    std::vector<Ev> take_events()
    {
        std::vector<Ev> out;
        for (const auto& e : kplat::input_events(kernel))
            out.push_back({e.jiffies, e.type, e.code, e.value});
        kplat::clear_input_events(kernel);
        return out;
    }

    unsigned long now() { return kernel.jiffies(); }
    void wait(unsigned long ticks) { kernel.advance(ticks); }

    long ioctl_byte(unsigned cmd, uint8_t* byte) { return proc.ioctl(fd_, cmd, reinterpret_cast<unsigned long>(byte)); }

    int fd_ = -1;
};

// ---- Loading ----

TEST_F(Irkbd, StartUpProgramsTheInterruptPathAndAttachesToTheMicro)
{
    board.gpio().drive(27, true);  // the USB over-current line, normal
    ASSERT_EQ(0, insmod("irkbd")) << kernel.last_error();
    EXPECT_GE(now(), 250u);  // the start-up wait
    EXPECT_EQ("Using adapter=SMP8634 I2C HW Master\n"
              "v-ir: chip found @ 0x32\n"
              "v-ir: attach final ok\n"
              "microIR version is 2\n",
              kernel.log());

    auto& bus = board.bus();
    EXPECT_EQ((std::vector<uint32_t>{0x02000000, 0x40004000}), bus.writes_to(0x10500));
    EXPECT_EQ(0x0900u, board.interrupts().routing());
    EXPECT_EQ(0x4000u, board.interrupts().rise());
    EXPECT_EQ(0x4000u, board.interrupts().fall());
    EXPECT_EQ((std::vector<uint32_t>{0x38003800}), bus.writes_to(0x2710c));
    EXPECT_TRUE(board.gpio().output(14));
    EXPECT_FALSE(board.activity_led().lit());

    // GPIO 27 is the gpio driver's USB over-current input: irkbd makes it
    // an output (low) against the line, and the over-current state reads 0.
    EXPECT_TRUE(board.gpio().contended(27));
    EXPECT_FALSE(board.gpio().level(27));

    auto irqs = kernel.interrupts();
    auto irq22 = std::find_if(irqs.begin(), irqs.end(), [](auto& i) { return i.irq == 22; });
    ASSERT_NE(irqs.end(), irq22);
    EXPECT_EQ(std::vector<std::string>{"vimora_remote_control"}, irq22->handlers);
    EXPECT_TRUE(irq22->enabled);

    auto chrdevs = kernel.chrdevs();
    ASSERT_EQ(2u, chrdevs.size());
    EXPECT_EQ(13u, chrdevs[0].major);  // the input core's event device
    EXPECT_EQ(IR_MAJOR, chrdevs[1].major);
    EXPECT_EQ("RemoteRWD", chrdevs[1].name);
    EXPECT_EQ("IR-Remote Control", kplat::input_device_name(kernel, 0));
    auto adapters = kernel.i2c_adapters();
    ASSERT_EQ(1u, adapters.size());
    ASSERT_EQ(1u, adapters[0].clients.size());
    EXPECT_EQ("I2C_MICRO", adapters[0].clients[0].name);
    EXPECT_EQ(0x32u, adapters[0].clients[0].addr);

    auto info = kernel.lsmod().front().info;
    for (const char* text :
         {"description=Vimora Remote Control/Keyboard Driver for SMP8634 I2C HW Master bus adapter", "license=LGPL",
          "kernel_version=2.4.30-tango2-2.7.158.1", "parm_desc_debug=debug level -> 0 off; 1 normal; 2 max",
          "parm_desc_release_time=Key Synthetic-Release time",
          "parm_desc_remote_control_repeat_delay=Remote Control Repeat rate"})
        EXPECT_NE(info.end(), std::find(info.begin(), info.end(), text)) << text;
}

TEST_F(Irkbd, VersionQueryRepeatsWhileTheAnswerIsThreeOrMore)
{
    micro().script_versions({7, 200});
    ASSERT_EQ(0, insmod("irkbd"));
    EXPECT_TRUE(has(kernel.log(), "microIR version is 7\nmicroIR version is 200\nmicroIR version is 2\n"));
    EXPECT_EQ(3u, micro().version_queries());
}

// IRQ 22 and major 201 held by other drivers: irkbd loads without them and
// leaves them to their holders.
TEST_F(Irkbd, TakenIrqAndMajorAreLeftToTheirHolders)
{
    ASSERT_EQ(0, kernel.claim_irq(22, "other"));
    ASSERT_EQ(0, kernel.hold_chrdev(IR_MAJOR, "other"));
    ASSERT_EQ(0, insmod("irkbd"));
    std::string log = take_log();
    EXPECT_TRUE(has(log, "Error during device registrations\n"));
    EXPECT_TRUE(has(log, "vimora_remote_control: cannot allocate IRQ 22\n"));
    EXPECT_FALSE(board.gpio().output(14));  // no LED set-up
    EXPECT_TRUE(board.bus().writes_to(0x2710c).empty());

    micro().press_remote(RC_1);  // the line is the other driver's
    EXPECT_TRUE(take_events().empty());

    ASSERT_EQ(0, rmmod("irkbd"));
    auto irqs = kernel.interrupts();
    auto irq22 = std::find_if(irqs.begin(), irqs.end(), [](auto& i) { return i.irq == 22; });
    ASSERT_NE(irqs.end(), irq22);
    EXPECT_EQ(std::vector<std::string>{"other"}, irq22->handlers);
    EXPECT_TRUE(irq22->enabled);
    log = take_log();
    EXPECT_FALSE(has(log, "unbalanced")) << log;
    EXPECT_FALSE(has(log, "Trying to free")) << log;
    auto chrdevs = kernel.chrdevs();
    ASSERT_EQ(1u, chrdevs.size());
    EXPECT_EQ("other", chrdevs[0].name);
}

// A board without the micro-controller: the versions never come, the load
// fails and leaves nothing behind; once the chip is there, it loads.
class IrkbdNoMicro : public Irkbd {
protected:
    IrkbdNoMicro() : Irkbd(board::BoardConfig{true, false}) {}
};

TEST_F(IrkbdNoMicro, FailedLoadUndoesEverythingAndASecondLoadWorks)
{
    unsigned long live = kernel.kmalloc_live();
    EXPECT_EQ(-5, insmod("irkbd"));
    std::string log = take_log();
    EXPECT_TRUE(has(log, "microIR version is 255\n"));
    EXPECT_TRUE(has(log, "<3>v-ir: no valid microIR version after 10 queries\n"));
    EXPECT_TRUE(has(log, "<3>v-ir_init: no client found\n"));
    EXPECT_TRUE(kernel.chrdevs().empty());
    EXPECT_TRUE(kernel.i2c_drivers().empty());
    EXPECT_TRUE(kernel.i2c_adapters()[0].clients.empty());
    EXPECT_TRUE(kernel.interrupts().empty());
    EXPECT_EQ(0, kernel.bus_handles());
    EXPECT_EQ(live, kernel.kmalloc_live());
    EXPECT_TRUE(kplat::input_device_name(kernel, 0).empty());

    board.i2c().attach(board::Micro::address, micro());
    load();
    micro().press_remote(RC_1);
    EXPECT_EQ(std::vector<Ev>{key(now(), KEY_1, 1)}, take_events());
}

// ---- Keys and their timing ----

TEST_F(Irkbd, HeldKeyIsOnePressReleasedReleaseTimeAfterTheLastInterrupt)
{
    load();
    unsigned long t0 = now();
    micro().press_remote(RC_1);
    wait(100);
    micro().press_remote(RC_1);
    wait(100);
    micro().press_remote(RC_1);
    wait(249);
    EXPECT_EQ(std::vector<Ev>{key(t0, KEY_1, 1)}, take_events());
    wait(1);
    EXPECT_EQ(std::vector<Ev>{key(t0 + 450, KEY_1, 0)}, take_events());
    EXPECT_EQ(3u, micro().frames_read());
    EXPECT_EQ(0u, micro().empty_reads());
}

TEST_F(Irkbd, AnotherKeyReleasesTheHeldOneFirst)
{
    load("release_time=40");
    unsigned long t0 = now();
    micro().press_remote(RC_1);
    wait(10);
    micro().press_remote(RC_2);
    wait(100);
    EXPECT_EQ((std::vector<Ev>{key(t0, KEY_1, 1), key(t0 + 10, KEY_1, 0), key(t0 + 10, KEY_2, 1),
                               key(t0 + 50, KEY_2, 0)}),
              take_events());
}

TEST_F(Irkbd, FramesQueuedTogetherAreAllReadAtOnce)
{
    load();
    unsigned long t0 = now();
    // The second is signalled while the first is being read.
    kernel.atomically([&] {
        micro().press_remote(RC_1);
        micro().press_remote(RC_2);
    });
    EXPECT_EQ((std::vector<Ev>{key(t0, KEY_1, 1), key(t0, KEY_1, 0), key(t0, KEY_2, 1)}), take_events());
    EXPECT_EQ(2u, micro().frames_read());
    EXPECT_EQ(0u, micro().queued());
}

TEST_F(Irkbd, KeyboardChordsSendTheirModifiersInTableOrder)
{
    load("release_time=20");
    unsigned long t = now();
    // Two codes: the shift is the second, or the first.
    ASSERT_TRUE(micro().press_keys({KB_A, KB_LSHIFT}));
    wait(30);
    ASSERT_TRUE(micro().press_keys({KB_LSHIFT, KB_A}));
    wait(30);
    // Three codes: control before shift whatever the frame's order.
    ASSERT_TRUE(micro().press_keys({KB_A, KB_LSHIFT, KB_LCTRL}));
    wait(30);
    EXPECT_EQ((std::vector<Ev>{key(t, KEY_LEFTSHIFT, 1), key(t, KEY_A, 1), key(t + 20, KEY_A, 0),
                               key(t + 20, KEY_LEFTSHIFT, 0), key(t + 30, KEY_LEFTSHIFT, 1), key(t + 30, KEY_A, 1),
                               key(t + 50, KEY_A, 0), key(t + 50, KEY_LEFTSHIFT, 0), key(t + 60, KEY_LEFTCTRL, 1),
                               key(t + 60, KEY_LEFTSHIFT, 1), key(t + 60, KEY_A, 1), key(t + 80, KEY_A, 0),
                               key(t + 80, KEY_LEFTCTRL, 0), key(t + 80, KEY_LEFTSHIFT, 0)}),
              take_events());
}

TEST_F(Irkbd, RealModifierIsHeld250TicksWhateverTheReleaseTime)
{
    load("release_time=20");
    unsigned long t = now();
    ASSERT_TRUE(micro().press_keys({KB_LSHIFT}));
    wait(5);
    ASSERT_TRUE(micro().press_keys({KB_A, KB_LSHIFT}));  // shift already down: the key alone
    wait(19);
    EXPECT_EQ((std::vector<Ev>{key(t, KEY_LEFTSHIFT, 1), key(t + 5, KEY_A, 1)}), take_events());
    wait(1);
    EXPECT_EQ((std::vector<Ev>{key(t + 25, KEY_A, 0), key(t + 25, KEY_LEFTSHIFT, 0)}), take_events());

    t = now();
    ASSERT_TRUE(micro().press_keys({KB_LSHIFT}));
    wait(249);
    EXPECT_EQ(std::vector<Ev>{key(t, KEY_LEFTSHIFT, 1)}, take_events());
    wait(1);
    EXPECT_EQ(std::vector<Ev>{key(t + 250, KEY_LEFTSHIFT, 0)}, take_events());
}

TEST_F(Irkbd, CoreRepeatsAHeldKeyAtRepeatDelayAndRate)
{
    load("repeat_delay=30 repeat_rate=10 release_time=95");
    unsigned long t = now();
    micro().press_remote(RC_1);
    wait(200);
    std::vector<Ev> expect{key(t, KEY_1, 1)};
    for (unsigned long r = 30; r < 95; r += 10)
        expect.push_back(key(t + r, KEY_1, 2));
    expect.push_back(key(t + 95, KEY_1, 0));
    EXPECT_EQ(expect, take_events());
}

// ---- Mouse ----

TEST_F(Irkbd, MouseMotionIsDoubledAndButtonsReleaseThemselves)
{
    load();
    unsigned long t = now();
    ASSERT_TRUE(micro().move_mouse(10, -5, 0));
    ASSERT_TRUE(micro().move_mouse(-128, 3, 0));
    EXPECT_EQ((std::vector<Ev>{rel(t, REL_X, 20), rel(t, REL_Y, -10), rel(t, REL_X, -256), rel(t, REL_Y, 6)}),
              take_events());

    // A button down releases everything 1000 / 7 ticks later, a held key too.
    micro().press_remote(RC_1);
    wait(10);
    ASSERT_TRUE(micro().move_mouse(0, 0, 0x7));
    wait(200);
    EXPECT_EQ((std::vector<Ev>{key(t, KEY_1, 1), key(t + 10, BTN_LEFT, 1), key(t + 10, BTN_MIDDLE, 1),
                               key(t + 10, BTN_RIGHT, 1), key(t + 152, KEY_1, 0), key(t + 152, BTN_LEFT, 0),
                               key(t + 152, BTN_MIDDLE, 0), key(t + 152, BTN_RIGHT, 0)}),
              take_events());

    // ioctl 4 sets the rate of the click release; 0 restores 7.
    EXPECT_EQ(0, ioctl_int(fd_, 4, 20));
    t = now();
    ASSERT_TRUE(micro().move_mouse(0, 0, 0x1));
    wait(60);
    EXPECT_EQ(0, ioctl_int(fd_, 4, 0));
    ASSERT_TRUE(micro().move_mouse(0, 0, 0x2));
    wait(200);
    EXPECT_EQ((std::vector<Ev>{key(t, BTN_LEFT, 1), key(t + 50, BTN_LEFT, 0), key(t + 60, BTN_RIGHT, 1),
                               key(t + 202, BTN_RIGHT, 0)}),
              take_events());
}

// ---- Stand-by ----

struct StandbyCase {
    uint8_t version;
    board::Micro::Layout layout;
    uint8_t blocked_remote, passing_remote;
    uint16_t passing_key;
};

class IrkbdStandby : public Irkbd, public ::testing::WithParamInterface<StandbyCase> {};

// In stand-by only the power-type key passes, from every source, and the
// LED stays lit: no blink.
TEST_P(IrkbdStandby, OnlyThePowerKeyPasses)
{
    const StandbyCase& c = GetParam();
    micro().set_version(c.version);
    micro().set_layout(c.layout);
    load();
    EXPECT_EQ(0, proc.ioctl(fd_, 1, 1));
    EXPECT_TRUE(board.activity_led().lit());
    uint8_t state = 0;
    EXPECT_EQ(0, ioctl_byte(0, &state));
    EXPECT_EQ(1, state);
    board.activity_led().clear_history();

    bool reversed = c.layout == board::Micro::Layout::reversed;
    unsigned long t = now();
    micro().press_remote(c.blocked_remote);
    if (c.version) {
        micro().press_keys({reversed ? KBR_A : KB_A});
        micro().move_mouse(5, 5, 1);
        micro().press_panel(FP_1);
    }
    EXPECT_TRUE(take_events().empty());

    micro().press_remote(c.passing_remote);
    if (c.version) {
        wait(300);
        micro().press_keys({reversed ? KBR_POWER : KB_QPOWER});
        if (!reversed) {
            wait(300);
            micro().press_panel(FP_POWER);
        }
    }
    auto events = take_events();
    std::vector<Ev> expect{key(t, c.passing_key, 1)};
    if (c.version) {
        expect.push_back(key(t + 250, c.passing_key, 0));
        expect.push_back(key(t + 300, reversed ? KEY_POWER : QUANDOR_POWER, 1));
        if (!reversed) {
            expect.push_back(key(t + 550, QUANDOR_POWER, 0));
            expect.push_back(key(t + 600, KEY_POWER, 1));
        }
    }
    EXPECT_EQ(expect, events);
    EXPECT_TRUE(board.activity_led().lit());
    EXPECT_TRUE(board.activity_led().history().empty());

    EXPECT_EQ(0, proc.ioctl(fd_, 1, 0));
    EXPECT_FALSE(board.activity_led().lit());
    board.bus().clear_history();
    EXPECT_EQ(0, proc.ioctl(fd_, 1, 0));  // outside stand-by: nothing
    EXPECT_TRUE(board.bus().writes_to(0x10504).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sources, IrkbdStandby,
    ::testing::Values(StandbyCase{2, board::Micro::Layout::normal, RC_1, RC_POWER, QUANDOR_POWER},
                      StandbyCase{1, board::Micro::Layout::reversed, RCR_QPOWER, RCR_POWER, KEY_POWER},
                      StandbyCase{0, board::Micro::Layout::normal, 253, 233, QUANDOR_POWER}));

// ---- Frame layouts and versions ----

TEST_F(Irkbd, LayoutIsChosenDuringTheFirstFourReads)
{
    load("release_time=5");
    micro().press_remote(RC_1);  // read 1: normal
    wait(10);
    micro().set_layout(board::Micro::Layout::reversed);
    for (int read = 2; read <= 4; ++read) {
        micro().press_remote(RCR_1);  // reads 2-4: reversed, chosen again
        wait(10);
    }
    auto events = take_events();
    EXPECT_EQ(4, std::count_if(events.begin(), events.end(), [](auto& e) { return e.code == KEY_1 && e.value == 1; }));
    // From the fifth read on the choice stays: a normal frame now means
    // something else.
    micro().set_layout(board::Micro::Layout::normal);
    micro().press_remote(RC_2);
    for (const Ev& e : take_events())
        EXPECT_NE(KEY_2, e.code);
}

TEST_F(Irkbd, EmptyReadsFirstThenTheFirstFrameChoosesTheParser)
{
    micro().set_layout(board::Micro::Layout::reversed);
    load();
    for (int i = 0; i < 4; ++i)
        micro().pulse();
    EXPECT_EQ(4u, micro().empty_reads());
    EXPECT_TRUE(take_events().empty());
    micro().press_remote(RCR_1);
    EXPECT_EQ(std::vector<Ev>{key(now(), KEY_1, 1)}, take_events());
}

TEST_F(Irkbd, ReversedKeyboardChord)
{
    micro().set_layout(board::Micro::Layout::reversed);
    load("release_time=20");
    unsigned long t = now();
    ASSERT_TRUE(micro().press_keys({KBR_A, KBR_LSHIFT}));
    wait(20);
    EXPECT_EQ((std::vector<Ev>{key(t, KEY_LEFTSHIFT, 1), key(t, KEY_A, 1), key(t + 20, KEY_A, 0),
                               key(t + 20, KEY_LEFTSHIFT, 0)}),
              take_events());
}

TEST_F(Irkbd, VersionZeroReadsOneByteScancodes)
{
    micro().set_version(0);
    load("debug=2");
    micro().press_remote(253);
    micro().pulse();  // 0xFF: nothing
    EXPECT_EQ(std::vector<Ev>{key(now(), KEY_1, 1)}, take_events());
    EXPECT_EQ(1u, micro().empty_reads());
    EXPECT_TRUE(has(take_log(), "keymap is keymapVelamorRemoteC_prov with Quandor Keycodes\n"));

    // An injected scancode is a normal remote's whatever the micro-controller.
    wait(300);
    take_events();
    uint8_t code = RC_2;
    EXPECT_EQ(0, ioctl_byte(5, &code));
    EXPECT_EQ(std::vector<Ev>{key(now(), KEY_2, 1)}, take_events());
}

TEST_F(Irkbd, FailedReadIsNothingNotThePreviousFrame)
{
    load();
    micro().press_remote(RC_1);
    wait(300);
    take_events();
    micro().set_acknowledge(false);
    micro().pulse();
    wait(300);
    EXPECT_TRUE(take_events().empty());
}

// ---- Activity LED ----

TEST_F(Irkbd, LedBlinksFor55TicksWithA55TickGap)
{
    load("release_time=5");
    unsigned long t = now();
    micro().press_remote(RC_1);
    wait(60);
    micro().press_remote(RC_1);  // 5 ticks after the blink: too soon
    wait(50);
    micro().press_remote(RC_1);  // 55 ticks after it
    wait(100);
    micro().press_panel(FP_1);   // the front panel does not blink
    wait(100);
    using C = board::ActivityLed::Change;
    EXPECT_EQ((std::vector<C>{{t, true}, {t + 55, false}, {t + 110, true}, {t + 165, false}}),
              board.activity_led().history());
}

// ---- Control device ----

TEST_F(Irkbd, ControlDeviceIoctls)
{
    load();
    EXPECT_EQ(-22, proc.ioctl(fd_, 9, 0));
    EXPECT_EQ(-14, proc.ioctl(fd_, 0, 0));

    // 5 injects a remote scancode; an unreadable one injects nothing.
    uint8_t code = RC_1;
    EXPECT_EQ(0, ioctl_byte(5, &code));
    EXPECT_TRUE(has(take_log(), "scancode sent:2\n"));
    EXPECT_EQ(std::vector<Ev>{key(now(), KEY_1, 1)}, take_events());
    EXPECT_EQ(-14, proc.ioctl(fd_, 6, 0));
    EXPECT_EQ("", take_log());

    // 7 asks the micro-controller once.
    unsigned long queries = micro().version_queries();
    uint8_t version = 0xee;
    EXPECT_EQ(0, ioctl_byte(7, &version));
    EXPECT_EQ(2, version);
    EXPECT_EQ(queries + 1, micro().version_queries());
    EXPECT_EQ("microIR version is 2\n", take_log());
    EXPECT_EQ(-14, proc.ioctl(fd_, 7, 0));
    EXPECT_EQ(queries + 1, micro().version_queries());

    // 8 sets the reboot timeout; an unreadable pointer sends nothing.
    uint8_t seconds = 30;
    EXPECT_EQ(0, ioctl_byte(8, &seconds));
    EXPECT_EQ("reboot timeout is set to 30 sec\n", take_log());
    EXPECT_EQ(-14, proc.ioctl(fd_, 8, 0));
    EXPECT_EQ(std::vector<uint8_t>{30}, micro().reboot_timeouts());
    EXPECT_EQ((std::vector<uint8_t>{0x02, 30}), micro().writes().back());

    // One micro-controller: a second adapter is refused.
    ASSERT_GE(kernel.add_i2c_adapter("second", 0, board.soc_i2c()), 0);
    EXPECT_EQ("Using adapter=second\nv-ir: attach failed\n", take_log());

    // Once the adapter is gone, 7 and 8 have no client.
    size_t transfers = micro().transfers().size();
    kernel.del_i2c_adapter(board.soc_i2c().adapter_nr());
    EXPECT_EQ(-19, ioctl_byte(7, &version));
    EXPECT_EQ(-19, ioctl_byte(8, &seconds));
    micro().press_remote(RC_2);
    EXPECT_EQ(transfers, micro().transfers().size());

    // A new adapter: the micro-controller is asked again, and the frame
    // it signalled meanwhile is read.
    micro().set_version(1);
    take_events();
    ASSERT_GE(kernel.add_i2c_adapter("again", 0, board.soc_i2c()), 0);
    EXPECT_TRUE(has(take_log(), "microIR version is 1\n"));
    EXPECT_EQ((std::vector<Ev>{key(now(), KEY_1, 0), key(now(), KEY_2, 1)}), take_events());
    EXPECT_EQ(0, ioctl_byte(7, &version));
    EXPECT_EQ(1, version);
}

// ---- The event device ----

TEST_F(Irkbd, EventDeviceHandsOutRecordsForTheReadersAbi)
{
    load();
    auto& box = spawn("box", kplat::Abi::ilp32);
    auto& host = spawn("host", kplat::Abi::lp64);
    int bfd = box.open(13, 64, 2 | 04000 /* O_NONBLOCK */), hfd = host.open(13, 64);
    ASSERT_GE(bfd, 0);
    ASSERT_GE(hfd, 0);
    EXPECT_EQ(-19, host.open(13, 65));  // no second device
    unsigned char buf[64];
    EXPECT_EQ(-11, box.read(bfd, reinterpret_cast<unsigned long>(buf), sizeof buf));

    micro().press_remote(RC_1);
    auto logged = kplat::input_events(kernel);
    ASSERT_EQ(1u, logged.size());

    std::memset(buf, 0, sizeof buf);
    ASSERT_EQ(16, box.read(bfd, reinterpret_cast<unsigned long>(buf), sizeof buf));
    int32_t sec, usec, value;
    uint16_t type, code;
    std::memcpy(&sec, buf, 4);
    std::memcpy(&usec, buf + 4, 4);
    std::memcpy(&type, buf + 8, 2);
    std::memcpy(&code, buf + 10, 2);
    std::memcpy(&value, buf + 12, 4);
    EXPECT_EQ(logged[0].sec, sec);
    EXPECT_EQ(logged[0].usec, usec);
    EXPECT_EQ(EV_KEY, type);
    EXPECT_EQ(KEY_1, code);
    EXPECT_EQ(1, value);

    ASSERT_EQ(24, host.read(hfd, reinterpret_cast<unsigned long>(buf), sizeof buf));
    int64_t lsec;
    std::memcpy(&lsec, buf, 8);
    std::memcpy(&code, buf + 18, 2);
    EXPECT_EQ(logged[0].sec, lsec);
    EXPECT_EQ(KEY_1, code);

    ASSERT_EQ(0, box.close(bfd));
    ASSERT_EQ(0, proc.close(fd_));
    ASSERT_EQ(0, rmmod("irkbd"));
    // The key's release on the way out, then the end of the device.
    ASSERT_EQ(24, host.read(hfd, reinterpret_cast<unsigned long>(buf), sizeof buf));
    std::memcpy(&value, buf + 20, 4);
    EXPECT_EQ(0, value);
    EXPECT_EQ(-19, host.read(hfd, reinterpret_cast<unsigned long>(buf), sizeof buf));
}

// The event device's requests as each caller numbers them: a program of
// the box with the MIPS kernel's direction bits, a host program with the
// host's; bitmaps in the caller's longs.
TEST_F(Irkbd, EventDeviceIoctlsInEachCallersNumbering)
{
    load();
    auto& box = spawn("box", kplat::Abi::ilp32);
    auto& host = spawn("host", kplat::Abi::lp64);
    int bfd = box.open(13, 64), hfd = host.open(13, 64);
    ASSERT_GE(bfd, 0);
    ASSERT_GE(hfd, 0);
    auto mips = [](unsigned dir, unsigned size, unsigned nr) { return dir << 29 | size << 16 | 'E' << 8 | nr; };
    auto generic = [](unsigned dir, unsigned size, unsigned nr) { return dir << 30 | size << 16 | 'E' << 8 | nr; };
    auto at = [](const void* p) { return reinterpret_cast<unsigned long>(p); };
    int version = 0;
    EXPECT_EQ(0, box.ioctl(bfd, mips(2, 4, 0x01), at(&version)));
    EXPECT_EQ(0x010000, version);
    EXPECT_EQ(-22, box.ioctl(bfd, generic(2, 4, 0x01), at(&version)));  // a write request to the box's kernel
    EXPECT_EQ(0, host.ioctl(hfd, generic(2, 4, 0x01), at(&version)));

    char name[64];
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(18, box.ioctl(bfd, mips(2, sizeof name, 0x06), at(name)));
    EXPECT_STREQ("IR-Remote Control", name);
    std::memset(name, 'x', sizeof name);
    EXPECT_EQ(4, host.ioctl(hfd, generic(2, 4, 0x06), at(name)));  // cut to the buffer, no NUL
    EXPECT_EQ("IR-Rx", std::string(name, 5));

    unsigned char bits[16];
    std::memset(bits, 0xee, sizeof bits);
    EXPECT_EQ(4, box.ioctl(bfd, mips(2, sizeof bits, 0x20), at(bits)));  // EV_MAX in one 32-bit long
    EXPECT_EQ(8, host.ioctl(hfd, generic(2, sizeof bits, 0x20), at(bits)));
    uint32_t types;
    std::memcpy(&types, bits, 4);
    EXPECT_EQ(1u << EV_KEY | 1u << EV_REL, types & (1u << EV_KEY | 1u << EV_REL));
    EXPECT_EQ(0xeeu, bits[8]);
    EXPECT_EQ(-22, box.ioctl(bfd, mips(2, sizeof bits, 0x20 + 0x05), at(bits)));  // no such type in 2.4

    int rep[2] = {300, 40}, got[2] = {0, 0};
    EXPECT_EQ(0, box.ioctl(bfd, mips(4, 8, 0x03), at(rep)));
    EXPECT_EQ(0, host.ioctl(hfd, generic(2, 8, 0x03), at(got)));
    EXPECT_EQ(300, got[0]);
    EXPECT_EQ(40, got[1]);
    int keycode[2] = {2, 0};
    EXPECT_EQ(-22, box.ioctl(bfd, mips(2, 8, 0x04), at(keycode)));  // irkbd gives the core no keycode table
    EXPECT_EQ(-14, box.ioctl(bfd, mips(2, 4, 0x01), 16));

    micro().press_remote(RC_1);
    unsigned char keys[64] = {};
    EXPECT_EQ(64, host.ioctl(hfd, generic(2, sizeof keys, 0x18), at(keys)));
    EXPECT_TRUE(keys[KEY_1 / 8] & (1u << KEY_1 % 8));

    ASSERT_EQ(0, proc.close(fd_));
    ASSERT_EQ(0, rmmod("irkbd"));
    EXPECT_EQ(-19, box.ioctl(bfd, mips(2, 4, 0x01), at(&version)));
}

// ---- Unloading ----

TEST_F(Irkbd, UnloadReleasesWhatIsHeldBeforeTheDeviceGoes)
{
    load("debug=1");
    unsigned long t = now();
    ASSERT_TRUE(micro().press_keys({KB_A, KB_LSHIFT}));
    ASSERT_TRUE(micro().move_mouse(0, 0, 1));
    take_events();
    take_log();
    ASSERT_EQ(0, proc.close(fd_));
    size_t transfers = micro().transfers().size();

    ASSERT_EQ(0, rmmod("irkbd"));
    EXPECT_EQ((std::vector<Ev>{key(t, KEY_A, 0), key(t, KEY_LEFTSHIFT, 0), key(t, BTN_LEFT, 0)}), take_events());
    EXPECT_EQ(transfers, micro().transfers().size());
    EXPECT_EQ("!!!!!!!!!!!!!EXITING!!!!!!!!!!!!!\n"
              "Detaching client.......................\n"
              "v-ir: detach ok \n"
              "In module exit!!!!!!!!\n"
              "atomic set DONE!!!\n"
              "Attenzione: synthetic modifier 42 0\n"
              "release all DONE!!!\n"
              "disable and free irq DONE!!!\n"
              "button_dev unregistered DONE!!!\n"
              "error_dev is 0\n"
              "unregistered chrdev DONE!!!\n"
              "killed?\n"
              "retval1=0\n"
              "wait_for_completion\n",
              take_log());
    EXPECT_TRUE(kernel.chrdevs().empty());
    EXPECT_TRUE(kernel.interrupts().empty());
    EXPECT_EQ(0, kernel.bus_handles());

    micro().press_remote(RC_1);  // nobody listens, nothing breaks
    EXPECT_TRUE(take_events().empty());
}

}  // namespace
