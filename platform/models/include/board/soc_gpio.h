// The SoC's 32 GPIO pins in two banks of 16, each bank with a direction
// and a data register on the SoC's bus:
//
//     pins  0-15: direction 0x10500, data 0x10504, bit = pin
//     pins 16-31: direction 0x2710c, data 0x27110, bit = pin - 16
//
// A write is one word: the high half is the mask of the bits to change,
// the low half their new values; bits outside the mask stay. Direction 1
// is an output. The data register reads back the pins' levels in its low
// half, the direction register the directions.
//
// A pin's level comes from what drives it: the SoC (its data latch) when
// the pin is an output; otherwise a board model that drives it (drive());
// otherwise its pull resistor (up unless set_pull says otherwise). At
// reset every pin is an input with its latch at 0.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "board/soc_bus.h"

namespace board {

class Gpio {
public:
    static constexpr unsigned pin_count = 32;
    static constexpr uint32_t bank0_direction = 0x10500, bank0_data = 0x10504;
    static constexpr uint32_t bank1_direction = 0x2710c, bank1_data = 0x27110;

    enum class Source { soc, board, pull };

    // Puts both banks on the bus; pin changes go into its history.
    explicit Gpio(SocBus& bus);
    Gpio(const Gpio&) = delete;
    Gpio& operator=(const Gpio&) = delete;

    bool level(unsigned pin) const;
    bool output(unsigned pin) const;
    bool latch(unsigned pin) const;
    // What sets the level now.
    Source source(unsigned pin) const;
    bool pulled_up(unsigned pin) const;
    // The SoC drives the pin as an output while a board model drives it
    // too: two outputs against each other. The level is the SoC's.
    bool contended(unsigned pin) const;

    // The board's side: a model drives the pin to a level, or lets go of it.
    void drive(unsigned pin, bool level);
    void release(unsigned pin);
    void set_pull(unsigned pin, bool up);
    // Drives the pin for usecs of the kernel's time (Kernel::microseconds),
    // then lets go, as a slave stretching the clock does. The end takes
    // effect at the next access of the pin's bank.
    void drive_for(unsigned pin, bool level, unsigned long usecs);

    // What the pin is on the board ("USB over-current, port 1"), for
    // people; empty when nothing on the board names it.
    void set_name(unsigned pin, std::string name);
    const std::string& name(unsigned pin) const { return at(pin).name; }

    // Called on every change of a pin's level, whoever made it (in kernel
    // context when a driver's register access made it).
    using Watcher = std::function<void(unsigned pin, bool level)>;
    void watch(Watcher watcher);

private:
    class Bank : public kplat::Gbus {
    public:
        Bank(Gpio& gpio, unsigned first, uint32_t direction) : gpio_(gpio), first_(first), direction_(direction) {}
        uint32_t read32(uint32_t addr) override;
        void write32(uint32_t addr, uint32_t value) override;

    private:
        Gpio& gpio_;
        unsigned first_;
        uint32_t direction_;  // the data register follows it
    };

    struct Pin {
        bool output = false;
        bool latch = false;
        std::optional<bool> driven;  // by a board model
        bool pull_up = true;
        bool level = true;
        uint64_t until = 0;  // drive_for's end, in microseconds (0: none)
        std::string name;
    };

    const Pin& at(unsigned pin) const { return pins_.at(pin); }
    bool computed(const Pin& p) const;
    void update(unsigned pin);
    void expire();  // ends the timed drives that are due

    SocBus& bus_;
    std::array<Pin, pin_count> pins_{};
    Bank bank0_{*this, 0, bank0_direction}, bank1_{*this, 16, bank1_direction};
    std::vector<Watcher> watchers_;
    unsigned timed_ = 0;  // pins under drive_for
};

}  // namespace board
