// The example chip and its driver on the bench: the chip is on the bus at
// its placement for the driver to find; on a board without it the driver
// finds nothing and does not load.
#include <cerrno>

#include "bench/driver_test.h"
#include "board/example.h"

namespace {

using board::ExampleChip;

class Example : public bench::DriverTest {
protected:
    explicit Example(board::BoardConfig config = {}) : DriverTest(config) {}
    ExampleChip& chip() { return board.model<ExampleChip>(); }
};

TEST_F(Example, TheDriverFindsTheChipAtItsPlaceAndEnablesItUntilUnloaded) {
    ASSERT_EQ(0, insmod("example")) << kernel.last_error();
    EXPECT_EQ("<6>example: chip enabled\n", take_log());
    EXPECT_EQ(1u, chip().control());
    EXPECT_EQ(std::vector<uint32_t>{1}, board.bus().writes_to(ExampleChip::base + 4));
    ASSERT_EQ(0, rmmod("example"));
    EXPECT_EQ(0u, chip().control());
}

class ExampleUnfitted : public Example {
protected:
    ExampleUnfitted() : Example(board::BoardConfig::without(ExampleChip::model_name)) {}
};

TEST_F(ExampleUnfitted, TheDriverFindsNoChipAndDoesNotLoad) {
    EXPECT_EQ(-ENODEV, insmod("example"));
    EXPECT_EQ("<3>example: no chip (identity 0x0)\n", take_log());
    EXPECT_TRUE(kernel.lsmod().empty());
    // The model is made all the same, for a test to fit by hand.
    board.bus().attach(ExampleChip::base, ExampleChip::size, chip());
    EXPECT_EQ(0, insmod("example"));
}

}  // namespace
