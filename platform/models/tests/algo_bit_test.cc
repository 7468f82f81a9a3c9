// The kernel's bit-banging algorithm with a clock sense line (the test
// module bitbus, on the tuner bus's pins): a slave holding SCL low is
// waited for, up to the driver's timeout.
#include <cerrno>
#include <vector>

#include "board/tuner.h"
#include "bench/driver_test.h"

namespace {

// The kernel's numbers (its asm/errno.h); a MIPS host's <cerrno> has others.
constexpr int kernel_ETIMEDOUT = 110;

class AlgoBit : public bench::DriverTest {
protected:
    void SetUp() override {
        ASSERT_EQ(0, insmod("bitbus")) << kernel.last_error();
        for (const auto& a : kernel.i2c_adapters())
            if (a.name == "bitbus") nr_ = a.nr;
        ASSERT_GE(nr_, 0);
    }

    int write(std::vector<uint8_t> bytes, uint16_t flags = 0) {
        kplat::I2cMsg m{board::Tu1216::address, flags, static_cast<uint16_t>(bytes.size()), bytes.data()};
        return kernel.i2c_transfer(nr_, &m, 1);
    }

    board::I2cPins& wires() { return board.model<board::TunerBus>().wires(); }
    int nr_ = -1;
};

TEST_F(AlgoBit, WaitsForAStretchedClock) {
    wires().set_stretch(500);
    uint64_t t0 = kernel.microseconds();
    EXPECT_EQ(1, write({0x0b, 0x8e}));
    EXPECT_EQ("S C0+ 0B+ 8E+ P", wires().trace());
    EXPECT_GE(kernel.microseconds() - t0, 3 * 500u);
    EXPECT_EQ(0x010000u, kernel.i2c_adapters().back().id);
}

// A clock held low before the start is waited for up to the driver's
// timeout: -ETIMEDOUT without a start, nothing reaches the tuner. A clock
// held after the address ends the transfer with -ETIMEDOUT, as on 2.4.
TEST_F(AlgoBit, HeldClockTimesOut) {
    wires().hold_scl(true);
    unsigned long start = kernel.jiffies();
    EXPECT_EQ(-kernel_ETIMEDOUT, write({0x0b}));
    EXPECT_EQ(start + 2, kernel.jiffies());
    EXPECT_EQ("", wires().trace());
    EXPECT_TRUE(board.model<board::TunerBus>().tuner().transfers().empty());
    wires().hold_scl(false);

    wires().clear_events();
    wires().set_stretch(30000);
    EXPECT_EQ(-kernel_ETIMEDOUT, write({0x0b}));
    EXPECT_EQ("S C0+ P", wires().trace());

    wires().set_stretch(0);
    EXPECT_EQ(-EINVAL, write({0x0b}, kplat::I2cMsg::ten_bit));
    EXPECT_EQ(1, write({0x0b}));
}

}  // namespace
