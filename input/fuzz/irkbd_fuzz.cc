// irkbd's frame parsers from arbitrary micro-controller frames. The input
// is a version byte and then records: a selector and its bytes (a frame of
// 7 bytes, or one byte at version 0; a scancode for ioctl 5; stand-by on
// or off; ticks to let pass; a pulse with nothing queued). The driver
// stays loaded for the whole run (the fuzzer's coverage counters must not
// be unloaded with it); each input re-attaches the micro-controller, so
// the version and the layout are learnt anew. Besides not crashing, every
// key and button the driver pressed must be released once its timers have
// run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "board/micro.h"
#include "bench/bench.h"
#include "kplat/input.h"

namespace {

struct Box : bench::Bench {
    Box() {
        if (insmod("irkbd") != 0) std::abort();
        fd = open(201);
        adapter = board.soc_i2c().adapter_nr();
    }
    int fd = -1;
    int adapter = -1;
};

Box& box() {
    static Box* b = new Box;  // lives for the whole run
    return *b;
}

void fail(int line) {
    std::fprintf(stderr, "irkbd_fuzz: check at line %d failed\n", line);
    std::abort();
}

#define check(ok) ((ok) ? (void)0 : fail(__LINE__))

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Box& b = box();
    board::Micro& micro = b.board.model<board::Micro>();
    if (size == 0 || size > 512) return 0;

    uint8_t version = data[0] % 3;
    b.kernel.del_i2c_adapter(b.adapter);
    micro.set_version(version);
    b.adapter = b.kernel.add_i2c_adapter("SMP8634 I2C HW Master", 0, b.board.soc_i2c());
    check(b.adapter >= 0);
    b.proc.ioctl(b.fd, 1, 0);
    kplat::clear_input_events(b.kernel);
    b.take_log();

    size_t i = 1;
    while (i < size) {
        uint8_t sel = data[i++];
        switch (sel % 8) {
        case 0:
        case 1:
        case 2:
        case 3:
            if (version == 0) {
                if (i < size) micro.queue_byte(data[i++]);
            } else if (i + 7 <= size) {
                board::Micro::Frame f;
                for (auto& byte : f) byte = data[i++];
                micro.queue(f);
            } else {
                i = size;
            }
            break;
        case 4:
            if (i < size) {
                uint8_t code = data[i++];
                b.proc.ioctl(b.fd, 5, reinterpret_cast<unsigned long>(&code));
            }
            break;
        case 5: b.proc.ioctl(b.fd, 1, sel >> 3 & 1); break;
        case 6: b.kernel.advance(sel >> 3); break;
        default: micro.pulse(); break;
        }
    }

    // Everything pressed goes up by itself.
    b.kernel.advance(300);
    std::map<std::pair<uint16_t, uint16_t>, int32_t> state;
    for (const auto& e : kplat::input_events(b.kernel))
        if (e.type == 1) state[{e.type, e.code}] = e.value;
    for (const auto& [code, value] : state) check(value == 0);
    check(micro.queued() == 0);
    return 0;
}
