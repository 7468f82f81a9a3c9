// Kernel timers of the host's devices: a timer_list on the kernel side
// whose function calls back into the host.
#include "kplat/timer.h"

#include "core.h"
#include "kplat/kernel.h"

namespace kplat {

Timer::Timer(Kernel& kernel, std::function<void()> fn) : kernel_(kernel), fn_(std::move(fn)) {
    kernel_.atomically([this] { timer_ = h2k_timer_new(&Timer::fire, this); });
}

Timer::~Timer() {
    kernel_.atomically([this] { h2k_timer_free(timer_); });
}

void Timer::fire(void* self) { static_cast<Timer*>(self)->fn_(); }

void Timer::start(unsigned long ticks) {
    kernel_.atomically([&] { h2k_timer_start(timer_, ticks ? ticks : 1); });
}

void Timer::stop() {
    kernel_.atomically([this] { h2k_timer_stop(timer_); });
}

bool Timer::pending() {
    bool p = false;
    kernel_.atomically([&] { p = h2k_timer_pending(timer_) != 0; });
    return p;
}

}  // namespace kplat
