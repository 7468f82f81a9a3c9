// gpio on the virtual board: its start-up on the pins as register writes,
// the board variant, the "gpio" device (char 63, 0) as a process uses it,
// the exported routines as another module calls them, and the USB
// over-current watch on virtual time.
#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench/driver_test.h"
#include "gpio.h"

namespace {

using Writes = std::vector<std::pair<uint32_t, uint32_t>>;  // register, word

constexpr unsigned long period = 11000;  // ticks between checks

class Gpio : public bench::DriverTest {
protected:
    void load() {
        ASSERT_EQ(0, insmod("gpio")) << kernel.last_error();
        fd_ = open(GPIO_MAJOR);
        ASSERT_GE(fd_, 0);
        board.bus().clear_history();
        kernel.clear_log();
    }

    Writes writes() const {
        Writes out;
        for (const board::BusEvent& e : board.bus().history())
            if (e.kind == board::BusEvent::write) out.emplace_back(e.addr, e.value);
        return out;
    }

    // A routine of the loaded module, for calls as another module makes
    // them (in kernel context). Looked up in the module alone: a lookup in
    // the global scope would keep it mapped, and its globals, past rmmod.
    template <typename Fn>
    Fn* routine(const char* name) {
        void* handle = dlopen(kernel.lsmod().back().path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle) return nullptr;
        void* sym = dlsym(handle, name);
        dlclose(handle);
        return reinterpret_cast<Fn*>(sym);
    }

    long ioctl_at(unsigned cmd, void* arg) { return proc.ioctl(fd_, cmd, reinterpret_cast<unsigned long>(arg)); }

