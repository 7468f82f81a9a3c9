// irkbd on the virtual board: frames from the front-panel micro-controller
// in, input events with their ticks out; the control device (char 201, 0)
// driven as a process would.
#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "board/micro.h"
#include "bench/driver_test.h"
#include "kplat/input.h"

namespace {

constexpr uint16_t EV_KEY = 1, EV_REL = 2;
constexpr uint16_t KEY_1 = 2, KEY_2 = 3, KEY_A = 30, KEY_LEFTCTRL = 29, KEY_LEFTSHIFT = 42, KEY_POWER = 116;
constexpr uint16_t KEY_LEFTALT = 56, KEY_RIGHTALT = 100;
constexpr uint16_t BTN_LEFT = 0x110, BTN_RIGHT = 0x111, BTN_MIDDLE = 0x112;
constexpr uint16_t QUANDOR_POWER = 229;
constexpr uint16_t REL_X = 0, REL_Y = 1;
constexpr unsigned IR_MAJOR = 201;

// Scancodes (see irkbd_keymaps.h).
constexpr uint8_t RC_1 = 2, RC_2 = 5, RC_POWER = 22;            // remote, normal
constexpr uint8_t RCR_1 = 1, RCR_QPOWER = 17, RCR_POWER = 161;  // remote, reversed
constexpr uint8_t KB_A = 4, KB_LCTRL = 224, KB_LSHIFT = 225, KB_LALT = 226, KB_RALT = 230, KB_QPOWER = 41;
constexpr uint8_t KBR_A = 128, KBR_LSHIFT = 30, KBR_POWER = 41;  // keyboard, reversed
constexpr uint8_t FP_1 = 1, FP_POWER = 5;

struct Ev {
    unsigned long t;
    uint16_t type, code;
    int32_t value;
    bool operator==(const Ev& o) const { return t == o.t && type == o.type && code == o.code && value == o.value; }
};

std::ostream& operator<<(std::ostream& os, const Ev& e) {
    return os << "{" << e.t << ", " << e.type << ", " << e.code << ", " << e.value << "}";
}

Ev key(unsigned long t, uint16_t code, int32_t value) { return {t, EV_KEY, code, value}; }
Ev rel(unsigned long t, uint16_t code, int32_t value) { return {t, EV_REL, code, value}; }

bool has(const std::string& log, const std::string& text) { return log.find(text) != std::string::npos; }

class Irkbd : public bench::DriverTest {
protected:
    explicit Irkbd(board::BoardConfig config = {}) : DriverTest(config) {}

    board::Micro& micro() { return board.model<board::Micro>(); }

    void load(const std::string& args = "") {
        ASSERT_EQ(0, insmod("irkbd", args)) << kernel.last_error() << "\n" << kernel.log();
        fd_ = open(IR_MAJOR);
        ASSERT_GE(fd_, 0);
        take_log();
        kplat::clear_input_events(kernel);
        board.bus().clear_history();
        board.model<board::ActivityLed>().clear_history();
    }

    // The events since the last look, with their ticks.
    std::vector<Ev> take_events() {
        std::vector<Ev> out;
        for (const auto& e : kplat::input_events(kernel)) out.push_back({e.jiffies, e.type, e.code, e.value});
        kplat::clear_input_events(kernel);
        return out;
    }

    unsigned long now() { return kernel.jiffies(); }
    void wait(unsigned long ticks) { kernel.advance(ticks); }

    long ioctl_byte(unsigned cmd, uint8_t* byte) { return proc.ioctl(fd_, cmd, reinterpret_cast<unsigned long>(byte)); }

