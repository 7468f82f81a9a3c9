// The one error reporter of the shell.
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "vreg.h"

FILE* vreg_report_stream = nullptr;  // null: standard error
const char* vreg_progname = "vreg";

void vreg_report(int status, int err, const char* fmt, ...) {
    FILE* out = vreg_report_stream ? vreg_report_stream : stderr;
    // Standard output first, so both keep their order on one terminal.
    fflush(stdout);
    va_list ap;
    va_start(ap, fmt);
    vfprintf(out, fmt, ap);
    va_end(ap);
    if (err) fprintf(out, ": %s", strerror(err));
    fputc('\n', out);
    if (status) exit(status);
}
