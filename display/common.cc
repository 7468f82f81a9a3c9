#include "common.h"

#include <stdarg.h>
#include <stdio.h>
#include <sys/times.h>
#include <unistd.h>

void progress(const char* line) {
    fputs(line, stdout);
    fflush(stdout);
}

void report(const char* format, ...) {
    fflush(stdout);
    va_list ap;
    va_start(ap, format);
    vfprintf(stderr, format, ap);
    va_end(ap);
}

namespace {

// The box's 2.4 kernel has no monotonic clock (clock_gettime came with
// 2.6), and its time of day moves when the clock is set. times() counts the
// clock ticks since boot, which nothing sets; the unsigned difference stays
// right across the counter's wrap.
unsigned long ticks() {
    struct tms t;
    return static_cast<unsigned long>(times(&t));
}

}  // namespace

RMstatus read_property(struct RUA* instance, RMuint32 module, RMuint32 property, void* value, RMuint32 size) {
    long hz = sysconf(_SC_CLK_TCK);
    if (hz <= 0) hz = 100;
    const unsigned long limit = static_cast<unsigned long>(kPendingLimitMs) * static_cast<unsigned long>(hz) / 1000;
    const unsigned long start = ticks();
    RMstatus status;
    do {
        status = RUAGetProperty(instance, module, property, value, size);
    } while (status == RM_PENDING && ticks() - start < limit);
    return status;
}
