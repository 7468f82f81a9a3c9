#include "board/example.h"

#include "board/board.h"

namespace board {

uint32_t ExampleChip::read32(uint32_t addr) { return addr == base ? identity : control_; }

void ExampleChip::write32(uint32_t addr, uint32_t value) {
    if (addr == base + 4) control_ = value & 1;
}

void fit_example(Board& board) {
    board.fit(std::make_unique<ExampleChip>(), Placement().bus(ExampleChip::base, ExampleChip::size));
}

}  // namespace board
