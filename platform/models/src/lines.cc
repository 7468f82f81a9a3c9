#include "board/lines.h"

namespace board {

const char* variant_name(Variant v) { return v == Variant::s0 ? "S0" : "S1"; }

BoardLines::BoardLines(Gpio& gpio, Variant variant) : gpio_(gpio) {
    gpio_.set_name(strap_pin, "board variant strap");
    gpio_.set_name(overcurrent_pins[0], "USB port 1 over-current");
    gpio_.set_name(overcurrent_pins[1], "USB port 2 over-current");
    gpio_.set_name(enable_pins[0], "USB port 1 power enable (low: on)");
    gpio_.set_name(enable_pins[1], "USB port 2 power enable (low: on)");
    set_variant(variant);
}

void BoardLines::set_variant(Variant variant) { gpio_.drive(strap_pin, variant == Variant::s0); }

void BoardLines::set_overcurrent(unsigned port, bool on) {
    unsigned pin = overcurrent_pins.at(port);
    if (on) gpio_.drive(pin, false);
    else gpio_.release(pin);
}

}  // namespace board
