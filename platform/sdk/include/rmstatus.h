/*
 * Display SDK stand-in: status values and fixed-size types shared by every
 * call of the SDK (libllad.so).
 *
 * Every call answers a status. RM_OK (6) is success and RM_PENDING (7)
 * means the request is still running: ask again. The tool layer's own calls
 * (ruatools.h) answer 0 for success instead.
 *
 * On the host these libraries stand in for the vendor's: they keep the
 * display in a state folder, answer as scripted there and log every call
 * (see platform/sdk/state/display_state.h).
 */
#ifndef RMSTATUS_H
#define RMSTATUS_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint8_t RMuint8;
typedef uint32_t RMuint32;
typedef int32_t RMint32;
typedef int RMstatus;

enum {
    RM_OK = 6,
    RM_PENDING = 7,
    RM_ERROR = 8,             /* the display is not usable (state folder, hardware) */
    RM_INVALID_PARAMETER = 9, /* a null or unknown handle, a value out of range */
    RM_NOT_FOUND = 10,        /* no such chip, module or property */
    RM_INSUFFICIENT_MEMORY = 11
};

/* The name of a status ("RM_PENDING"), "RM_UNKNOWN_STATUS" for others. */
const char* RMstatusToString(RMstatus status);

#ifdef __cplusplus
}
#define RM_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define RM_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#endif
