#include "board/soc_irq.h"

namespace board {

SocInterrupts::SocInterrupts(kplat::Kernel& kernel, SocBus& bus, Gpio& gpio) : kernel_(kernel) {
    bus.attach(gpio_routing, 4, regs_);
    bus.attach(edge_pending, edge_fall_set + 4 - edge_pending, regs_);
    gpio.watch([this](unsigned pin, bool level) { pin_changed(pin, level); });
}

void SocInterrupts::pin_changed(unsigned pin, bool level) {
    for (unsigned k = 0; k < gpio_sources; ++k) {
        if ((routing_ >> (8 * k) & 0xff) != pin) continue;
        uint32_t bit = 1u << (first_gpio_bit + k);
        if (!((level ? rise_ : fall_) & bit) || (pending_ & bit)) continue;
        pending_ |= bit;
        kernel_.set_irq_line(irq_of_source(k), true);
    }
}

void SocInterrupts::acknowledge(uint32_t bits) {
    for (unsigned b = 0; b < 32; ++b)
        if (bits & pending_ & (1u << b)) {
            pending_ &= ~(1u << b);
            kernel_.set_irq_line(irq_of_bit(b), false);
        }
}

uint32_t SocInterrupts::Regs::read32(uint32_t addr) {
    switch (addr) {
    case gpio_routing: return s.routing_;
    case edge_pending: return s.pending_;
    case edge_rise:
    case edge_rise_set: return s.rise_;
    case edge_fall:
    case edge_fall_set: return s.fall_;
    default: return 0;
    }
}

void SocInterrupts::Regs::write32(uint32_t addr, uint32_t value) {
    switch (addr) {
    case gpio_routing: s.routing_ = value; break;
    case edge_pending: s.acknowledge(value); break;
    case edge_rise_set: s.rise_ |= value; break;
    case edge_fall_set: s.fall_ |= value; break;
    default: break;
    }
}

}  // namespace board
