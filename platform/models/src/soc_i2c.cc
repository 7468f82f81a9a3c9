#include "board/soc_i2c.h"

#include <cerrno>

namespace board {

namespace {

// The adapter id: an algorithm of the SoC's own (I2C_ALGO_EXP).
constexpr unsigned adapter_id = 0x800000;

}  // namespace

SocI2cMaster::SocI2cMaster(kplat::Kernel& kernel, I2cBus& bus, std::string name) : kernel_(kernel), bus_(bus) {
    nr_ = kernel_.add_i2c_adapter(name, adapter_id, *this);
}

SocI2cMaster::~SocI2cMaster() {
    if (nr_ >= 0) kernel_.del_i2c_adapter(nr_);
}

int SocI2cMaster::transfer(kplat::I2cMsg* msgs, int num) {
    for (int i = 0; i < num; i++) {
        kplat::I2cMsg& m = msgs[i];
        bool read = (m.flags & kplat::I2cMsg::read) != 0;
        // The SoC's master speaks 7-bit addresses only.
        if ((m.flags & kplat::I2cMsg::ten_bit) || m.addr > 0x7f || (m.len && !m.buf)) {
            bus_.stop();
            return -EINVAL;
        }
        if (!(i > 0 && (m.flags & kplat::I2cMsg::nostart)) && !bus_.start(static_cast<uint8_t>(m.addr), read)) {
            bus_.stop();
            return -EREMOTEIO;
        }
        for (uint16_t j = 0; j < m.len; j++) {
            if (read) {
                m.buf[j] = bus_.read(j + 1 < m.len);
            } else if (!bus_.write(m.buf[j])) {
                bus_.stop();
                return -EREMOTEIO;
            }
        }
    }
    bus_.stop();
    return num;
}

}  // namespace board
