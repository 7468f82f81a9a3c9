/*
 * Display SDK stand-in: the tool layer (libRuaTools.so). The display context
 * is the record the tools share with the SDK; byte offsets are the SDK's
 * and are the same on the box (32-bit pointers) and on a 64-bit host:
 * handles sit in 8-byte slots.
 *
 * The OSD fields are read by init_display and create_osdbuf; besides the
 * size of the OSD (osd_width, osd_height) their meaning is the vendor's, so
 * they are named by offset.
 */
#ifndef RUATOOLS_H
#define RUATOOLS_H

#include "dcc.h"
#include "rua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct DisplayContext {
    RMuint8 reserved_00[0x14];
    RMuint32 osd_14, osd_18, osd_1c;
    RMuint32 osd_width;  /* 0x20 */
    RMuint32 osd_height; /* 0x24 */
    RMuint32 osd_28, osd_2c, osd_30;
    RMuint8 osd_34, reserved_35[3];
    RMuint32 osd_38, osd_3c, osd_40;
    RMuint8 reserved_44[0x28];
    RMuint32 osd_6c;
    union {
        struct DCC* pDCC;
        uint64_t pDCC_slot;
    };              /* 0x70: filled by DCCOpen */
    RMuint32 route; /* 0x78 */
    RMuint8 reserved_7c[0x44];
    union {
        struct RUA* pRUA;
        uint64_t pRUA_slot;
    }; /* 0xC0: filled by the instance creation */
    RMuint8 reserved_c8[0x40];
    RMuint32 osd_108, osd_10c, osd_110, osd_114;
    RMuint8 reserved_118[0x28];
    RMuint32 osd_140, osd_144;
    RMuint8 osd_148, reserved_149[3];
    RMuint32 osd_14c;
};
RM_STATIC_ASSERT(offsetof(struct DisplayContext, osd_14) == 0x14, "osd_14");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, osd_34) == 0x34, "osd_34");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, osd_6c) == 0x6C, "osd_6c");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, pDCC) == 0x70, "pDCC");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, route) == 0x78, "route");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, pRUA) == 0xC0, "pRUA");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, osd_108) == 0x108, "osd_108");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, osd_140) == 0x140, "osd_140");
RM_STATIC_ASSERT(offsetof(struct DisplayContext, osd_148) == 0x148, "osd_148");
RM_STATIC_ASSERT(sizeof(struct DisplayContext) == 0x150, "the display context is 0x150 bytes");

/* The TV mode init_display sets up. */
struct DisplayOptions {
    RMuint32 standard; /* DISPLAY_STANDARD_* */
    RMuint32 width, height;
    RMuint32 outputs; /* DISPLAY_OUTPUT_* bits */
};
#define DISPLAY_STANDARD_PAL     1
#define DISPLAY_OUTPUT_COMPOSITE 1u
#define DISPLAY_OUTPUT_RGB       2u

/* Creates the instance for chip 0 into *instance: 0, else the status. */
int CreateRuaInstance(struct RUA** instance);
/* Fills the options with the box's mode (PAL, 720x576, composite and RGB). */
RMstatus initDisplayOptions(struct DisplayOptions* options);
/* Sets up the display in the options' mode, with the context's OSD fields. */
RMstatus init_display(struct DisplayContext* context, struct DisplayOptions* options);
/* Creates the OSD buffer of the context's size: 0, else the status. */
int create_osdbuf(struct DisplayContext* context);
/* Puts the OSD layer at position order (1: on top of the video): 0, else the status. */
int ChangeLayerOrder(struct DisplayContext* context, int order);

#ifdef __cplusplus
}
#endif

#endif
