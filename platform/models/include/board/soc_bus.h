// The SoC's internal bus: 32-bit registers by address, behind which the
// SoC's own blocks (GPIO banks, interrupt routing) and other models sit by
// address range, as chips sit on the I2C bus. The kernel reaches it
// through gbus_read_uint32 and gbus_write_uint32. Bus and models share one
// interface, kplat::Gbus; a model is handed the whole address.
//
// Every register write and every pin change is kept in a history with its
// tick and microsecond, for tests and the logic analyser's view (the last
// history_limit events: older ones are dropped, so a box that runs for
// long keeps a bounded history).
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

#include "kplat/gbus.h"
#include "kplat/kernel.h"

namespace board {

struct BusEvent {
    enum Kind : uint8_t { write, pin };
    Kind kind;
    unsigned long jiffies;
    uint32_t addr;   // write: the register; pin: the pin number
    uint32_t value;  // write: the word written; pin: the new level, 0 or 1
    // When, in microseconds since boot (kernel.microseconds()): what a
    // bit-banged line's timing is read from. Equality compares the tick.
    uint64_t usecs = 0;

    // The same event at the same tick (the microseconds aside).
    bool operator==(const BusEvent& o) const {
        return kind == o.kind && jiffies == o.jiffies && addr == o.addr && value == o.value;
    }
};

class SocBus : public kplat::Gbus {
public:
    static constexpr size_t history_limit = 65536;

    // Attaches itself to the kernel; the destructor detaches it.
    explicit SocBus(kplat::Kernel& kernel);
    ~SocBus() override;
    SocBus(const SocBus&) = delete;
    SocBus& operator=(const SocBus&) = delete;

    kplat::Kernel& kernel() const { return kernel_; }

    // The model answers the addresses base to base + size - 1.
    void attach(uint32_t base, uint32_t size, kplat::Gbus& model);

    // An address without a block reads 0 and ignores writes.
    uint32_t read32(uint32_t addr) override;
    void write32(uint32_t addr, uint32_t value) override;

    // Fault injection: the next reads of addr give these values, one per
    // read, before the block answers again.
    void script_reads(uint32_t addr, std::vector<uint32_t> values);

    const std::deque<BusEvent>& history() const { return history_; }
    // The words written to one register, in order.
    std::vector<uint32_t> writes_to(uint32_t addr) const;
    // The levels a pin went through, in order.
    std::vector<bool> pin_changes(unsigned pin) const;
    void clear_history() { history_.clear(); }
    // Models note their pins' changes here.
    void note_pin(unsigned pin, bool level);

private:
    struct Range {
        uint32_t size;
        kplat::Gbus* model;
    };
    kplat::Gbus* find(uint32_t addr);
    void note(BusEvent e);

    kplat::Kernel& kernel_;
    std::map<uint32_t, Range> ranges_;  // by base
    std::map<uint32_t, std::deque<uint32_t>> scripted_;
    std::deque<BusEvent> history_;
};

}  // namespace board
