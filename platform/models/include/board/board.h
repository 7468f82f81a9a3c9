// The box's board around the kernel platform: the SoC's internal bus with
// its GPIO banks and interrupt routing, the SoC's I2C bus with the chips
// the drivers talk to, and the devices the host serves. Destroy the Board
// before its Kernel.
#pragma once

#include <memory>

#include "board/soc_gpio.h"
#include "board/i2c.h"
#include "board/lines.h"
#include "board/loopback.h"
#include "board/smartcard.h"
#include "board/micro.h"
#include "board/soc_bus.h"
#include "board/soc_i2c.h"
#include "board/soc_irq.h"
#include "board/stv6413.h"
#include "board/tuner.h"
#include "kplat/kernel.h"

namespace board {

struct BoardConfig {
    bool scart_switch = true;  // the STV6413 on the SoC's I2C bus
    bool micro = true;         // the front-panel micro-controller on it
    Variant variant = Variant::s0;
};

class Board {
public:
    explicit Board(kplat::Kernel& kernel, BoardConfig config = {});
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    kplat::Kernel& kernel() { return kernel_; }

    // The SoC.
    SocBus& bus() { return bus_; }
    Gpio& gpio() { return gpio_; }
    SocInterrupts& interrupts() { return irq_; }
    I2cBus& i2c() { return i2c_; }
    SocI2cMaster& soc_i2c() { return *master_; }

    // The chips.
    Stv6413& scart_switch() { return stv6413_; }
    Micro& micro() { return micro_; }
    ActivityLed& activity_led() { return led_; }
    // The tuner on its bit-banged bus (GPIO 21 and 20).
    TunerBus& tuner_bus() { return tuner_bus_; }
    // The variant strap and the USB ports' lines.
    BoardLines& lines() { return lines_; }

    // The loop-back device served under the major (register_chrdev's
    // result; one at a time); null until then.
    int add_loopback(unsigned major);
    Loopback* loopback() { return loopback_.get(); }

    // The smart-card reader served under the major (register_chrdev's
    // result; once); null until then.
    int add_card_reader(unsigned major);
    CardReader* card_reader() { return card_reader_.get(); }

private:
    kplat::Kernel& kernel_;
    SocBus bus_;
    Gpio gpio_;
    SocInterrupts irq_;
    I2cBus i2c_;
    Stv6413 stv6413_;
    Micro micro_;
    ActivityLed led_;
    BoardLines lines_;
    TunerBus tuner_bus_;
    std::unique_ptr<SocI2cMaster> master_;
    std::unique_ptr<Loopback> loopback_;
    unsigned loopback_major_ = 0;
    std::unique_ptr<CardReader> card_reader_;
    unsigned card_reader_major_ = 0;
};

}  // namespace board
