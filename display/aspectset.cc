// aspectset: shows the display's and the source's aspect ratios, then sets
// the display aspect ratio X:Y of the main route.
//   aspectset X Y
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "common.h"
#include "ruatools.h"

namespace {

// Reads a ratio property into ratio (two integers) after its progress line.
RMstatus read_ratio(struct RUA* instance, RMuint32 module, RMuint32 property, RMint32 ratio[2]) {
    progress("Calling RUAGetProperty...\n");
    ratio[0] = ratio[1] = 0;  // a failed read leaves the buffer as it was
    return read_property(instance, module, property, ratio, 2 * sizeof(RMint32));
}

// The decimal value of an argument; text that is not a number gives 0.
// Parsed wide and cut to 32 bits, so every value means the same on the box
// and on a 64-bit host.
int number(const char* text) {
    long long v = strtoll(text, nullptr, 10);
    return static_cast<int>(static_cast<RMuint32>(v));
}

}  // namespace

int main(int argc, char** argv) {
    struct DisplayContext ctx;
    memset(&ctx, 0, sizeof ctx);  // handle slots and the route start at 0
    if (argc < 3) {
        printf("Error: too few arguments\n");
        printf("Usage: aspectset X Y\n");
        return -1;
    }
    RMstatus status = RUACreateInstance(&ctx.pRUA, 0);
    if (status != RM_OK) {
        report("Error creating RUA instance! %d\n", status);
        return -1;
    }
    status = DCCOpen(ctx.pRUA, &ctx.pDCC);
    if (status != RM_OK) {
        report("Error Opening DCC! %d\n", status);
        return -1;
    }

    // The current ratios are shown for the log; a read that fails is
    // reported and passed over.
    RMint32 ratio[2];
    status = read_ratio(ctx.pRUA, RUA_MODULE_DISPLAY, RMGenericPropertyID_DisplayAspectRatio, ratio);
    if (status != RM_OK) report("Cannot set SD aspect ratio: %s\n", RMstatusToString(status));
    printf("RMGenericPropertyID_DisplayAspectRatio %d %d\n", ratio[0], ratio[1]);
    status = read_ratio(ctx.pRUA, RUA_MODULE_SOURCE, RMGenericPropertyID_SourceDisplayAspectRatio, ratio);
    if (status != RM_OK) report("Cannot get SD aspect ratio: %s\n", RMstatusToString(status));
    printf("RMGenericPropertyID_SourceDisplayAspectRatio %d %d\n", ratio[0], ratio[1]);

    int x = number(argv[1]), y = number(argv[2]);
    char line[96];
    snprintf(line, sizeof line, "Calling DCCSetRouteDisplayAspectRatio %d %d...\n", x, y);
    progress(line);
    // The SDK takes eight bits of each; its answer is not examined.
    DCCSetRouteDisplayAspectRatio(ctx.pDCC, ctx.route, static_cast<RMuint8>(x & 0xFF), static_cast<RMuint8>(y & 0xFF));

    status = DCCClose(ctx.pDCC);
    if (status != RM_OK) {
        report("Cannot close DCC %d\n", status);
        return -1;
    }
    status = RUADestroyInstance(ctx.pRUA);
    if (status != RM_OK) {
        report("Cannot destroy RUA instance %d\n", status);
        return -1;
    }
    return 0;
}
