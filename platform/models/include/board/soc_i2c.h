// The SoC's I2C master: message-level transfers onto the board's bus,
// registered with the kernel's I2C core as an adapter.
#pragma once

#include <string>

#include "board/i2c.h"
#include "kplat/i2c.h"
#include "kplat/kernel.h"

namespace board {

class SocI2cMaster : public kplat::I2cMaster {
public:
    static constexpr const char* default_name = "SMP8634 I2C HW Master";

    // Registers the adapter at once (drivers present attach to it).
    SocI2cMaster(kplat::Kernel& kernel, I2cBus& bus, std::string name = default_name);
    // Removes the adapter (its clients are detached).
    ~SocI2cMaster() override;
    SocI2cMaster(const SocI2cMaster&) = delete;
    SocI2cMaster& operator=(const SocI2cMaster&) = delete;

    int adapter_nr() const { return nr_; }

    // A missing acknowledge ends the transfer with a stop and -EREMOTEIO.
    int transfer(kplat::I2cMsg* msgs, int num) override;

private:
    kplat::Kernel& kernel_;
    I2cBus& bus_;
    int nr_ = -1;
};

}  // namespace board
