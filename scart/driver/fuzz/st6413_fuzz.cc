// st6413's ioctl commands from arbitrary input: records of a selector
// byte, a flags byte and a 32-bit value, run against the driver on the
// virtual board. The driver stays loaded for the whole run (the fuzzer's
// coverage counters must not be unloaded with it); each input starts from
// the load-time settings, restored through the driver's own commands. Besides not crashing, the driver must keep the bits the
// chip is never to have changed, answer only 0, -EINVAL or -EFAULT, write
// nothing for a rejected value, and always write the whole shadow.
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "board/stv6413.h"
#include "bench/bench.h"
#include "st6413.h"

namespace {

struct Box : bench::Bench {
    Box() {
        if (insmod("st6413") != 0) std::abort();
        fd = open(61);
    }
    int fd = -1;
};

void set(Box& b, unsigned cmd, int value) { b.ioctl_int(b.fd, cmd, value); }

// Back to the settings of load time (01 11 11 85 80 F4 88, not muted,
// global standby left and its flag 0).
void reset(Box& b) {
    set(b, AVSIOSGLOBALSTANDBY, 0);
    set(b, AVSIOSMUTE, 0);
    set(b, AVSIOSSTANDBY0, 0);
    for (unsigned cmd :
         {AVSIOSSTANDBY1, AVSIOSSTANDBY2, AVSIOSSTANDBY4, AVSIOSSTANDBY5, AVSIOSSTANDBY6, AVSIOSMISC0, AVSIOSMISC3,
          AVSIOSMISC4, AVSIOSMISC6, AVSIOSRGBGAIN, AVSIOSRGBEXTRAGAIN, AVSIOSTVSTEREO, AVSIOSVCRSTEREO,
          AVSIOSTVAUDIOGAIN, AVSIOSCINCHAUDIOGAIN, AVSIOSENCODERCLAMP, AVSIOSVCRCLAMP, AVSIOSVOLUME})
        set(b, cmd, 0);
    for (unsigned cmd : {AVSIOSVSW0, AVSIOSVSW1, AVSIOSVSW2, AVSIOSASW0, AVSIOSASW1, AVSIOSFBLK, AVSIOSMISC7,
                         AVSIOSFBACTIVE, AVSIOSAUDIOINPUTADJUST})
        set(b, cmd, 1);
    set(b, AVSIOSTSB, 3);
    set(b, AVSIOSTSBVCR, 3);
}

Box& box() {
    static Box* b = new Box;  // lives for the whole run
    return *b;
}

void fail(int line) {
    std::fprintf(stderr, "st6413_fuzz: check at line %d failed\n", line);
    std::abort();
}

#define check(ok) ((ok) ? (void)0 : fail(__LINE__))

// A command code: mostly from around the tables, sometimes anything.
unsigned command(uint8_t sel, uint32_t value) {
    switch (sel % 4) {
    case 0: return AVSIOS_FIRST - 1 + (sel >> 2) % (AVSIOS_LAST - AVSIOS_FIRST + 3);
    case 1: return AVSIOG_FIRST - 1 + (sel >> 2) % (AVSIOG_LAST - AVSIOG_FIRST + 3);
    case 2: return AVSIOSGLOBALSTANDBY;
    default: return value;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Box& b = box();
    board::Stv6413& chip = b.board.model<board::Stv6413>();
    chip.set_acknowledge(true);
    reset(b);
    static const std::array<uint8_t, 7> load_time = {0x01, 0x11, 0x11, 0x85, 0x80, 0xF4, 0x88};
    check(chip.registers() == load_time);
    int fd = b.fd;
    check(fd >= 0);

    for (size_t i = 0; i + 6 <= size; i += 6) {
        uint8_t sel = data[i], how = data[i + 1];
        uint32_t value;
        std::memcpy(&value, data + i + 2, 4);
        unsigned cmd = command(sel, value);
        if (how & 0x80) chip.set_acknowledge(!(how & 0x40));
        int v = static_cast<int>(value);
        unsigned long arg = (how & 0x20) ? 0 : reinterpret_cast<unsigned long>(&v);

        chip.clear_transfers();
        long r = b.proc.ioctl(fd, cmd, arg);
        check(r == 0 || r == -EINVAL || r == -EFAULT);
        auto writes = chip.writes();
        if (r == -EINVAL) check(writes.empty());
        // A refused write is cut short; an acknowledged one is the whole shadow.
        for (const auto& t : chip.transfers())
            for (const auto& m : t.messages)
                if (!m.read) {
                    check(m.data.size() <= 8 && (m.data.empty() || m.data[0] == 0x00));
                    check(!m.acked || m.data.size() == 8);
                }

        if (!writes.empty() && !(how & 0x40 && how & 0x80)) {
            auto regs = chip.registers();
            check((regs[0] & 0x01) == 0x01);
            check((regs[1] & 0x40) == 0x00);
            check((regs[2] & 0x88) == 0x00);
            check((regs[4] & 0x26) == 0x00);
            check((regs[6] & 0x88) == 0x88);
        }
        if (r == 0 && !(cmd & 0x1000) && arg) {
            if (cmd == AVSIOGVOLUME) check(v >= 0 && v <= 62 && v % 2 == 0);
            if (cmd == AVSIOGMUTE) check(v == 0 || v == 1);
            if (cmd == AVSIOGSBMODE) check(v >= 0 && v <= 2);
        }
    }

    b.kernel.clear_log();
    return 0;
}
