// libdcc: display control on an instance; route 0 is the main display.
#include <stdlib.h>

#include "dcc.h"
#include "standin.h"

struct DCC {
    RMuint32 id;
    struct RUA* instance;
    struct DCC* next;
};

namespace {

unsigned next_dcc = 1;
struct DCC* live;  // every open handle, as for the instances

bool valid(const struct DCC* dcc) {
    for (struct DCC* d = live; d; d = d->next)
        if (d == dcc) return true;
    return false;
}

std::string name(const struct DCC* dcc) {
    if (!dcc) return "null";
    return valid(dcc) ? std::to_string(dcc->id) : "bad";
}

}  // namespace

using displaysdk::Call;

extern "C" {

RMstatus DCCOpen(struct RUA* instance, struct DCC** dcc) {
    Call call("DCCOpen");
    call.arg(" rua=%s", displaysdk::instance_name(instance).c_str());
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    if (!displaysdk::valid_instance(instance) || !dcc) return call.answer(RM_INVALID_PARAMETER);
    auto* d = static_cast<struct DCC*>(calloc(1, sizeof(struct DCC)));
    if (!d) return call.answer(RM_INSUFFICIENT_MEMORY);
    *d = {next_dcc++, instance, live};
    live = d;
    *dcc = d;
    return call.answer(RM_OK);
}

RMstatus DCCClose(struct DCC* dcc) {
    Call call("DCCClose");
    call.arg(" dcc=%s", name(dcc).c_str());
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    for (struct DCC** at = &live; *at; at = &(*at)->next) {
        if (*at != dcc) continue;
        *at = dcc->next;
        free(dcc);
        return call.answer(RM_OK);
    }
    return call.answer(RM_INVALID_PARAMETER);
}

RMstatus DCCSetRouteDisplayAspectRatio(struct DCC* dcc, RMuint32 route, RMuint8 x, RMuint8 y) {
    Call call("DCCSetRouteDisplayAspectRatio");
    call.arg(" dcc=%s route=%u x=%u y=%u", name(dcc).c_str(), route, x, y);
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    if (!valid(dcc) || x == 0 || y == 0) return call.answer(RM_INVALID_PARAMETER);
    if (route != 0) return call.answer(RM_NOT_FOUND);
    auto& s = call.change_state();
    s.display_ratio[0] = x;
    s.display_ratio[1] = y;
    return call.answer(RM_OK);
}

}  // extern "C"
