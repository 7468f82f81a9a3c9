/*
 * Display SDK stand-in: display control (libdcc.so). A DCC handle is opened
 * on an instance and drives the display's routes; route 0 is the main one.
 */
#ifndef DCC_H
#define DCC_H

#include "rua.h"

#ifdef __cplusplus
extern "C" {
#endif

struct DCC;

RMstatus DCCOpen(struct RUA* instance, struct DCC** dcc);
RMstatus DCCClose(struct DCC* dcc);
/* Sets the display aspect ratio X:Y of a route; neither may be 0. */
RMstatus DCCSetRouteDisplayAspectRatio(struct DCC* dcc, RMuint32 route, RMuint8 x, RMuint8 y);

#ifdef __cplusplus
}
#endif

#endif