    int fd_ = -1;
};

// ---- Loading ----

TEST_F(Irkbd, StartUpProgramsTheInterruptPathAndAttachesToTheMicro) {
    board.gpio().drive(27, true);  // the USB over-current line, normal
    ASSERT_EQ(0, insmod("irkbd")) << kernel.last_error();
    EXPECT_GE(now(), 250u);  // the start-up wait
    EXPECT_EQ(
        "Using adapter=SMP8634 I2C HW Master\n"
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
    EXPECT_FALSE(board.model<board::ActivityLed>().lit());

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

TEST_F(Irkbd, VersionQueryRepeatsWhileTheAnswerIsThreeOrMore) {
    micro().script_versions({7, 200});
    ASSERT_EQ(0, insmod("irkbd"));
    EXPECT_TRUE(has(kernel.log(), "microIR version is 7\nmicroIR version is 200\nmicroIR version is 2\n"));
    EXPECT_EQ(3u, micro().version_queries());
}

// IRQ 22 and major 201 held by other drivers: irkbd loads without them and
// leaves them to their holders.
TEST_F(Irkbd, TakenIrqAndMajorAreLeftToTheirHolders) {
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
    IrkbdNoMicro() : Irkbd(board::BoardConfig::without(board::Micro::model_name)) {}
};

TEST_F(IrkbdNoMicro, FailedLoadUndoesEverythingAndASecondLoadWorks) {
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

TEST_F(Irkbd, HeldKeyIsOnePressReleasedReleaseTimeAfterTheLastInterrupt) {
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

TEST_F(Irkbd, AnotherKeyReleasesTheHeldOneFirst) {
    load("release_time=40");
    unsigned long t0 = now();
    micro().press_remote(RC_1);
    wait(10);
    micro().press_remote(RC_2);
    wait(100);
    EXPECT_EQ(
        (std::vector<Ev>{key(t0, KEY_1, 1), key(t0 + 10, KEY_1, 0), key(t0 + 10, KEY_2, 1), key(t0 + 50, KEY_2, 0)}),
        take_events());
}

TEST_F(Irkbd, FramesQueuedTogetherAreAllReadAtOnce) {
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

TEST_F(Irkbd, KeyboardChordsSendTheirModifiersInTableOrder) {
    load("release_time=20");
    unsigned long t = now();
    // Two codes: the shift is the second, or the first.
    ASSERT_TRUE(micro().press_keys({KB_A, KB_LSHIFT}));
    wait(30);
    ASSERT_TRUE(micro().press_keys({KB_LSHIFT, KB_A}));
    wait(30);
    // Three codes: control before shift, left alt before right alt,
    // whatever the frame's order.
    ASSERT_TRUE(micro().press_keys({KB_A, KB_LSHIFT, KB_LCTRL}));
    wait(30);
    ASSERT_TRUE(micro().press_keys({KB_A, KB_RALT, KB_LALT}));
    wait(30);
    EXPECT_EQ((std::vector<Ev>{key(t, KEY_LEFTSHIFT, 1),      key(t, KEY_A, 1),
                               key(t + 20, KEY_A, 0),         key(t + 20, KEY_LEFTSHIFT, 0),
                               key(t + 30, KEY_LEFTSHIFT, 1), key(t + 30, KEY_A, 1),
                               key(t + 50, KEY_A, 0),         key(t + 50, KEY_LEFTSHIFT, 0),
                               key(t + 60, KEY_LEFTCTRL, 1),  key(t + 60, KEY_LEFTSHIFT, 1),
                               key(t + 60, KEY_A, 1),         key(t + 80, KEY_A, 0),
                               key(t + 80, KEY_LEFTCTRL, 0),  key(t + 80, KEY_LEFTSHIFT, 0),
                               key(t + 90, KEY_LEFTALT, 1),   key(t + 90, KEY_RIGHTALT, 1),
                               key(t + 90, KEY_A, 1),         key(t + 110, KEY_A, 0),
                               key(t + 110, KEY_LEFTALT, 0),  key(t + 110, KEY_RIGHTALT, 0)}),
              take_events());
}

TEST_F(Irkbd, RealModifierIsHeld250TicksWhateverTheReleaseTime) {
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

TEST_F(Irkbd, CoreRepeatsAHeldKeyAtRepeatDelayAndRate) {
    load("repeat_delay=30 repeat_rate=10 release_time=95");
    unsigned long t = now();
    micro().press_remote(RC_1);
    wait(200);
    std::vector<Ev> expect{key(t, KEY_1, 1)};
    for (unsigned long r = 30; r < 95; r += 10) expect.push_back(key(t + r, KEY_1, 2));
    expect.push_back(key(t + 95, KEY_1, 0));
    EXPECT_EQ(expect, take_events());
}

// ---- Keymaps ----

struct Keymap {
    const char* name;
    uint8_t version;
    board::Micro::Layout layout;
    enum { remote, panel, keyboard } source;
    unsigned size;
    std::vector<std::pair<uint8_t, uint8_t>> mapped;  // scancode, key code
};

const Keymap keymaps[] = {
    {"keymapVelamorRemoteC_prov",
     0,
     board::Micro::Layout::normal,
     Keymap::remote,
     256,
     {{178, 234}, {181, 233}, {182, 230}, {185, 232}, {186, 231}, {190, 254}, {193, 253}, {194, 252}, {197, 251},
      {198, 167}, {201, 128}, {202, 255}, {205, 245}, {206, 164}, {209, 168}, {210, 238}, {214, 237}, {218, 240},
      {221, 239}, {222, 249}, {225, 250}, {226, 248}, {229, 247}, {230, 246}, {233, 229}, {234, 11},  {237, 10},
      {238, 9},   {241, 8},   {242, 7},   {245, 6},   {246, 5},   {249, 4},   {250, 3},   {253, 2}}},
    {"keymapVelamorRemoteCR7",
     2,
     board::Micro::Layout::normal,
     Keymap::remote,
     128,
     {{2, 2},    {5, 3},    {6, 4},    {9, 5},    {10, 6},   {13, 7},   {14, 8},   {17, 9},   {18, 10},  {21, 11},
      {22, 229}, {25, 246}, {26, 247}, {29, 248}, {30, 250}, {33, 249}, {34, 239}, {37, 240}, {38, 115}, {41, 237},
      {42, 114}, {45, 238}, {46, 168}, {49, 164}, {50, 245}, {53, 255}, {54, 128}, {57, 167}, {58, 251}, {61, 252},
      {62, 253}, {65, 254}, {69, 231}, {70, 232}, {73, 230}, {74, 233}, {77, 234}, {78, 113}}},
    {"keymapVelamorRemoteCR7_reversed",
     1,
     board::Micro::Layout::reversed,
     Keymap::remote,
     256,
     {{1, 2},   {10, 88},   {17, 229},  {18, 106},  {33, 10},   {34, 9},    {49, 159},  {50, 224},  {65, 6},
      {66, 5},  {73, 139},  {74, 221},  {82, 104},  {97, 108},  {98, 103},  {113, 67},  {114, 232}, {129, 4},
      {130, 3}, {137, 150}, {138, 233}, {146, 237}, {161, 116}, {162, 11},  {177, 223}, {178, 1},   {193, 8},
      {194, 7}, {202, 138}, {209, 168}, {210, 109}, {225, 28},  {226, 105}, {241, 87},  {242, 68}}},
    {"keymapFrontpanelR7",
     2,
     board::Micro::Layout::normal,
     Keymap::panel,
     8,
     {{1, 246}, {2, 247}, {3, 248}, {4, 249}, {5, 116}, {6, 255}, {7, 250}}},
    {"keymapvelamorKeyboardR7",
     2,
     board::Micro::Layout::normal,
     Keymap::keyboard,
     256,
     {{4, 30},   {5, 48},   {6, 46},   {7, 32},   {8, 18},   {9, 33},   {10, 34},  {11, 35},   {12, 23},  {13, 36},
      {14, 37},  {15, 38},  {16, 50},  {17, 49},  {18, 24},  {19, 25},  {20, 16},  {21, 19},   {22, 31},  {23, 20},
      {24, 22},  {25, 47},  {26, 17},  {27, 45},  {28, 21},  {29, 44},  {30, 2},   {31, 3},    {32, 4},   {33, 5},
      {34, 6},   {35, 7},   {36, 8},   {37, 9},   {38, 10},  {39, 11},  {40, 28},  {41, 229},  {42, 14},  {43, 15},
      {44, 57},  {46, 190}, {51, 191}, {52, 192}, {54, 51},  {55, 52},  {56, 12},  {57, 235},  {58, 233}, {59, 231},
      {60, 230}, {61, 232}, {62, 234}, {70, 243}, {71, 236}, {72, 244}, {73, 242}, {76, 241},  {83, 150}, {89, 173},
      {90, 108}, {91, 174}, {92, 105}, {94, 106}, {95, 158}, {96, 103}, {97, 159}, {101, 113}, {224, 29}, {225, 42},
      {226, 56}, {227, 1},  {230, 100}}},
    {"keymapvelamorKeyboardR7_reversed",
     1,
     board::Micro::Layout::reversed,
     Keymap::keyboard,
     256,
     {{16, 4},    {17, 6},    {18, 5},    {19, 7},    {24, 103},  {26, 226},  {28, 29},   {29, 56},   {30, 42},
      {31, 1},    {32, 50},   {33, 24},   {34, 49},   {35, 25},   {41, 116},  {43, 150},  {45, 119},  {51, 86},
      {62, 138},  {64, 18},   {65, 34},   {66, 33},   {67, 35},   {68, 63},   {72, 88},   {74, 68},   {75, 13},
      {77, 102},  {78, 43},   {80, 28},   {81, 14},   {82, 60},   {83, 15},   {84, 62},   {85, 34},   {86, 35},
      {88, 231},  {93, 104},  {96, 22},   {97, 17},   {98, 47},   {99, 45},   {105, 108}, {106, 230}, {107, 128},
      {112, 12},  {113, 139}, {114, 234}, {115, 233}, {116, 69},  {124, 99},  {125, 70},  {128, 30},  {129, 46},
      {130, 48},  {131, 32},  {137, 87},  {139, 235}, {144, 8},   {145, 10},  {146, 9},   {147, 11},  {154, 113},
      {157, 100}, {160, 16},  {161, 31},  {162, 19},  {163, 20},  {176, 40},  {177, 51},  {179, 52},  {192, 23},
      {193, 37},  {194, 36},  {195, 38},  {200, 67},  {208, 57},  {209, 13},  {224, 21},  {225, 2},   {226, 44},
      {227, 3},   {232, 105}, {233, 106}, {235, 158}, {240, 221}, {241, 138}, {242, 236}}},
};

// Every scancode of every table, sent as the micro-controller sends it:
// one press of the mapped key, nothing for the others (also past the end
// of a table shorter than a scancode's range).
TEST_F(Irkbd, EveryScancodeOfEveryKeymap) {
    for (const Keymap& map : keymaps) {
        SCOPED_TRACE(map.name);
        micro().set_version(map.version);
        micro().set_layout(map.layout);
        load("release_time=1");
        std::vector<uint8_t> want(256, 0);
        for (auto [scancode, keycode] : map.mapped) want[scancode] = keycode;
        unsigned sent = map.source == Keymap::panel ? map.size + 8 : 256;
        for (unsigned sc = 0; sc < sent; ++sc) {
            bool ok = map.source == Keymap::remote  ? micro().press_remote(static_cast<uint8_t>(sc))
                      : map.source == Keymap::panel ? micro().press_panel(static_cast<uint8_t>(sc))
                                                    : micro().press_keys({static_cast<uint8_t>(sc)});
            ASSERT_TRUE(ok) << sc;
            auto events = take_events();
            if (sc < map.size && want[sc])
                EXPECT_EQ(std::vector<Ev>{key(now(), want[sc], 1)}, events) << "scancode " << sc;
            else EXPECT_TRUE(events.empty()) << "scancode " << sc << " gives " << events.front();
            wait(251);  // a real modifier stays down 250 ticks
            take_events();
        }
        ASSERT_EQ(0, proc.close(fd_));
        ASSERT_EQ(0, rmmod("irkbd"));
    }
}

// ---- Mouse ----

TEST_F(Irkbd, MouseMotionIsDoubledAndButtonsReleaseThemselves) {
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
TEST_P(IrkbdStandby, OnlyThePowerKeyPasses) {
    const StandbyCase& c = GetParam();
    micro().set_version(c.version);
    micro().set_layout(c.layout);
    load();
    EXPECT_EQ(0, proc.ioctl(fd_, 1, 1));
    EXPECT_TRUE(board.model<board::ActivityLed>().lit());
    uint8_t state = 0;
    EXPECT_EQ(0, ioctl_byte(0, &state));
    EXPECT_EQ(1, state);
    board.model<board::ActivityLed>().clear_history();

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
    EXPECT_TRUE(board.model<board::ActivityLed>().lit());
    EXPECT_TRUE(board.model<board::ActivityLed>().history().empty());

    EXPECT_EQ(0, proc.ioctl(fd_, 1, 0));
    EXPECT_FALSE(board.model<board::ActivityLed>().lit());
    board.bus().clear_history();
    EXPECT_EQ(0, proc.ioctl(fd_, 1, 0));  // outside stand-by: nothing
    EXPECT_TRUE(board.bus().writes_to(0x10504).empty());
}

INSTANTIATE_TEST_SUITE_P(Sources, IrkbdStandby,
                         ::testing::Values(StandbyCase{2, board::Micro::Layout::normal, RC_1, RC_POWER, QUANDOR_POWER},
                                           StandbyCase{1, board::Micro::Layout::reversed, RCR_QPOWER, RCR_POWER,
                                                       KEY_POWER},
                                           StandbyCase{0, board::Micro::Layout::normal, 253, 233, QUANDOR_POWER}));

// ---- Frame layouts and versions ----

TEST_F(Irkbd, LayoutIsChosenDuringTheFirstFourReads) {
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
    for (const Ev& e : take_events()) EXPECT_NE(KEY_2, e.code);
}

TEST_F(Irkbd, EmptyReadsFirstThenTheFirstFrameChoosesTheParser) {
    micro().set_layout(board::Micro::Layout::reversed);
    load();
    for (int i = 0; i < 4; ++i) micro().pulse();
    EXPECT_EQ(4u, micro().empty_reads());
    EXPECT_TRUE(take_events().empty());
    micro().press_remote(RCR_1);
    EXPECT_EQ(std::vector<Ev>{key(now(), KEY_1, 1)}, take_events());
}

TEST_F(Irkbd, ReversedKeyboardChord) {
    micro().set_layout(board::Micro::Layout::reversed);
    load("release_time=20");
    unsigned long t = now();
    ASSERT_TRUE(micro().press_keys({KBR_A, KBR_LSHIFT}));
    wait(20);
    EXPECT_EQ((std::vector<Ev>{key(t, KEY_LEFTSHIFT, 1), key(t, KEY_A, 1), key(t + 20, KEY_A, 0),
                               key(t + 20, KEY_LEFTSHIFT, 0)}),
              take_events());
}

TEST_F(Irkbd, VersionZeroReadsOneByteScancodes) {
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

TEST_F(Irkbd, FailedReadIsNothingNotThePreviousFrame) {
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

TEST_F(Irkbd, LedBlinksFor55TicksWithA55TickGap) {
    load("release_time=5");
    unsigned long t = now();
    micro().press_remote(RC_1);
    wait(60);
    micro().press_remote(RC_1);  // 5 ticks after the blink: too soon
    wait(50);
    micro().press_remote(RC_1);  // 55 ticks after it
    wait(100);
    micro().press_panel(FP_1);  // the front panel does not blink
    wait(100);
    using C = board::ActivityLed::Change;
    EXPECT_EQ((std::vector<C>{{t, true}, {t + 55, false}, {t + 110, true}, {t + 165, false}}),
              board.model<board::ActivityLed>().history());
}

// ---- Control device ----

TEST_F(Irkbd, ControlDeviceIoctls) {
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

    // A micro-controller still starting (3 and more) is asked again, 10
    // ticks apart, up to 10 times; then EIO, and the byte is left alone.
    micro().script_versions({3, 200});
    unsigned long t = now();
    EXPECT_EQ(0, ioctl_byte(7, &version));
    EXPECT_EQ(2, version);
    EXPECT_EQ(t + 20, now());
    EXPECT_EQ("microIR version is 3\nmicroIR version is 200\nmicroIR version is 2\n", take_log());
    micro().script_versions(std::vector<uint8_t>(10, 3));
    version = 0xee;
    EXPECT_EQ(-5, ioctl_byte(7, &version));
    EXPECT_EQ(0xee, version);
    EXPECT_TRUE(has(take_log(), "microIR version is 3\n<3>v-ir: no valid microIR version after 10 queries\n"));
    EXPECT_EQ(queries + 1 + 3 + 10, micro().version_queries());

    // 8 sets the reboot timeout; an unreadable pointer sends nothing.
    uint8_t seconds = 30;
    EXPECT_EQ(0, ioctl_byte(8, &seconds));
    EXPECT_EQ("reboot timeout is set to 30 sec\n", take_log());
    EXPECT_EQ(-14, proc.ioctl(fd_, 8, 0));
    EXPECT_EQ(std::vector<uint8_t>{30}, micro().reboot_timeouts());
    EXPECT_EQ((std::vector<uint8_t>{0x02, 30}), micro().writes().back());

    // Not acknowledged: EIO from both.
    micro().set_acknowledge(false);
    EXPECT_EQ(-5, ioctl_byte(7, &version));
    EXPECT_EQ(-5, ioctl_byte(8, &seconds));
    micro().set_acknowledge(true);
    take_log();

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

TEST_F(Irkbd, EventDeviceHandsOutRecordsForTheReadersAbi) {
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
TEST_F(Irkbd, EventDeviceIoctlsInEachCallersNumbering) {
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

TEST_F(Irkbd, UnloadReleasesWhatIsHeldBeforeTheDeviceGoes) {
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
    EXPECT_EQ(
        "!!!!!!!!!!!!!EXITING!!!!!!!!!!!!!\n"
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
