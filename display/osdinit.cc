// osdinit: sets up the on-screen-display layer through the display SDK and
// prints the surface identifier of the OSD scaler. Run once by the start-up
// scripts; it takes no arguments.
#include <stdio.h>
#include <string.h>

#include "common.h"
#include "ruatools.h"

namespace {

// The SDK's options for the box's mode, then the OSD settings into the
// context (the SDK's layout; init_display reads them).
int InitOsd(struct DisplayContext* ctx, struct DisplayOptions* options) {
    RMstatus status = initDisplayOptions(options);
    if (status != RM_OK) {
        report("Error initializing display options! %d\n", status);
        return -1;
    }
    // The instance record takes a mark too: no instance, no OSD.
    if (!ctx->pRUA) return -1;
    ctx->osd_14 = 1;
    ctx->osd_18 = 5;
    ctx->osd_1c = 4;
    ctx->osd_width = 720;
    ctx->osd_height = 576;
    ctx->osd_28 = 3;
    ctx->osd_2c = 4;
    ctx->osd_30 = 3;
    ctx->osd_34 = 1;
    ctx->osd_38 = 1;
    ctx->osd_3c = 3;
    ctx->osd_40 = 3;
    ctx->osd_6c = 0;
    ctx->pRUA->osd_ready = 1;
    ctx->osd_108 = 255;
    ctx->osd_10c = 0;
    ctx->osd_110 = 0;
    ctx->osd_114 = 0;
    ctx->osd_140 = 255;
    ctx->osd_144 = 255;
    ctx->osd_148 = 0;
    ctx->osd_14c = 0;
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0)) {
        printf(
            "Usage: osdinit\n"
            "Sets up the on-screen-display layer through the display SDK and prints its surface ID.\n");
        return 0;
    }
    struct DisplayContext ctx;
    struct DisplayOptions options;
    memset(&ctx, 0, sizeof ctx);
    memset(&options, 0, sizeof options);

    progress("CreateRuaInstance...\n");
    if (CreateRuaInstance(&ctx.pRUA) != 0) {
        report("Error in CreateRuaInstance\n");
        return -1;
    }
    progress("InitOsd...\n");
    int rc = InitOsd(&ctx, &options);
    if (rc != 0) {
        report("Error: InitOsd returned %d\n", rc);
        return -1;
    }
    progress("init_display...\n");
    init_display(&ctx, &options);  // its answer is not examined
    progress("create_osdbuf...\n");
    rc = create_osdbuf(&ctx);
    if (rc != 0) {
        report("Error: create_osdbuf return value %d\n", rc);
        return -1;
    }
    progress("RUAGetProperty...\n");
    const RMuint32 scaler = RUAModuleID(RUA_CATEGORY_SCALER, 0);
    RMuint32 surface = 0;
    if (read_property(ctx.pRUA, scaler, RMGenericPropertyID_OsdSurface, &surface, sizeof surface) != RM_OK) {
        report("Error: cannot get property %d, scaler %lu\n", RMGenericPropertyID_OsdSurface,
               static_cast<unsigned long>(scaler));
        return -1;
    }
    progress("ChangeLayerOrder...\n");
    rc = ChangeLayerOrder(&ctx, 1);
    if (rc != 0) {
        report("Error: ChangeLayerOrder returned %d\n", rc);
        return -1;
    }
    printf("Surface ID: %lu\n", static_cast<unsigned long>(surface));
    return 0;
}
