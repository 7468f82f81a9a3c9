/*
 * Display SDK stand-in: instances and properties (librua.so).
 *
 * An instance stands for one display chip; its modules are addressed by a
 * module identifier (category in the low byte, index in the next) and hold
 * numbered properties.
 */
#ifndef RUA_H
#define RUA_H

#include <stddef.h>

#include "rmstatus.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The instance record. Its head is public: the OSD set-up marks the
   instance through osd_ready (byte 0x0C). */
struct RUA {
    RMuint32 magic;    /* 0x00: RUA_MAGIC while the instance lives */
    RMuint32 id;       /* 0x04: numbered from 1 in each process */
    RMuint32 chip;     /* 0x08: the chip number it was created for */
    RMuint8 osd_ready; /* 0x0C */
    RMuint8 reserved[3];
};
#define RUA_MAGIC 0x52554131u
RM_STATIC_ASSERT(offsetof(struct RUA, osd_ready) == 0x0C, "RUA: osd_ready at 0x0C");

/* Module identifiers. */
static inline RMuint32 RUAModuleID(RMuint32 category, RMuint32 index) {
    return ((index & 0xFF) << 8) | (category & 0xFF);
}
#define RUA_CATEGORY_SCALER 4  /* the OSD scalers, index 0 first */
#define RUA_MODULE_SOURCE   6  /* the decoded video source */
#define RUA_MODULE_DISPLAY  51 /* the display output and its routes */

/* Properties: number, owner and value size. */
#define RMGenericPropertyID_OsdSurface               6011 /* scaler, 4 bytes: the OSD surface it shows */
#define RMGenericPropertyID_SourceDisplayAspectRatio 6052 /* source, 8 bytes: two 32-bit integers X, Y */
#define RMGenericPropertyID_DisplayAspectRatio       6055 /* display, 8 bytes: X, Y of route 0 */

/* Creates the instance for chip (0 on this board) into *instance. */
RMstatus RUACreateInstance(struct RUA** instance, RMuint32 chip);
/* Ends the instance; the handle is gone afterwards. */
RMstatus RUADestroyInstance(struct RUA* instance);
/* Reads a property of a module into value (size bytes, exactly the
   property's size). RM_PENDING: not ready yet, ask again; the buffer is
   written only with RM_OK. */
RMstatus RUAGetProperty(struct RUA* instance, RMuint32 module, RMuint32 property, void* value, RMuint32 size);

#ifdef __cplusplus
}
#endif

#endif
