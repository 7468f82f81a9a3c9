#include "common.h"

#include <stdarg.h>
#include <stdio.h>
#include <time.h>

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

long long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000LL + t.tv_nsec / 1000000;
}

}  // namespace

RMstatus read_property(struct RUA* instance, RMuint32 module, RMuint32 property, void* value, RMuint32 size) {
    const long long give_up = now_ms() + kPendingLimitMs;
    RMstatus status;
    do {
        status = RUAGetProperty(instance, module, property, value, size);
    } while (status == RM_PENDING && now_ms() < give_up);
    return status;
}
