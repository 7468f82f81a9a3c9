// The box's board around the kernel platform: the SoC's I2C bus with the
// chips the drivers talk to. Destroy the Board before its Kernel.
#pragma once

#include <memory>

#include "board/i2c.h"
#include "board/soc_i2c.h"
#include "board/stv6413.h"
#include "kplat/kernel.h"

namespace board {

struct BoardConfig {
    bool scart_switch = true;  // the STV6413 on the SoC's bus
};

class Board {
public:
    explicit Board(kplat::Kernel& kernel, BoardConfig config = {});
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    I2cBus& i2c() { return bus_; }
    SocI2cMaster& soc_i2c() { return *master_; }
    Stv6413& scart_switch() { return stv6413_; }

private:
    I2cBus bus_;
    Stv6413 stv6413_;
    std::unique_ptr<SocI2cMaster> master_;
};

}  // namespace board