    int fd_ = -1;
};

TEST_F(Gpio, StartUpDrivesThePinsInOrder) {
    ASSERT_EQ(0, insmod("gpio")) << kernel.last_error();
    EXPECT_EQ("gpio_init\n<6>gpio registered\nBoard S0\n<6>Gpio Driver Version = 1.5\n", take_log());

    const Writes expected = {
        {0x27110, 0x80008000}, {0x2710c, 0x80008000},  // 31: 1
        {0x27110, 0x80000000}, {0x2710c, 0x80008000},  // 31: 0
        {0x27110, 0x80008000}, {0x2710c, 0x80008000},  // 31: 1
        {0x27110, 0x40004000}, {0x2710c, 0x40004000},  // 30: 1
        {0x27110, 0x40000000}, {0x2710c, 0x40004000},  // 30: 0
        {0x27110, 0x40004000}, {0x2710c, 0x40004000},  // 30: 1
        {0x10504, 0x00040000}, {0x10500, 0x00040004},  // 2: 0
        {0x10504, 0x00080000}, {0x10500, 0x00080008},  // 3: 0
        {0x27110, 0x00080000}, {0x2710c, 0x00080008},  // 19: 0
        {0x10504, 0x20000000}, {0x10500, 0x20002000},  // 13: 0
        {0x10504, 0x80008000}, {0x10500, 0x80008000},  // 15: 1
        {0x27110, 0x10001000}, {0x2710c, 0x10001000},  // 28: 1
    };
    EXPECT_EQ(expected, writes());
    // Pin 31 was high on its pull-up: the pulse is its only change.
    EXPECT_EQ((std::vector<bool>{false, true}), board.bus().pin_changes(31));
    for (unsigned pin : {31u, 30u, 15u, 28u}) EXPECT_TRUE(board.gpio().output(pin) && board.gpio().level(pin)) << pin;
    for (unsigned pin : {2u, 3u, 19u, 13u}) EXPECT_TRUE(board.gpio().output(pin) && !board.gpio().level(pin)) << pin;
    EXPECT_FALSE(board.gpio().output(26));

    auto info = kernel.lsmod().front().info;
    for (const char* line : {"description=gpio Driver", "license=GPL", "kernel_version=2.4.30-tango2-2.7.158.1",
                             "parm_param1=i", "parm_param2=i"})
        EXPECT_NE(std::find(info.begin(), info.end(), line), info.end()) << line;
}

TEST_F(Gpio, BoardVariantFromTheStrap) {
    board.lines().set_variant(board::Variant::s1);
    ASSERT_EQ(0, insmod("gpio", "param1=7 param2=-1")) << kernel.last_error();
    EXPECT_EQ("gpio_init\n<6>gpio registered\n<6>Board S1 \n<6>Gpio Driver Version = 1.5\n", take_log());
    auto board_type = routine<int()>("get_board_type");
    ASSERT_NE(nullptr, board_type);
    EXPECT_EQ(1, proc.call([&] { return board_type(); }));
    board.lines().set_variant(board::Variant::s0);
    EXPECT_EQ(0, proc.call([&] { return board_type(); }));
}

TEST_F(Gpio, StartUpFailures) {
    ASSERT_EQ(0, kernel.hold_chrdev(GPIO_MAJOR, "other"));
    EXPECT_EQ(-ENODEV, insmod("gpio"));
    EXPECT_EQ("gpio_init\n<6>Error registering gpio device\n", take_log());
    EXPECT_TRUE(writes().empty());
    ASSERT_EQ(0, kernel.release_chrdev(GPIO_MAJOR, "other"));

    // Without the state byte the device goes again; the pins keep their
    // start-up levels and no check is armed.
    kernel.fail_kmalloc(1);
    EXPECT_EQ(-ENOMEM, insmod("gpio"));
    EXPECT_EQ(24u, writes().size());
    for (const auto& dev : kernel.chrdevs()) EXPECT_NE(GPIO_MAJOR, dev.major);
    take_log();
    kernel.advance(3 * period);
    EXPECT_EQ("", take_log());
}

TEST_F(Gpio, Commands) {
    load();
    int v = -1;
    EXPECT_EQ(0, ioctl_int(fd_, GPIO_IOCSET, 5));
    EXPECT_TRUE(board.gpio().output(5) && board.gpio().level(5));
    EXPECT_EQ(0, ioctl_int(fd_, GPIO_IOCCLEAR, 5));
    EXPECT_FALSE(board.gpio().level(5));
    EXPECT_EQ((Writes{{0x10504, 0x00200020}, {0x10500, 0x00200020}, {0x10504, 0x00200000}, {0x10500, 0x00200020}}),
              writes());

    EXPECT_EQ(0, ioctl_int(fd_, GPIO_IOCGET, 26, &v));  // the S0 strap
    EXPECT_EQ(1, v);
    board.gpio().set_pull(8, false);
    EXPECT_EQ(0, ioctl_int(fd_, GPIO_IOCGET, 8, &v));
    EXPECT_EQ(0, v);
    EXPECT_EQ(0, ioctl_int(fd_, GPIO_IOCVERSION, 12345, &v));
    EXPECT_EQ(261, v);
    EXPECT_EQ(-EINVAL, ioctl_int(fd_, 0, 5));
    EXPECT_EQ(-EINVAL, ioctl_int(fd_, 5, 5));
    EXPECT_FALSE(board.gpio().output(8));
}

TEST_F(Gpio, BadPointers) {
    load();
    long page = sysconf(_SC_PAGESIZE);
    void* none = mmap(nullptr, page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    auto* ro = static_cast<int*>(mmap(nullptr, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(MAP_FAILED, none);
    ASSERT_NE(MAP_FAILED, static_cast<void*>(ro));

    // The pin is read before the command is looked at.
    for (unsigned cmd : {1u, 2u, 3u, 4u, 99u}) {
        EXPECT_EQ(-EFAULT, ioctl_at(cmd, none)) << cmd;
        EXPECT_EQ(-EFAULT, ioctl_at(cmd, nullptr)) << cmd;
    }
    // A readable int that cannot be written back (pin 0 there).
    EXPECT_EQ(-EFAULT, ioctl_at(GPIO_IOCGET, ro));
    EXPECT_EQ(-EFAULT, ioctl_at(GPIO_IOCVERSION, ro));
    EXPECT_EQ(0, ioctl_at(GPIO_IOCCLEAR, ro));
    munmap(none, page);
    munmap(ro, page);
}

// Pin 33 would put its value bit into the mask half of bank 2's word and
// drive pin 17, a USB over-current input, high; -1 would shift by -1.
TEST_F(Gpio, PinsOutsideTheBanksAreRefused) {
    load();
    for (int pin : {33, -1, 32, 48, -17, 0x7fffffff})
        for (unsigned cmd : {GPIO_IOCSET, GPIO_IOCCLEAR, GPIO_IOCGET})
            EXPECT_EQ(-EINVAL, ioctl_int(fd_, cmd, pin)) << pin << " " << cmd;

    auto write = routine<void(int, int)>("GPIO_write");
    auto read = routine<int(int)>("GPIO_read");
    auto direction = routine<void(int, int)>("em86xx_gpio_setdirection");
    ASSERT_TRUE(write && read && direction);
    proc.call([&] {
        write(33, 0);
        write(-1, 1);
        direction(40, 1);
        EXPECT_EQ(0, read(-1));
        EXPECT_EQ(0, read(58));  // bit 10 of bank 2: the strap, which is high
        return 0L;
    });
    EXPECT_TRUE(writes().empty());
    for (unsigned pin : {17u, 1u}) EXPECT_FALSE(board.gpio().output(pin)) << pin;
}

// 3 → 1 → 3 → 2: the second change to an abnormal state brings the ports
// back; an abnormal state that stays is not counted again.
TEST_F(Gpio, OverCurrentRecovery) {
    load();
    auto& lines = board.lines();
    const char* wrong = "gpio_event_task: something wrong on us ports (reg->state = 0x%x) \n";
    auto line = [](const char* fmt, int v) {
        char buf[128];
        std::snprintf(buf, sizeof buf, fmt, v);
        return std::string(buf);
    };
    auto changed = [&](int v) {
        return line("gpio_event_task: reg->state = 0x%x \n", v) + (v == 3 ? "" : line(wrong, v));
    };

    kernel.advance(period);  // all well: the first check says nothing
    EXPECT_EQ("", take_log());

    lines.set_overcurrent(1, true);  // pin 17 low: state 1
    kernel.advance(period - 1);
    EXPECT_EQ("", take_log());
    kernel.advance(1);
    EXPECT_EQ(changed(1), take_log());
    kernel.advance(3 * period);  // still 1: not counted again
    EXPECT_EQ("", take_log());

    lines.set_overcurrent(1, false);
    kernel.advance(period);
    EXPECT_EQ(changed(3), take_log());
    EXPECT_TRUE(writes().empty());

    lines.set_overcurrent(0, true);  // pin 27 low: state 2
    kernel.advance(period);
    EXPECT_EQ(changed(2) + "gpio_event_task: Enable Usb ports after overcurrent detected \n", take_log());
    EXPECT_EQ((Writes{{0x10504, 0x00040000}, {0x10500, 0x00040004}, {0x10504, 0x00080000}, {0x10500, 0x00080008}}),
              writes());
    EXPECT_EQ(7 * period, board.bus().history().back().jiffies);

    // The count started again: one more abnormal change does nothing.
    board.bus().clear_history();
    lines.set_overcurrent(0, false);
    lines.set_overcurrent(1, true);
    kernel.advance(period);
    EXPECT_EQ(changed(1), take_log());
    EXPECT_TRUE(writes().empty());
}

// The timer falling due in the middle of the unload, at each of its calls
// into the kernel in turn (as the box's timer interrupt may): a check it
// queues runs before the state goes, and nothing of the module is left
// queued or armed to run afterwards.
TEST_F(Gpio, UnloadStopsTheWatch) {
    for (unsigned long call = 1; call <= 5; ++call) {
        load();
        proc.close(fd_);
        board.lines().set_overcurrent(0, true);
        kernel.advance(period - 1);  // the check falls due at the next tick
        kernel.tick_at_call(call);
        ASSERT_EQ(0, rmmod("gpio")) << kernel.last_error();
        kernel.tick_at_call(0);
        std::string log = take_log();
        EXPECT_EQ(std::string::npos, log.find("bug:")) << "tick at call " << call << ":\n" << log;
        const std::string last = "<6>gpio unregistered\n";
        EXPECT_EQ(log.size() - last.size(), log.rfind(last)) << "tick at call " << call << ":\n" << log;
        EXPECT_EQ(0u, kernel.kmalloc_live());
        kernel.advance(3 * period);
        EXPECT_EQ("", take_log()) << "tick at call " << call;
        board.lines().set_overcurrent(0, false);
    }
}

// The timer has fired and queued the check, but keventd is still busy with
// another driver's task when the module goes: the check runs before the
// state is freed, and nothing of the module runs afterwards.
TEST_F(Gpio, UnloadWithACheckQueued) {
    load();
    proc.close(fd_);
    board.lines().set_overcurrent(0, true);
    kernel.advance(period - 5);
    ASSERT_EQ(0, kernel.keventd_busy(100));
    kernel.advance(5);  // the timer fires; the check waits behind the busy task
    EXPECT_EQ("", take_log());

    ASSERT_EQ(0, rmmod("gpio")) << kernel.last_error();
    EXPECT_EQ(
        "gpio_event_task: reg->state = 0x2 \n"
        "gpio_event_task: something wrong on us ports (reg->state = 0x2) \n"
        "<6>gpio unregistered\n",
        take_log());
    EXPECT_EQ(0u, kernel.kmalloc_live());
    kernel.advance(3 * period);
    EXPECT_EQ("", take_log());
}

}  // namespace
