#include "board/tuner.h"

#include "board/board.h"

namespace board {

bool Tu1216::on_write(uint8_t byte, size_t index) {
    (void)byte;
    (void)index;
    return true;
}

uint8_t Tu1216::on_read(size_t index) {
    (void)index;
    return status_;
}

TunerBus::TunerBus(Gpio& gpio) : wires_(gpio, sda_pin, scl_pin, bus_) { bus_.attach(Tu1216::address, tuner_); }

// The tuner's bus is its own, on two of the SoC's pins.
void fit_tuner(Board& board) {
    board.fit(std::make_unique<TunerBus>(board.gpio()),
              Placement().pin(TunerBus::sda_pin, "tuner I2C SDA").pin(TunerBus::scl_pin, "tuner I2C SCL"));
}

}  // namespace board
