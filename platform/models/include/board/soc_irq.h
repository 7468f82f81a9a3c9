// The path from a GPIO pin to a CPU interrupt line.
//
// The system block's GPIO interrupt routing register SYS_gpio_int (0x10508)
// holds four fields of 8 bits; field k (bits 8k..8k+7) names the pin of
// GPIO interrupt source k (a value above 31 names none). Source k is bit
// 13 + k of the CPU block's edge registers, and the CPU block's bit b is
// interrupt line 8 + b: GPIO 9 routed in field 1 (bits 8-15 = 0x09) is bit
// 14 (0x4000), IRQ 22.
//
// CPU block edge registers (writes of 1 bits act, 0 bits leave alone):
//     0x6e214, 0x6e218   enable detection of rising, falling edges
//     0x6e208, 0x6e20c   read back the rising, falling configuration
//     0x6e204            read: edges detected (pending); write: acknowledge
//
// An edge of the configured kind on a routed pin sets its pending bit and
// asserts the interrupt line; the line stays asserted, and further edges
// of that source are not seen, until the driver acknowledges the bit.
#pragma once

#include <cstdint>

#include "board/soc_gpio.h"
#include "board/soc_bus.h"
#include "kplat/kernel.h"

namespace board {

class SocInterrupts {
public:
    static constexpr uint32_t gpio_routing = 0x10508;
    static constexpr uint32_t edge_pending = 0x6e204;
    static constexpr uint32_t edge_rise = 0x6e208, edge_fall = 0x6e20c;
    static constexpr uint32_t edge_rise_set = 0x6e214, edge_fall_set = 0x6e218;
    static constexpr unsigned gpio_sources = 4;
    static constexpr unsigned first_gpio_bit = 13;

    // The line of a CPU block bit, and of a GPIO interrupt source.
    static constexpr unsigned irq_of_bit(unsigned bit) { return 8 + bit; }
    static constexpr unsigned irq_of_source(unsigned source) { return irq_of_bit(first_gpio_bit + source); }

    SocInterrupts(kplat::Kernel& kernel, SocBus& bus, Gpio& gpio);
    SocInterrupts(const SocInterrupts&) = delete;
    SocInterrupts& operator=(const SocInterrupts&) = delete;

    uint32_t routing() const { return routing_; }
    uint32_t rise() const { return rise_; }
    uint32_t fall() const { return fall_; }
    uint32_t pending() const { return pending_; }

private:
    // The routing register and the edge registers, one model on the bus
    // for each place.
    struct Regs : kplat::Gbus {
        explicit Regs(SocInterrupts& s) : s(s) {}
        uint32_t read32(uint32_t addr) override;
        void write32(uint32_t addr, uint32_t value) override;
        SocInterrupts& s;
    };

    void pin_changed(unsigned pin, bool level);
    void acknowledge(uint32_t bits);

    kplat::Kernel& kernel_;
    uint32_t routing_ = 0, rise_ = 0, fall_ = 0, pending_ = 0;
    Regs regs_{*this};
};

}  // namespace board
