// What the box's input devices reported, as tests and the virtual box see
// it: every event the input core passed on to the event device, with the
// tick it came at.
//
//     auto events = kplat::input_events(kernel);
//     events[0].jiffies, events[0].type, events[0].code, events[0].value
//     kplat::evtest_line(events[0])   // "Event: time 1.000000, type 1 (EV_KEY), code 2 (KEY_1), value 1"
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kplat {

class Kernel;

struct InputEvent {
    unsigned long jiffies;  // the tick it was reported at
    long sec, usec;         // its time stamp, as a reader of the event device gets it
    int device;             // the device's number: event device minor 64 + device
    uint16_t type, code;
    int32_t value;
};

// The events kept (the last 8192), oldest first, and forgetting them.
std::vector<InputEvent> input_events(Kernel& kernel);
void clear_input_events(Kernel& kernel);
// The name of a registered input device; empty when there is none.
std::string input_device_name(Kernel& kernel, int device);

// "EV_KEY", and "KEY_1" for a code of a type; null when the kernel's
// headers have no name for it.
const char* input_type_name(unsigned type);
const char* input_code_name(unsigned type, unsigned code);
// The event as evtest prints it (unknown names as "?"), without a newline.
std::string evtest_line(const InputEvent& e);

}  // namespace kplat
