// i2c-dev's calls from arbitrary input, on the virtual board with the
// SCART switch's driver holding its address: each step picks a caller (a
// box program or a host one), a bus and a call, and lays the rest of the
// input into the caller's memory as the call's record, its pointers aimed
// into that memory or at nothing. Besides not crashing, every call must
// answer a count or one of the errors the driver and the core give, and
// no call may leave the kernel's memory allocated.
#include <sys/mman.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/bench.h"

namespace {

constexpr size_t kMem = 4096;
// Mapped beyond kMem: a message of up to 8192 bytes from anywhere in the
// memory stays inside the mapping.
constexpr size_t kMapped = kMem + 16384;

struct Box : bench::Bench {
    Box() {
        for (const char* m : {"gpio", "i2c-tuner", "st6413", "i2c-dev"})
            if (insmod(m) != 0) std::abort();
        int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_32BIT
        flags |= MAP_32BIT;
#endif
        mem = static_cast<uint8_t*>(mmap(nullptr, kMapped, PROT_READ | PROT_WRITE, flags, -1, 0));
        if (mem == MAP_FAILED) std::abort();
        callers[0] = &spawn("box", kplat::Abi::ilp32);
        callers[1] = sizeof(void*) == 8 ? &spawn("host", kplat::Abi::lp64) : callers[0];
    }
    uint8_t* mem;
    kplat::Process* callers[2];
};

Box& box() {
    static Box* b = new Box;  // lives for the whole run
    return *b;
}

void fail(int line) {
    std::fprintf(stderr, "i2c_dev_fuzz: check at line %d failed\n", line);
    std::abort();
}

#define check(ok) ((ok) ? (void)0 : fail(__LINE__))

bool known_error(long r) {
    switch (-r) {
    case 1:  // the core's -1 for a failed SMBus transfer
    case EINVAL:
    case EFAULT:
    case EBUSY:
    case ENOMEM:
    case ENODEV:
    case EREMOTEIO:
    case ETIMEDOUT:
    case EIO:
    case ENXIO: return true;
    }
    return false;
}

const unsigned kCalls[] = {0x0703, 0x0704, 0x0705, 0x0706, 0x0707, 0x0720, 0x0701, 0x0702};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Box& b = box();
    unsigned long before = b.kernel.kmalloc_live();
    for (size_t at = 0; at + 4 <= size;) {
        uint8_t sel = data[at], arg = data[at + 1];
        size_t len = data[at + 2] | (data[at + 3] & 0x0f) << 8;
        at += 4;
        if (len > size - at) len = size - at;
        kplat::Process& p = *b.callers[sel & 1];
        int fd = p.open(89, (sel >> 1) & 1);
        check(fd >= 0);
        // The record at the start of the memory; pointer-sized words whose
        // value is small become addresses in the memory (or 8: nothing).
        memset(b.mem, 0, kMem);
        memcpy(b.mem, data + at, len < kMem ? len : kMem);
        size_t word = p.abi() == kplat::Abi::ilp32 ? 4 : 8;
        for (size_t off = 0; off + word <= 64; off += word) {
            uint32_t v;
            memcpy(&v, b.mem + off, 4);
            if (v && v < kMem / 2 && (v & 3) == 0) {
                uint64_t a = reinterpret_cast<uintptr_t>(b.mem + kMem / 2 + v / 2);
                memcpy(b.mem + off, &a, word);
            } else if (v == 1) {
                uint64_t a = 8;
                memcpy(b.mem + off, &a, word);
            }
        }
        at += len;
        long r;
        unsigned long mem = reinterpret_cast<uintptr_t>(b.mem);
        switch ((sel >> 2) % 10) {
        case 8: r = p.read(fd, mem, arg); break;
        case 9: r = p.write(fd, mem, arg); break;
        default: {
            unsigned cmd = kCalls[(sel >> 2) % 8];
            // Addresses and flags as numbers, records by pointer; the
            // retries and time-out of the adapter stay as they are.
            if (cmd == 0x0701 || cmd == 0x0702) cmd = 0x0704;
            unsigned long a = cmd == 0x0703 || cmd == 0x0704 || cmd == 0x0706 ? arg | (sel & 0x80) << 3
                              : sel & 0x80                                    ? 8
                                                                              : mem;
            r = p.ioctl(fd, cmd, a);
        }
        }
        check(r >= 0 || known_error(r));
        check(p.close(fd) == 0);
    }
    check(b.kernel.kmalloc_live() == before);
    return 0;
}
