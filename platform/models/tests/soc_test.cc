// The SoC on the virtual board: its bus, the GPIO banks, and the path from
// a pin to a CPU interrupt, from the board's side and as a driver reaches
// them (the test module soctest).
#include <cerrno>
#include <string>
#include <vector>

#include "bench/driver_test.h"
#include "board/vcd.h"
#include "modules/soctest.h"

namespace {

using board::BusEvent;
using board::Gpio;

class Soc : public bench::DriverTest {
protected:
    board::SocBus& bus() { return board.bus(); }
    Gpio& gpio() { return board.gpio(); }

    void load(const std::string& args = "") {
        ASSERT_EQ(0, insmod("soctest", args)) << kernel.last_error();
        fd_ = open(SOCTEST_MAJOR);
        ASSERT_GE(fd_, 0);
    }

    uint32_t call(unsigned cmd, uint32_t addr, uint32_t value = 0) {
        soctest_reg r{addr, value};
        EXPECT_EQ(0, proc.ioctl(fd_, cmd, reinterpret_cast<unsigned long>(&r))) << cmd;
        return r.value;
    }
    uint32_t irqs() { return call(SOCTEST_IRQS, 0); }

    // A pulse on GPIO 9 from the board's side: low, then high again.
    void pulse9() {
        gpio().drive(9, false);
        gpio().drive(9, true);
    }

