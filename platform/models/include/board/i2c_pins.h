// An I2C bus made of two GPIO pins, as a bit-banging master drives it: SDA
// and SCL are open drain with pull-ups, pulled low by the master making the
// pin an output at 0 and released by making it an input. The slaves' side
// is decoded from the pins' levels into the board's wire-level bus (start,
// address, bytes, stop), whose chips answer; their acknowledge and the bits
// they send appear on SDA after SCL falls, as a slave puts them there.
//
// The decoded traffic is kept as events and as a line of text (trace()):
//
//     S C0+ 0B+ 8E- P      start, address byte 0xC0 (0x60, write)
//                          acknowledged, 0x0B acknowledged, 0x8E not, stop
//     S C1+ 40< 41. P      a read: 0x40 acknowledged by the master (<),
//                          0x41 not (.), as a master ends a read
//     Sr                   a repeated start
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "board/soc_gpio.h"
#include "board/i2c.h"

namespace board {

class I2cPins {
public:
    static constexpr size_t event_limit = 4096;

    struct Event {
        enum Kind : uint8_t { start, restart, address, write, read, stop };
        Kind kind;
        uint8_t byte = 0;  // address: the address byte, R/W in bit 0
        bool ack = false;  // address, write: the slave's; read: the master's
    };

    // Watches both pins from now on; keep it alive as long as the Gpio.
    I2cPins(Gpio& gpio, unsigned sda, unsigned scl, I2cBus& bus);
    I2cPins(const I2cPins&) = delete;
    I2cPins& operator=(const I2cPins&) = delete;

    I2cBus& bus() { return bus_; }
    unsigned sda() const { return sda_; }
    unsigned scl() const { return scl_; }

    // The last event_limit events, and the same as text (see above).
    const std::deque<Event>& events() const { return events_; }
    std::string trace() const;
    void clear_events() { events_.clear(); }

    // A slave that holds SCL low for usecs after each acknowledge it gives
    // (0: none), as a chip busy with what it was sent does.
    void set_stretch(unsigned long usecs) { stretch_ = usecs; }
    unsigned long stretch() const { return stretch_; }
    // A slave that holds a line low until let go (a stuck chip).
    void hold_sda(bool on);
    void hold_scl(bool on);
    bool holds_sda() const { return hold_sda_; }
    bool holds_scl() const { return hold_scl_; }

private:
    enum class Phase { idle, receive, ack, send, master_ack, ignore };

    void changed(unsigned pin, bool level);
    void scl_rose();
    void scl_fell();
    void send_byte();
    void drive_sda(bool low);
    void note(Event e);

    Gpio& gpio_;
    unsigned sda_, scl_;
    I2cBus& bus_;
    bool sda_level_, scl_level_;
    Phase phase_ = Phase::idle;
    bool started_ = false;  // between a start and its stop
    bool address_ = false;  // the byte coming in is the address
    bool reading_ = false;  // the master reads from the slave
    bool acked_ = false;
    bool master_ack_ = false;
    unsigned bits_ = 0;
    uint8_t byte_ = 0;
    bool own_low_ = false;  // the slave side pulls SDA low
    bool hold_sda_ = false, hold_scl_ = false;
    unsigned long stretch_ = 0;
    std::deque<Event> events_;
};

}  // namespace board
