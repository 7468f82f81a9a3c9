// A GoogleTest fixture on the driver test bench (bench/bench.h):
//
//     class St6413 : public bench::DriverTest {};
//     TEST_F(St6413, Loads) { ASSERT_EQ(0, insmod("st6413")) << kernel.last_error(); }
//
// A board without a chip: DriverTest(board::BoardConfig::without(board::Stv6413::model_name)).
#pragma once

#include <gtest/gtest.h>

#include "bench/bench.h"

namespace bench {

class DriverTest : public ::testing::Test, public Bench {
protected:
    explicit DriverTest(board::BoardConfig config = {}) : Bench(config) {}
};

}  // namespace bench
