// The STV6413 audio/video SCART switch: seven control registers written
// from a sub-address with auto-increment, and a status byte to read.
#pragma once

#include <array>
#include <cstdint>

#include "board/i2c.h"

namespace board {

class Stv6413 : public I2cDevice {
public:
    static constexpr uint8_t address = 0x4b;
    static constexpr size_t register_count = 7;

    const std::array<uint8_t, register_count>& registers() const { return regs_; }
    uint8_t reg(size_t sub) const { return regs_.at(sub); }
    void set_status(uint8_t status) { status_ = status; }

protected:
    // Byte 0 selects the sub-address; each further byte goes to it and
    // moves it on. Past register 0x06 nothing is acknowledged.
    bool on_write(uint8_t byte, size_t index) override;
    uint8_t on_read(size_t index) override;

private:
    std::array<uint8_t, register_count> regs_{};
    uint8_t status_ = 0;
    size_t sub_ = 0;
};

}  // namespace board
