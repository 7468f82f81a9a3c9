// The user memory of whoever is calling a driver from the box's daemon: a
// program inside the box, reached over its control channel, or the
// daemon's own buffers when it moves a device's read and write data.
//
// A program's ioctl brings a window of its memory at the argument along.
// The driver's copies inside the window are answered here: reads from the
// bytes sent, stores kept to go back with the result (exactly the bytes
// the driver stored, nothing else). A copy that reaches outside the window
// (or a store to bytes the caller did not find writable) is asked of the
// program on its own, so a bad pointer fails at the copy that touches it.
#pragma once

#include <stdint.h>

#include <bitset>
#include <string>

#include "../common/proto.h"
#include "kplat/user.h"

namespace vbox {

class CallerMemory : public kplat::UserSpace {
public:
    // Copies go to the program on channel fd until detach(); -1 means the
    // daemon's own memory. The window: `sent` bytes of the program's memory
    // at base, the first `writable` of them writable.
    void attach(int fd, uint64_t base, const char* bytes, uint32_t sent, uint32_t writable);
    void detach() { fd_ = -1; }
    // The channel failed during the call (the program died or answered
    // nonsense): every later copy of the call fails, and the channel is done.
    bool broken() const { return broken_; }

    // The bytes the driver stored into the window, as Store records (one
    // for each run of them) with their final values, and how far past the
    // base it read and wrote.
    void result(IoctlResult& res, std::string& stores) const;

    unsigned long copy_in(void* to, unsigned long from, unsigned long n) override;
    unsigned long copy_out(unsigned long to, const void* from, unsigned long n) override;
    bool check(unsigned long addr, unsigned long n, bool write) override;

    // How long a program may take to answer one copy.
    static constexpr int kReplyTimeoutMs = 5000;

private:
    bool exchange(unsigned type, unsigned long addr, unsigned len, bool write, const void* out, void* in);
    // The part of [addr, addr + n) that starts at the window's base offset
    // it lies in: its offset, or -1 when addr is outside the window.
    long offset_in(unsigned long addr, uint32_t limit) const;
    void note(unsigned long addr, unsigned long n, uint32_t& end) const;

    int fd_ = -1;
    bool broken_ = false;
    uint64_t base_ = 0;
    uint32_t sent_ = 0, writable_ = 0;
    char window_[kMaxWindow];
    std::bitset<kMaxWindow> stored_;  // the window's bytes the driver stored to
    mutable uint32_t read_end_ = 0, write_end_ = 0;
    kplat::LocalUserSpace local_;
};

}  // namespace vbox
