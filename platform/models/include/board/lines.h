// The board's own lines on the SoC's GPIO pins, besides its chips':
//
//     pin 26   board variant strap: high on an S0 board, low on an S1
//     pin 27   USB port 1 over-current flag   open drain with a pull-up:
//     pin 17   USB port 2 over-current flag   low while the port's power
//                                             switch sees an over-current
//     pin  2   USB port 1 power enable        inputs of the power switches,
//     pin  3   USB port 2 power enable        low: on (pulled up: off until
//                                             the SoC drives them)
#pragma once

#include <array>

#include "board/soc_gpio.h"

namespace board {

enum class Variant { s0, s1 };
const char* variant_name(Variant v);  // "S0", "S1"

class BoardLines {
public:
    static constexpr unsigned strap_pin = 26;
    static constexpr unsigned ports = 2;
    static constexpr std::array<unsigned, ports> overcurrent_pins = {27, 17};
    static constexpr std::array<unsigned, ports> enable_pins = {2, 3};

    BoardLines(Gpio& gpio, Variant variant);
    BoardLines(const BoardLines&) = delete;
    BoardLines& operator=(const BoardLines&) = delete;

    // As the strap's level says.
    Variant variant() const { return gpio_.level(strap_pin) ? Variant::s0 : Variant::s1; }
    // The strap as fitted: the gpio driver reads it when it loads.
    void set_variant(Variant variant);

    // port 0 or 1: its power switch flags an over-current (pulls the line
    // low) or no longer does.
    void set_overcurrent(unsigned port, bool on);

private:
    Gpio& gpio_;
};

}  // namespace board
