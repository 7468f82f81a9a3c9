// An I2C master of the board, behind an adapter of the kernel's I2C core.
#pragma once

#include <cstdint>

namespace kplat {

// One message of a transfer, laid out as the kernel's struct i2c_msg.
struct I2cMsg {
    uint16_t addr;   // 7-bit address
    uint16_t flags;  // I2cMsg::read for a read
    uint16_t len;
    uint8_t* buf;

    static constexpr uint16_t read = 0x0001;
    static constexpr uint16_t ten_bit = 0x0010;
    static constexpr uint16_t nostart = 0x4000;
};

class I2cMaster {
public:
    virtual ~I2cMaster() = default;
    // One combined transfer: the messages with a repeated start between
    // them and a stop at the end. Returns the number of messages done or a
    // negative errno (-EREMOTEIO for a missing acknowledge). Called in
    // kernel context, on the CPU.
    virtual int transfer(I2cMsg* msgs, int num) = 0;
    // I2C_FUNC_* bits: plain I2C with emulated SMBus by default.
    virtual uint32_t functionality() const { return 0x00000001u | 0x02ff0000u; }
};

}  // namespace kplat