    int fd_ = -1;
};

// ---- GPIO banks ----

TEST_F(Soc, GpioWritesChangeOnlyTheMaskedBits) {
    bus().write32(Gpio::bank0_direction, 0x40084008);  // pins 3 and 14 outputs
    bus().write32(Gpio::bank0_data, 0x40084000);       // 14 high, 3 low
    EXPECT_TRUE(gpio().output(14));
    EXPECT_TRUE(gpio().level(14));
    EXPECT_FALSE(gpio().level(3));
    bus().write32(Gpio::bank0_data, 0x00080008);  // 3 high; 14 outside the mask
    EXPECT_TRUE(gpio().level(14));
    EXPECT_TRUE(gpio().level(3));
    bus().write32(Gpio::bank0_data, 0x40000000);  // 14 low
    // The data register reads the levels (the inputs at their pull-ups),
    // the direction register the directions.
    EXPECT_EQ(0xbfffu, bus().read32(Gpio::bank0_data));
    EXPECT_EQ(0x4008u, bus().read32(Gpio::bank0_direction));

    // The second bank: the bit of pin n is n - 16.
    bus().write32(Gpio::bank1_direction, 0x80008000);
    bus().write32(Gpio::bank1_data, 0x80000000);
    EXPECT_TRUE(gpio().output(31));
    EXPECT_FALSE(gpio().level(31));
    EXPECT_FALSE(gpio().output(15));
    EXPECT_EQ(0x7fffu, bus().read32(Gpio::bank1_data));
    EXPECT_EQ(0x8000u, bus().read32(Gpio::bank1_direction));
}

TEST_F(Soc, APinsLevelComesFromWhatDrivesIt) {
    EXPECT_EQ(Gpio::Source::pull, gpio().source(20));
    EXPECT_TRUE(gpio().level(20));
    gpio().set_pull(20, false);
    EXPECT_FALSE(gpio().level(20));
    gpio().drive(20, true);
    EXPECT_EQ(Gpio::Source::board, gpio().source(20));
    EXPECT_TRUE(gpio().level(20));

    // The SoC's latch counts once the pin is an output, and then wins.
    bus().write32(Gpio::bank1_data, 0x00100000);
    EXPECT_TRUE(gpio().level(20));
    bus().write32(Gpio::bank1_direction, 0x00100010);
    EXPECT_EQ(Gpio::Source::soc, gpio().source(20));
    EXPECT_FALSE(gpio().level(20));
    bus().write32(Gpio::bank1_direction, 0x00100000);
    EXPECT_TRUE(gpio().level(20));
    gpio().release(20);
    EXPECT_FALSE(gpio().level(20));  // the pull-down
}

TEST_F(Soc, HistoryKeepsWritesAndPinChangesWithTheirTicks) {
    kernel.advance(5);
    bus().write32(Gpio::bank0_direction, 0x40004000);  // 14 an output, latch 0: falls
    kernel.advance(3);
    bus().write32(Gpio::bank0_data, 0x40004000);
    bus().write32(Gpio::bank0_data, 0x40004000);  // no change of level
    bus().write32(0x1000, 7);                     // nobody there: kept all the same
    const std::vector<BusEvent> want = {
        {BusEvent::write, 5, 0x10500, 0x40004000}, {BusEvent::pin, 5, 14, 0},
        {BusEvent::write, 8, 0x10504, 0x40004000}, {BusEvent::pin, 8, 14, 1},
        {BusEvent::write, 8, 0x10504, 0x40004000}, {BusEvent::write, 8, 0x1000, 7},
    };
    EXPECT_EQ(want, std::vector<BusEvent>(bus().history().begin(), bus().history().end()));
    EXPECT_EQ(50000u, bus().history()[1].usecs);
    EXPECT_EQ(80000u, bus().history()[3].usecs);
    EXPECT_EQ((std::vector<bool>{false, true}), bus().pin_changes(14));
    EXPECT_EQ((std::vector<uint32_t>{0x40004000, 0x40004000}), bus().writes_to(0x10504));
    EXPECT_EQ(0u, bus().read32(0x1000));
}

// ---- The drivers' routines ----

TEST_F(Soc, DriversReachTheBusThroughTheirRoutines) {
    load("route=0");
    EXPECT_EQ(2, kernel.bus_handles());  // the access layer and the bus

    call(SOCTEST_WRITE, Gpio::bank0_direction, 0x00010001);
    call(SOCTEST_GPIO_WRITE, 0, 1);
    EXPECT_EQ(0x00010001u, bus().writes_to(Gpio::bank0_data).back());
    EXPECT_TRUE(gpio().level(0));
    EXPECT_EQ(1u, call(SOCTEST_GPIO_READ, 0));

    // On an input the latch changes, the level stays the board's.
    gpio().drive(21, false);
    call(SOCTEST_GPIO_WRITE, 21, 1);
    EXPECT_EQ(0x00200020u, bus().writes_to(Gpio::bank1_data).back());
    EXPECT_TRUE(gpio().latch(21));
    EXPECT_EQ(0u, call(SOCTEST_GPIO_READ, 21));

    // Pins outside 0-31 are left alone.
    size_t writes = bus().history().size();
    call(SOCTEST_GPIO_WRITE, 32, 1);
    call(SOCTEST_GPIO_WRITE, static_cast<uint32_t>(-1), 1);
    EXPECT_EQ(0u, call(SOCTEST_GPIO_READ, 40));
    EXPECT_EQ(writes, bus().history().size());

    EXPECT_EQ(call(SOCTEST_READ, Gpio::bank1_data), call(SOCTEST_FIXED_READ, Gpio::bank1_data));
    EXPECT_EQ(3u, call(SOCTEST_UDELAY, 0, 30000));  // 30 ms: three ticks

    ASSERT_EQ(0, proc.close(fd_));
    ASSERT_EQ(0, rmmod("soctest"));
    EXPECT_EQ(0, kernel.bus_handles());
}

TEST_F(Soc, ScriptedReadsComeBeforeTheModel) {
    // The routing register reads a value of the test's at load: the driver
    // keeps the other fields and puts GPIO 9 in field 1.
    bus().script_reads(board::SocInterrupts::gpio_routing, {0x12340056});
    load();
    EXPECT_EQ(0x12340956u, board.interrupts().routing());
    bus().script_reads(Gpio::bank0_data, {1, 2});
    EXPECT_EQ(1u, call(SOCTEST_READ, Gpio::bank0_data));
    EXPECT_EQ(2u, call(SOCTEST_READ, Gpio::bank0_data));
    EXPECT_EQ(0xffffu, call(SOCTEST_READ, Gpio::bank0_data));
}

// ---- From a pin to IRQ 22 ----

TEST_F(Soc, AnEdgeOnGpio9RaisesIrq22OnlyWhenRoutedAndEnabled) {
    load("route=0");  // IRQ 22 held, GPIO 9 not routed
    pulse9();
    EXPECT_EQ(0u, irqs());
    ASSERT_EQ(0, proc.close(fd_));
    ASSERT_EQ(0, rmmod("soctest"));

    load("edges=1");  // routed, rising edges only
    EXPECT_EQ(0x4000u, board.interrupts().rise());
    EXPECT_EQ(0u, board.interrupts().fall());
    take_log();
    gpio().drive(9, false);
    EXPECT_EQ(0u, irqs());
    gpio().drive(9, true);
    EXPECT_EQ(1u, irqs());
    EXPECT_EQ("soctest: irq 22 pending 0x4000\n", take_log());
    EXPECT_EQ(0u, board.interrupts().pending());  // acknowledged by the handler
    pulse9();
    EXPECT_EQ(2u, irqs());
    // Another source's pin does nothing.
    gpio().drive(10, false);
    gpio().drive(10, true);
    EXPECT_EQ(2u, irqs());
}

TEST_F(Soc, AnEdgeStaysPendingUntilAcknowledged) {
    load("ack=0");
    gpio().drive(9, false);  // falling edges count too (edges=3)
    EXPECT_EQ(1u, irqs());
    EXPECT_EQ(0x4000u, board.interrupts().pending());
    auto lines = kernel.interrupts();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(22u, lines[0].irq);
    EXPECT_TRUE(lines[0].asserted);
    EXPECT_EQ(1ul, lines[0].count);

    pulse9();  // not seen while pending
    EXPECT_EQ(1u, irqs());
    call(SOCTEST_WRITE, board::SocInterrupts::edge_pending, 0x4000);
    EXPECT_EQ(0u, board.interrupts().pending());
    EXPECT_FALSE(kernel.interrupts()[0].asserted);
    gpio().drive(9, false);
    EXPECT_EQ(2u, irqs());
}

TEST_F(Soc, APendingEdgeInterruptsOnceAHandlerComes) {
    // Routed and enabled before any driver holds the line.
    bus().write32(board::SocInterrupts::gpio_routing, 9 << 8);
    bus().write32(board::SocInterrupts::edge_fall_set, 0x4000);
    gpio().drive(9, false);
    EXPECT_EQ(0x4000u, board.interrupts().pending());
    load("route=0");
    EXPECT_EQ(1u, irqs());
    EXPECT_EQ(0u, board.interrupts().pending());
}

TEST_F(Soc, AClaimedInterruptLineRefusesTheDriver) {
    ASSERT_EQ(0, kernel.claim_irq(22, "other"));
    EXPECT_EQ(-EBUSY, kernel.claim_irq(22, "third"));
    load();
    EXPECT_NE(std::string::npos, take_log().find("soctest: request_irq 22: -16\n"));
    pulse9();
    EXPECT_EQ(0u, irqs());
    auto lines = kernel.interrupts();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(std::vector<std::string>{"other"}, lines[0].handlers);
    EXPECT_EQ(1ul, lines[0].count);  // the holder took it

    ASSERT_EQ(0, proc.close(fd_));
    ASSERT_EQ(0, rmmod("soctest"));
    bus().write32(board::SocInterrupts::edge_pending, 0x4000);
    EXPECT_EQ(-EINVAL, kernel.release_irq(22, "third"));
    ASSERT_EQ(0, kernel.release_irq(22, "other"));
    EXPECT_TRUE(kernel.interrupts().empty());
    EXPECT_EQ(0u, kernel.kmalloc_live());
}

// The history as a logic analyser's file: each pin a wire, its level
// before the first change kept, then the changes in microseconds.
TEST_F(Soc, PinHistoryAsAValueChangeDump) {
    bus().clear_history();
    kernel.advance(2);
    gpio().drive(5, false);
    kernel.advance(1);
    gpio().drive(5, true);
    gpio().drive(7, false);
    std::string vcd = board::pins_vcd(bus(), gpio());
    EXPECT_EQ(0u, vcd.find("$version vbox: the box's GPIO pins $end\n$timescale 1us $end\n"
                           "$scope module board $end\n$var wire 1 ! gpio0 $end\n"));
    EXPECT_NE(std::string::npos, vcd.find("$var wire 1 @ gpio31 $end\n$upscope $end\n$enddefinitions $end\n"
                                          "#19999\n$dumpvars\n"));
    // Pin 5 high (its pull-up) before it fell; pin 7 high before it fell.
    EXPECT_NE(std::string::npos, vcd.find("\n1&\n"));
    EXPECT_NE(std::string::npos, vcd.find("\n1(\n"));
    EXPECT_NE(std::string::npos, vcd.find("$end\n#20000\n0&\n#30000\n1&\n0(\n"));
    EXPECT_EQ(vcd.size() - 13, vcd.find("#30000\n1&\n0(\n"));

    // The history keeps its last events only; a pin whose changes all went
    // starts at its present level, one with changes left at the level
    // before the oldest.
    for (size_t i = 0; i < board::SocBus::history_limit + 1; ++i) gpio().drive(5, i % 2);
    EXPECT_EQ(board::SocBus::history_limit, bus().history().size());
    vcd = board::pins_vcd(bus(), gpio());
    size_t dump = vcd.find("$dumpvars\n");
    ASSERT_NE(std::string::npos, dump);
    std::string initial = vcd.substr(dump, vcd.find("$end", dump) - dump);
    EXPECT_NE(std::string::npos, initial.find("\n0(\n")) << initial;  // 7 is low now
    EXPECT_NE(std::string::npos, initial.find(bus().history().front().value ? "\n0&\n" : "\n1&\n"));
}

}  // namespace
