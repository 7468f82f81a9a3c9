// The user memory of whoever is calling a driver from the box's daemon: a
// program inside the box, reached over its control channel (it answers the
// driver's copies from its own memory), or the daemon's own buffers when it
// moves a device's read and write data.
#pragma once

#include <atomic>

#include "kplat/user.h"

namespace vbox {

class CallerMemory : public kplat::UserSpace {
public:
    // Copies go to the program on channel fd until detach(); -1 means the
    // daemon's own memory.
    void attach(int fd) { fd_ = fd; broken_ = false; }
    void detach() { fd_ = -1; }
    // The channel failed during the call (the program died or answered
    // nonsense): every later copy of the call fails, and the channel is done.
    bool broken() const { return broken_; }

    unsigned long copy_in(void* to, unsigned long from, unsigned long n) override;
    unsigned long copy_out(unsigned long to, const void* from, unsigned long n) override;
    bool check(unsigned long addr, unsigned long n, bool write) override;

    // How long a program may take to answer one copy.
    static constexpr int kReplyTimeoutMs = 5000;

private:
    bool exchange(unsigned type, unsigned long addr, unsigned len, bool write, const void* out, void* in);
    int fd_ = -1;
    bool broken_ = false;
    kplat::LocalUserSpace local_;
};

}  // namespace vbox
