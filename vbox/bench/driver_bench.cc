// The same ioctl loop without the bridge: a process of the kernel platform
// calling the driver in this very process, on the virtual board. What the
// bridge adds is the difference to the bridged loop.
//   driver_bench MODULE_DIR SECONDS
// Prints "calls seconds calls_per_second".
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "board/board.h"
#include "kplat/kernel.h"

namespace {

double now() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: driver_bench MODULE_DIR SECONDS\n");
        return 2;
    }
    kplat::Options o;
    o.module_path = {argv[1]};
    o.clock = kplat::Clock::wall;
    kplat::Kernel kernel(o);
    int result = 1;
    {
        board::Board board(kernel);
        kplat::Process& p = kernel.spawn("bench");
        int fd = kernel.insmod("st6413", "scarts_en=3") == 0 ? p.open(61, 0) : -1;
        if (fd >= 0) {
            int v = 0;
            long calls = 0;
            double limit = atof(argv[2]), start = now(), t;
            do {
                for (int i = 0; i < 64; i++, calls++)
                    if (p.ioctl(fd, 0x2038, reinterpret_cast<unsigned long>(&v)) < 0) return 1;
                t = now() - start;
            } while (t < limit);
            printf("%ld %.3f %.0f\n", calls, t, calls / t);
            p.close(fd);
            result = 0;
        } else {
            fprintf(stderr, "driver_bench: st6413: %s", kernel.last_error().c_str());
        }
    }
    return result;
}
