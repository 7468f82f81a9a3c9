// The tuner's own I2C bus: two GPIO pins of the SoC, SDA on 21 and SCL on
// 20, open drain with pull-ups on the board, bit-banged by the i2c-tuner
// driver. On it sits the TU1216L tuner, whose synthesiser answers at 0x60
// (address byte 0xC0 to write, 0xC1 to read): it acknowledges its address
// and every byte it is sent, keeps them (transfers()), and answers every
// read byte with its status byte.
#pragma once

#include <cstdint>

#include "board/soc_gpio.h"
#include "board/i2c.h"
#include "board/i2c_pins.h"

namespace board {

class Tu1216 : public I2cDevice {
public:
    static constexpr uint8_t address = 0x60;

    uint8_t status() const { return status_; }
    // 0x40 at power-up: the synthesiser in lock.
    void set_status(uint8_t status) { status_ = status; }

protected:
    bool on_write(uint8_t byte, size_t index) override;
    uint8_t on_read(size_t index) override;

private:
    uint8_t status_ = 0x40;
};

class TunerBus {
public:
    static constexpr unsigned sda_pin = 21, scl_pin = 20;

    explicit TunerBus(Gpio& gpio);
    TunerBus(const TunerBus&) = delete;
    TunerBus& operator=(const TunerBus&) = delete;

    Tu1216& tuner() { return tuner_; }
    I2cBus& bus() { return bus_; }
    // The pins' side: the decoded traffic, a stretched clock, a held line.
    I2cPins& wires() { return wires_; }

private:
    I2cBus bus_;
    Tu1216 tuner_;
    I2cPins wires_;
};

}  // namespace board
