#include "board/i2c_pins.h"

#include <cstdio>

namespace board {

I2cPins::I2cPins(Gpio& gpio, unsigned sda, unsigned scl, I2cBus& bus)
    : gpio_(gpio), sda_(sda), scl_(scl), bus_(bus), sda_level_(gpio.level(sda)), scl_level_(gpio.level(scl)) {
    gpio_.watch([this](unsigned pin, bool level) { changed(pin, level); });
}

void I2cPins::note(Event e) {
    if (events_.size() == event_limit) events_.pop_front();
    events_.push_back(e);
}

std::string I2cPins::trace() const {
    std::string out;
    char word[8];
    for (const Event& e : events_) {
        if (!out.empty()) out += ' ';
        switch (e.kind) {
        case Event::start: out += "S"; break;
        case Event::restart: out += "Sr"; break;
        case Event::stop: out += "P"; break;
        case Event::address:
        case Event::write:
            std::snprintf(word, sizeof word, "%02X%c", e.byte, e.ack ? '+' : '-');
            out += word;
            break;
        case Event::read:
            std::snprintf(word, sizeof word, "%02X%c", e.byte, e.ack ? '<' : '.');
            out += word;
            break;
        }
    }
    return out;
}

// The slave side's pull on SDA, together with a stuck chip's.
void I2cPins::drive_sda(bool low) {
    own_low_ = low;
    if (own_low_ || hold_sda_) gpio_.drive(sda_, false);
    else gpio_.release(sda_);
}

void I2cPins::hold_sda(bool on) {
    hold_sda_ = on;
    drive_sda(own_low_);
}

void I2cPins::hold_scl(bool on) {
    hold_scl_ = on;
    if (on) gpio_.drive(scl_, false);
    else gpio_.release(scl_);
}

void I2cPins::changed(unsigned pin, bool level) {
    if (pin == scl_) {
        scl_level_ = level;
        if (level) scl_rose();
        else scl_fell();
        return;
    }
    if (pin != sda_) return;
    bool was = sda_level_;
    sda_level_ = level;
    // SDA moving while SCL is high: a start (falling) or a stop (rising).
    if (!scl_level_ || was == level) return;
    if (!level) {
        note({started_ ? Event::restart : Event::start});
        started_ = true;
        phase_ = Phase::receive;
        address_ = true;
        bits_ = 0;
        byte_ = 0;
    } else if (started_) {
        note({Event::stop});
        bus_.stop();
        started_ = false;
        phase_ = Phase::idle;
    }
}

void I2cPins::scl_rose() {
    if (phase_ == Phase::receive) {
        byte_ = static_cast<uint8_t>(byte_ << 1 | (sda_level_ ? 1 : 0));
        ++bits_;
    } else if (phase_ == Phase::master_ack) {
        master_ack_ = !sda_level_;
    }
}

// The next byte for the master: its first bit goes on SDA at once.
void I2cPins::send_byte() {
    byte_ = bus_.read(true);
    bits_ = 0;
    phase_ = Phase::send;
    drive_sda(!(byte_ & 0x80));
}

void I2cPins::scl_fell() {
    switch (phase_) {
    case Phase::receive:
        if (bits_ < 8) break;
        if (address_) {
            reading_ = byte_ & 1;
            acked_ = bus_.start(static_cast<uint8_t>(byte_ >> 1), reading_);
            note({Event::address, byte_, acked_});
            address_ = false;
        } else {
            acked_ = bus_.write(byte_);
            note({Event::write, byte_, acked_});
        }
        phase_ = Phase::ack;
        drive_sda(acked_);
        break;
    case Phase::ack:
        drive_sda(false);
        if (!acked_) {
            phase_ = Phase::ignore;
            break;
        }
        if (stretch_ && !hold_scl_) gpio_.drive_for(scl_, false, stretch_);
        if (reading_) {
            send_byte();
        } else {
            phase_ = Phase::receive;
            bits_ = 0;
            byte_ = 0;
        }
        break;
    case Phase::send:
        if (++bits_ < 8) {
            drive_sda(!(byte_ & (0x80 >> bits_)));
        } else {
            drive_sda(false);  // the master's acknowledge comes next
            phase_ = Phase::master_ack;
        }
        break;
    case Phase::master_ack:
        note({Event::read, byte_, master_ack_});
        if (master_ack_) send_byte();
        else phase_ = Phase::ignore;
        break;
    case Phase::idle:
    case Phase::ignore: break;
    }
}

}  // namespace board
