// A loop-back character device served by the host, for checking the path
// that host-served devices take (kernel, processes, the virtual box's
// bridge) while the board has no other: what is written to it is read
// back in order. A read with nothing waiting sleeps until a write comes
// (-EAGAIN for a non-blocking file), poll tells readable and writable, and
// one ioctl hands out a record whose layout depends on the caller's ABI,
// as the smart-card reader's answer-to-reset record does:
//
//     struct loopback_recent {     // LOOPBACK_RECENT, arg points to it
//         unsigned char len;       // in: room at data; out: bytes copied
//         unsigned char writes;    // out: writes so far (modulo 256)
//         char *data;              // gets the start of the latest write
//     };                           // 8 bytes on the box, 16 on a 64-bit host
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "kplat/chrdev.h"
#include "kplat/kernel.h"

namespace board {

class Loopback : public kplat::CharDevice {
public:
    static constexpr unsigned LOOPBACK_RECENT = 0x4c01;
    static constexpr size_t capacity = 4096;

    explicit Loopback(kplat::Kernel& kernel) : ready_(kernel) {}

    long read(kplat::File& file, unsigned long buf, unsigned long count) override;
    long write(kplat::File& file, unsigned long buf, unsigned long count) override;
    unsigned poll(kplat::File& file, kplat::PollTable& table) override;
    long ioctl(kplat::File& file, unsigned cmd, unsigned long arg) override;

private:
    std::deque<uint8_t> bytes_;
    std::vector<uint8_t> latest_;  // the latest write
    unsigned writes_ = 0;
    kplat::WaitQueue ready_;
};

}  // namespace board
