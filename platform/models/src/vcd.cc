#include "board/vcd.h"

#include <cstdio>

#include "board/soc_gpio.h"
#include "board/soc_bus.h"

namespace board {

namespace {

// VCD identifiers are printable characters: '!' + pin.
char id(unsigned pin) { return static_cast<char>('!' + pin); }

}  // namespace

std::string pins_vcd(const SocBus& bus, const Gpio& gpio) {
    constexpr unsigned pins = Gpio::pin_count;
    bool level[pins];
    bool seen[pins] = {};
    uint64_t start = bus.kernel().microseconds();
    bool any = false;
    for (unsigned p = 0; p < pins; ++p) level[p] = gpio.level(p);
    // A pin's history is of real changes only: before its first one kept,
    // it had the other level.
    for (const BusEvent& e : bus.history()) {
        if (e.kind != BusEvent::pin || e.addr >= pins) continue;
        if (!any) start = e.usecs, any = true;
        if (!seen[e.addr]) seen[e.addr] = true, level[e.addr] = !e.value;
    }

    // The levels before the first change a microsecond earlier, so that
    // a reader sees that change as an edge.
    if (any && start > 0) --start;

    std::string out = "$version vbox: the box's GPIO pins $end\n$timescale 1us $end\n$scope module board $end\n";
    char line[64];
    for (unsigned p = 0; p < pins; ++p) {
        snprintf(line, sizeof line, "$var wire 1 %c gpio%u $end\n", id(p), p);
        out += line;
    }
    out += "$upscope $end\n$enddefinitions $end\n";
    snprintf(line, sizeof line, "#%llu\n$dumpvars\n", static_cast<unsigned long long>(start));
    out += line;
    for (unsigned p = 0; p < pins; ++p) out += std::string(1, level[p] ? '1' : '0') + id(p) + "\n";
    out += "$end\n";
    uint64_t at = start;
    for (const BusEvent& e : bus.history()) {
        if (e.kind != BusEvent::pin || e.addr >= pins) continue;
        if (e.usecs > at) {
            at = e.usecs;
            snprintf(line, sizeof line, "#%llu\n", static_cast<unsigned long long>(at));
            out += line;
        }
        out += std::string(1, e.value ? '1' : '0') + id(e.addr) + "\n";
    }
    return out;
}

}  // namespace board
