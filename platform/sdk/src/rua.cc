// librua: instances of the display chip and the properties of its modules.
#include <stdlib.h>
#include <string.h>

#include "standin.h"

namespace displaysdk {

namespace {

unsigned next_instance = 1;

// The SDK keeps every live instance: handles are checked against the list,
// never dereferenced unchecked, and instances a program leaves open at its
// end are still the SDK's.
struct Instance {
    struct RUA rua;
    Instance* next;
};
Instance* live;

// The module that holds a property.
RMuint32 owner(RMuint32 property) {
    switch (property) {
    case RMGenericPropertyID_OsdSurface: return RUAModuleID(RUA_CATEGORY_SCALER, 0);
    case RMGenericPropertyID_SourceDisplayAspectRatio: return RUA_MODULE_SOURCE;
    default: return RUA_MODULE_DISPLAY;
    }
}

}  // namespace

RMstatus create_instance(struct RUA** instance, RMuint32 chip) {
    if (!instance) return RM_INVALID_PARAMETER;
    if (chip != 0) return RM_NOT_FOUND;  // one display chip on this board
    auto* in = static_cast<Instance*>(calloc(1, sizeof(Instance)));
    if (!in) return RM_INSUFFICIENT_MEMORY;
    in->rua.magic = RUA_MAGIC;
    in->rua.id = next_instance++;
    in->rua.chip = chip;
    in->next = live;
    live = in;
    *instance = &in->rua;
    return RM_OK;
}

bool valid_instance(const struct RUA* instance) {
    for (Instance* in = live; in; in = in->next)
        if (&in->rua == instance) return true;
    return false;
}

std::string instance_name(const struct RUA* instance) {
    if (!instance) return "null";
    return valid_instance(instance) ? std::to_string(instance->id) : "bad";
}

}  // namespace displaysdk

using displaysdk::Call;
using displaysdk::Instance;
using displaysdk::instance_name;
using displaysdk::valid_instance;

extern "C" {

RMstatus RUACreateInstance(struct RUA** instance, RMuint32 chip) {
    Call call("RUACreateInstance");
    call.arg(" chip=%u", chip);
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    return call.answer(displaysdk::create_instance(instance, chip));
}

RMstatus RUADestroyInstance(struct RUA* instance) {
    Call call("RUADestroyInstance");
    call.arg(" rua=%s", instance_name(instance).c_str());
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    for (Instance** at = &displaysdk::live; *at; at = &(*at)->next) {
        if (&(*at)->rua != instance) continue;
        Instance* gone = *at;
        *at = gone->next;
        free(gone);
        return call.answer(RM_OK);
    }
    return call.answer(RM_INVALID_PARAMETER);
}

RMstatus RUAGetProperty(struct RUA* instance, RMuint32 module, RMuint32 property, void* value, RMuint32 size) {
    Call call("RUAGetProperty");
    call.arg(" rua=%s module=%u property=%u size=%u", instance_name(instance).c_str(), module, property, size);
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    if (!valid_instance(instance) || !value) return call.answer(RM_INVALID_PARAMETER);
    unsigned n = displaysdk::property_values(property);
    if (!n || module != displaysdk::owner(property)) return call.answer(RM_NOT_FOUND);
    if (size != n * sizeof(RMuint32)) return call.answer(RM_INVALID_PARAMETER);
    if (call.pending(property)) return call.answer(RM_PENDING);
    const auto& s = call.state();
    const RMuint32* from = property == RMGenericPropertyID_OsdSurface           ? &s.surface
                           : property == RMGenericPropertyID_DisplayAspectRatio ? s.display_ratio
                                                                                : s.source_ratio;
    memcpy(value, from, size);
    return call.answer(RM_OK);
}

}  // extern "C"
