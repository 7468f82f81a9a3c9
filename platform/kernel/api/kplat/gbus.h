// The SoC's internal bus as the kernel reaches it: 32-bit register reads
// and writes by bus address (gbus_read_uint32, gbus_write_uint32 and the
// GPIO routines built on them). The board attaches one, and its models sit
// behind it by address range.
#pragma once

#include <cstdint>

namespace kplat {

class Gbus {
public:
    virtual ~Gbus() = default;
    // Called in kernel context, on the CPU; addr is 32-bit aligned.
    virtual uint32_t read32(uint32_t addr) = 0;
    virtual void write32(uint32_t addr, uint32_t value) = 0;
};

}  // namespace kplat
