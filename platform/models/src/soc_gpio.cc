#include "board/soc_gpio.h"

namespace board {

Gpio::Gpio(SocBus& bus) : bus_(bus) {
    bus_.attach(bank0_direction, 8, bank0_);
    bus_.attach(bank1_direction, 8, bank1_);
}

bool Gpio::level(unsigned pin) const { return at(pin).level; }
bool Gpio::output(unsigned pin) const { return at(pin).output; }
bool Gpio::latch(unsigned pin) const { return at(pin).latch; }
bool Gpio::pulled_up(unsigned pin) const { return at(pin).pull_up; }
bool Gpio::contended(unsigned pin) const { return at(pin).output && at(pin).driven; }

Gpio::Source Gpio::source(unsigned pin) const {
    const Pin& p = at(pin);
    return p.output ? Source::soc : p.driven ? Source::board : Source::pull;
}

bool Gpio::computed(const Pin& p) const {
    if (p.output) return p.latch;
    return p.driven ? *p.driven : p.pull_up;
}

void Gpio::update(unsigned pin) {
    Pin& p = pins_.at(pin);
    bool now = computed(p);
    if (now == p.level) return;
    p.level = now;
    bus_.note_pin(pin, now);
    for (auto& w : watchers_) w(pin, now);
}

void Gpio::drive(unsigned pin, bool level) {
    Pin& p = pins_.at(pin);
    if (p.until) {
        p.until = 0;
        --timed_;
    }
    p.driven = level;
    update(pin);
}

void Gpio::release(unsigned pin) {
    Pin& p = pins_.at(pin);
    if (p.until) {
        p.until = 0;
        --timed_;
    }
    p.driven.reset();
    update(pin);
}

void Gpio::drive_for(unsigned pin, bool level, unsigned long usecs) {
    drive(pin, level);
    pins_[pin].until = bus_.kernel().microseconds() + usecs;
    if (pins_[pin].until == 0) pins_[pin].until = 1;
    ++timed_;
}

void Gpio::expire() {
    if (!timed_) return;
    uint64_t now = bus_.kernel().microseconds();
    for (unsigned pin = 0; pin < pin_count; ++pin)
        if (pins_[pin].until && now >= pins_[pin].until) release(pin);
}

void Gpio::set_name(unsigned pin, std::string name) { pins_.at(pin).name = std::move(name); }

void Gpio::set_pull(unsigned pin, bool up) {
    pins_.at(pin).pull_up = up;
    update(pin);
}

void Gpio::watch(Watcher watcher) { watchers_.push_back(std::move(watcher)); }

uint32_t Gpio::Bank::read32(uint32_t addr) {
    gpio_.expire();
    uint32_t v = 0;
    for (unsigned b = 0; b < 16; ++b) {
        const Pin& p = gpio_.at(first_ + b);
        if (addr == direction_ ? p.output : addr == direction_ + 4 ? p.level : false) v |= 1u << b;
    }
    return v;
}

void Gpio::Bank::write32(uint32_t addr, uint32_t value) {
    if (addr != direction_ && addr != direction_ + 4) return;
    gpio_.expire();
    // Every bit is set first, then the levels follow, as one write does.
    for (unsigned b = 0; b < 16; ++b) {
        if (!(value >> (16 + b) & 1)) continue;
        Pin& p = gpio_.pins_[first_ + b];
        (addr == direction_ ? p.output : p.latch) = (value >> b & 1) != 0;
    }
    for (unsigned b = 0; b < 16; ++b)
        if (value >> (16 + b) & 1) gpio_.update(first_ + b);
}

}  // namespace board
