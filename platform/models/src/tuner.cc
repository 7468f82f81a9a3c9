#include "board/tuner.h"

namespace board {

bool Tu1216::on_write(uint8_t byte, size_t index)
{
    (void)byte;
    (void)index;
    return true;
}

uint8_t Tu1216::on_read(size_t index)
{
    (void)index;
    return status_;
}

TunerBus::TunerBus(Gpio& gpio) : wires_(gpio, sda_pin, scl_pin, bus_)
{
    bus_.attach(Tu1216::address, tuner_);
    gpio.set_name(sda_pin, "tuner I2C SDA");
    gpio.set_name(scl_pin, "tuner I2C SCL");
}

}  // namespace board
