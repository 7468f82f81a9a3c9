// The pins' history as a logic analyser shows it: a Value Change Dump
// (IEEE 1364) with one 1-bit wire per GPIO pin, named gpio0 to gpio31, in
// microseconds of the box's time. PulseView, GTKWave and sigrok-cli read it
// (sigrok-cli -I vcd -i FILE -P i2c:scl=gpio20:sda=gpio21 decodes the
// tuner's bus).
#pragma once

#include <string>

namespace board {

class SocBus;
class Gpio;

// From the oldest change the history still holds to the last; each pin
// starts at the level it had just before its first change kept (a pin
// without one at its present level). Call with the kernel's CPU held
// (kernel.atomically), as the models change under it.
std::string pins_vcd(const SocBus& bus, const Gpio& gpio);

}  // namespace board
