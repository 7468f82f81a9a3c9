// The board's I2C: the bus and its chips as the wires see them, the STV6413
// model, and the SoC's master in the kernel's I2C core; the board's models
// in their places.
#include <cerrno>
#include <vector>

#include <gtest/gtest.h>

#include "board/board.h"
#include "board/loopback.h"
#include "board/micro.h"
#include "board/smartcard.h"
#include "board/stv6413.h"
#include "board/tuner.h"

namespace {

// A chip that takes every byte and answers reads with a count.
class Echo : public board::I2cDevice {
protected:
    bool on_write(uint8_t, size_t) override { return true; }
    uint8_t on_read(size_t index) override { return static_cast<uint8_t>(0x10 + index); }
};

using Bytes = std::vector<uint8_t>;

TEST(I2cBus, RecordsMessagesPerTransfer) {
    board::I2cBus bus;
    Echo a, b;
    bus.attach(0x10, a);
    bus.attach(0x11, b);

    EXPECT_TRUE(bus.start(0x10, false));
    EXPECT_TRUE(bus.write(0x01));
    EXPECT_TRUE(bus.start(0x10, true));  // repeated start
    EXPECT_EQ(0x10, bus.read(true));
    EXPECT_EQ(0x11, bus.read(false));
    bus.stop();
    EXPECT_FALSE(bus.start(0x12, false));  // nobody there
    EXPECT_FALSE(bus.write(0x55));
    EXPECT_EQ(0xff, bus.read(false));
    bus.stop();

    ASSERT_EQ(1u, a.transfers().size());
    const auto& m = a.transfers()[0].messages;
    ASSERT_EQ(2u, m.size());
    EXPECT_FALSE(m[0].read);
    EXPECT_EQ(Bytes{0x01}, m[0].data);
    EXPECT_TRUE(m[1].read);
    EXPECT_EQ((Bytes{0x10, 0x11}), m[1].data);
    EXPECT_TRUE(b.transfers().empty());
    EXPECT_EQ(std::vector<Bytes>{Bytes{0x01}}, a.writes());
}

TEST(I2cBus, ChipsThatDoNotAcknowledge) {
    board::I2cBus bus;
    Echo chip;
    bus.attach(0x20, chip);
    chip.set_acknowledge(false);
    EXPECT_FALSE(bus.start(0x20, false));
    bus.stop();
    ASSERT_EQ(1u, chip.transfers().size());
    EXPECT_FALSE(chip.transfers()[0].messages[0].acked);

    chip.set_acknowledge(true);
    chip.nack_from(2);
    chip.clear_transfers();
    EXPECT_TRUE(bus.start(0x20, false));
    EXPECT_TRUE(bus.write(1));
    EXPECT_TRUE(bus.write(2));
    EXPECT_FALSE(bus.write(3));
    bus.stop();
    EXPECT_FALSE(chip.transfers()[0].messages[0].acked);
    EXPECT_EQ((Bytes{1, 2, 3}), chip.transfers()[0].messages[0].data);
}

TEST(Stv6413, WritesFromASubAddress) {
    board::I2cBus bus;
    board::Stv6413 chip;
    bus.attach(board::Stv6413::address, chip);
    auto write = [&](const Bytes& bytes) {
        bool ok = bus.start(board::Stv6413::address, false);
        for (uint8_t b : bytes) ok = ok && bus.write(b);
        bus.stop();
        return ok;
    };
    EXPECT_TRUE(write({0x00, 1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ((std::array<uint8_t, 7>{1, 2, 3, 4, 5, 6, 7}), chip.registers());
    EXPECT_TRUE(write({0x05, 0xaa, 0xbb}));
    EXPECT_EQ(0xaa, chip.reg(5));
    EXPECT_EQ(0xbb, chip.reg(6));
    EXPECT_FALSE(write({0x06, 0x01, 0x02}));  // past the last register
    EXPECT_EQ(0x01, chip.reg(6));
    EXPECT_FALSE(write({0x07}));
    chip.set_status(0x42);
    EXPECT_TRUE(bus.start(board::Stv6413::address, true));
    EXPECT_EQ(0x42, bus.read(false));
    bus.stop();
}

TEST(SocI2cMaster, TransfersAndErrors) {
    kplat::Kernel kernel;
    board::I2cBus bus;
    Echo chip;
    bus.attach(0x30, chip);
    board::SocI2cMaster master(kernel, bus);
    ASSERT_EQ(0, master.adapter_nr());
    ASSERT_EQ(1u, kernel.i2c_adapters().size());
    EXPECT_EQ("SMP8634 I2C HW Master", kernel.i2c_adapters()[0].name);

    uint8_t out[2] = {7, 8}, in[3] = {};
    kplat::I2cMsg msgs[2] = {{0x30, 0, 2, out}, {0x30, kplat::I2cMsg::read, 3, in}};
    EXPECT_EQ(2, master.transfer(msgs, 2));
    EXPECT_EQ(0x12, in[2]);
    ASSERT_EQ(1u, chip.transfers().size());
    EXPECT_EQ(2u, chip.transfers()[0].messages.size());

    kplat::I2cMsg absent = {0x31, 0, 2, out};
    EXPECT_EQ(-EREMOTEIO, master.transfer(&absent, 1));
    chip.nack_from(1);
    EXPECT_EQ(-EREMOTEIO, master.transfer(msgs, 2));
    EXPECT_EQ(1u, chip.transfers().back().messages.size());  // ended at the nack
    kplat::I2cMsg ten = {0x30, kplat::I2cMsg::ten_bit, 0, nullptr};
    EXPECT_EQ(-EINVAL, master.transfer(&ten, 1));
    kplat::I2cMsg wide = {0x80, 0, 0, nullptr};
    EXPECT_EQ(-EINVAL, master.transfer(&wide, 1));
    kplat::I2cMsg quick = {0x30, 0, 0, nullptr};
    EXPECT_EQ(1, master.transfer(&quick, 1));
}

// The models fit themselves: each sits where its placement says, before
// the SoC's adapter appears; an unfitted one is made but left off its bus.
TEST(Board, ModelsSitWhereTheyArePlacedAndGoWithTheBoard) {
    kplat::Kernel kernel;
    {
        board::Board b(kernel);
        EXPECT_EQ(&b.model<board::Stv6413>(), b.i2c().device(board::Stv6413::address));
        EXPECT_EQ(&b.model<board::Micro>(), b.i2c().device(board::Micro::address));
        EXPECT_EQ("micro-controller interrupt (a low pulse per frame)", b.gpio().name(board::Micro::irq_pin));
        EXPECT_EQ("tuner I2C SDA", b.gpio().name(board::TunerBus::sda_pin));
        EXPECT_EQ(1u, kernel.i2c_adapters().size());
    }
    EXPECT_TRUE(kernel.i2c_adapters().empty());
    board::Board bare(kernel, board::BoardConfig::without(board::Stv6413::model_name));
    EXPECT_EQ(nullptr, bare.i2c().device(board::Stv6413::address));
    EXPECT_EQ(&bare.model<board::Micro>(), bare.i2c().device(board::Micro::address));
}

// A device the host serves is served once, under the major asked for, and
// given back with the board.
TEST(Board, AServedModelIsServedOnceAndGoesWithTheBoard) {
    kplat::Kernel kernel;
    {
        board::Board b(kernel);
        EXPECT_EQ(nullptr, b.served<board::Loopback>());
        EXPECT_EQ(0, b.serve<board::Loopback>(231));
        EXPECT_EQ(&b.model<board::Loopback>(), b.served<board::Loopback>());
        EXPECT_EQ(-EBUSY, b.serve<board::Loopback>(232));
        EXPECT_EQ(-EBUSY, b.serve<board::CardReader>(231));  // the major is taken
        EXPECT_EQ(nullptr, b.served<board::CardReader>());
        ASSERT_EQ(1u, kernel.chrdevs().size());
        EXPECT_EQ("loopback", kernel.chrdevs()[0].name);
    }
    EXPECT_TRUE(kernel.chrdevs().empty());
}

// A board put together wrongly stops at its first power-up.
struct Stray : board::Stv6413 {
    static constexpr const char* model_name = "stray";
};
struct NoRegisters {
    static constexpr const char* model_name = "no registers";
};

TEST(BoardDeathTest, AMiswiredBoardStopsTheRun) {
    kplat::Kernel kernel;
    EXPECT_DEATH(board::Board(kernel, board::BoardConfig::without("nosuch")), "board: nosuch: no such model");
    board::Board b(kernel);
    EXPECT_DEATH(b.fit(std::make_unique<board::Stv6413>(), board::Placement()), "scart_switch: a second model");
    EXPECT_DEATH(b.fit(std::make_unique<NoRegisters>(), board::Placement().bus(0x7e000, 4)), "has no registers");
    EXPECT_DEATH(b.fit(std::make_unique<NoRegisters>(), board::Placement().i2c(0x50)), "not an I2C device");
    EXPECT_DEATH(b.fit(std::make_unique<Stray>(), board::Placement().pin(32, "none")), "a pin the SoC does not have");
    EXPECT_DEATH(b.model<Stray>(), "stray: no such model");
}

}  // namespace
