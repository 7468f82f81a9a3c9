// The example chip: a register block on the SoC's internal bus, the
// smallest model a driver can find. Its folder shows what a chip model
// and its driver bring along: the model fits itself to the board, its
// console word and its boot line join the virtual box, and nothing outside
// the folder names them.
//
//     base + 0x0   identity, reads 0x45584d31 ("EXM1")
//     base + 0x4   control, bit 0: enabled (written by its driver)
#pragma once

#include <cstdint>

#include "kplat/gbus.h"

namespace board {

class ExampleChip : public kplat::Gbus {
public:
    static constexpr const char* model_name = "example";
    // A range of the internal bus no block of the SoC answers.
    static constexpr uint32_t base = 0x7f000, size = 8;
    static constexpr uint32_t identity = 0x45584d31;

    uint32_t control() const { return control_; }

    uint32_t read32(uint32_t addr) override;
    void write32(uint32_t addr, uint32_t value) override;

private:
    uint32_t control_ = 0;
};

}  // namespace board
