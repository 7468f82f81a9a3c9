#include "board/stv6413.h"

#include "board/board.h"

namespace board {

bool Stv6413::on_write(uint8_t byte, size_t index) {
    if (index == 0) {
        if (byte >= register_count) return false;
        sub_ = byte;
        return true;
    }
    if (sub_ >= register_count) return false;
    regs_[sub_++] = byte;
    return true;
}

uint8_t Stv6413::on_read(size_t index) {
    (void)index;
    return status_;
}

void fit_stv6413(Board& board) { board.fit(std::make_unique<Stv6413>(), Placement().i2c(Stv6413::address)); }

}  // namespace board
