// The input core's events seen from the host.
#include "kplat/input.h"

#include <cstdio>

#include "kplat/kernel.h"
#include "../seam.h"

namespace kplat {

std::vector<InputEvent> input_events(Kernel& kernel) {
    std::vector<InputEvent> out;
    kernel.atomically([&] {
        unsigned long first;
        unsigned long next = h2k_input_events(&first);
        out.reserve(next - first);
        for (unsigned long seq = first; seq != next; ++seq) {
            kplat_input_record r;
            if (h2k_input_event(seq, &r)) out.push_back({r.jiffies, r.sec, r.usec, r.device, r.type, r.code, r.value});
        }
    });
    return out;
}

void clear_input_events(Kernel& kernel) {
    kernel.atomically([] { h2k_input_clear(); });
}

std::string input_device_name(Kernel& kernel, int device) {
    std::string name;
    kernel.atomically([&] {
        const char* n;
        if (h2k_input_device(device, &n)) name = n;
    });
    return name;
}

// The name tables are constant: no need to take the CPU for them.
const char* input_type_name(unsigned type) { return h2k_input_name(type, 0, 1); }

const char* input_code_name(unsigned type, unsigned code) { return h2k_input_name(type, code, 0); }

std::string evtest_line(const InputEvent& e) {
    const char* type = input_type_name(e.type);
    const char* code = input_code_name(e.type, e.code);
    char line[160];
    std::snprintf(line, sizeof line, "Event: time %ld.%06ld, type %u (%s), code %u (%s), value %d", e.sec, e.usec,
                  e.type, type ? type : "?", e.code, code ? code : "?", e.value);
    return line;
}

}  // namespace kplat
