// A kernel timer for a device of the host: a board model keeping its own
// time, such as a smart card that takes a while to answer. The function
// runs on the CPU in timer context, as a driver's timer function does, at
// the tick it is due: virtual time in tests (advance), the wall clock in
// the virtual box.
//
//     kplat::Timer later(kernel, [&] { queue_.push_back(0x90); ready_.wake(); });
//     later.start(20);   // 200 ms from now
#pragma once

#include <functional>

struct timer_list;

namespace kplat {

class Kernel;

class Timer {
public:
    Timer(Kernel& kernel, std::function<void()> fn);
    // Stops it. Destroy it before its Kernel.
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    // (Re)arms it to run ticks from now; 0 runs it at the next tick. From
    // any thread or from the CPU (a device's call, the timer's function).
    void start(unsigned long ticks);
    void stop();
    bool pending();

private:
    static void fire(void* self);
    Kernel& kernel_;
    std::function<void()> fn_;
    struct timer_list* timer_ = nullptr;
};

}  // namespace kplat
