// libRuaTools: the tool layer over the display context. The OSD settings are
// read from the context by their byte offsets, as the SDK lays them out.
#include <string.h>

#include "ruatools.h"
#include "standin.h"

namespace {

using displaysdk::Call;
using displaysdk::kOsdFields;

// The largest OSD the display takes.
const RMuint32 kMaxWidth = 1920, kMaxHeight = 1080;

bool valid(const struct DisplayContext* context) { return context && displaysdk::valid_instance(context->pRUA); }

RMuint32 osd_value(const struct DisplayContext* context, const displaysdk::OsdField& field) {
    const auto* base = field.in_instance ? reinterpret_cast<const unsigned char*>(context->pRUA)
                                         : reinterpret_cast<const unsigned char*>(context);
    if (field.byte) return base[field.offset];
    RMuint32 v;
    memcpy(&v, base + field.offset, sizeof v);
    return v;
}

void context_arg(Call& call, const struct DisplayContext* context) {
    call.arg(" rua=%s", context ? displaysdk::instance_name(context->pRUA).c_str() : "no-context");
}

}  // namespace

extern "C" {

int CreateRuaInstance(struct RUA** instance) {
    Call call("CreateRuaInstance");
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    status = displaysdk::create_instance(instance, 0);
    return call.answer(status == RM_OK ? 0 : status);
}

RMstatus initDisplayOptions(struct DisplayOptions* options) {
    Call call("initDisplayOptions");
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    if (!options) return call.answer(RM_INVALID_PARAMETER);
    *options = {DISPLAY_STANDARD_PAL, 720, 576, DISPLAY_OUTPUT_COMPOSITE | DISPLAY_OUTPUT_RGB};
    return call.answer(RM_OK);
}

RMstatus init_display(struct DisplayContext* context, struct DisplayOptions* options) {
    Call call("init_display");
    context_arg(call, context);
    bool usable = valid(context) && options && options->width && options->height;
    if (usable) {
        call.arg(" mode=%ux%u", options->width, options->height);
        for (const auto& f : kOsdFields) call.arg(" %s=%u", f.name, osd_value(context, f));
    }
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    if (!usable) return call.answer(RM_INVALID_PARAMETER);
    auto& s = call.change_state();
    s.mode[0] = options->width;
    s.mode[1] = options->height;
    for (size_t i = 0; i < displaysdk::kOsdFieldCount; ++i) s.osd[i] = osd_value(context, kOsdFields[i]);
    s.osd_set = true;
    return call.answer(RM_OK);
}

int create_osdbuf(struct DisplayContext* context) {
    Call call("create_osdbuf");
    context_arg(call, context);
    if (context) call.arg(" size=%ux%u", context->osd_width, context->osd_height);
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    if (!valid(context) || !context->osd_width || !context->osd_height || context->osd_width > kMaxWidth ||
        context->osd_height > kMaxHeight)
        return call.answer(RM_INVALID_PARAMETER);
    auto& s = call.change_state();
    s.osd_buffer[0] = context->osd_width;
    s.osd_buffer[1] = context->osd_height;
    return call.answer(0);
}

int ChangeLayerOrder(struct DisplayContext* context, int order) {
    Call call("ChangeLayerOrder");
    context_arg(call, context);
    call.arg(" order=%d", order);
    RMstatus status;
    if (call.preempted(status)) return call.answer(status);
    if (!valid(context)) return call.answer(RM_INVALID_PARAMETER);
    call.change_state().layer_order = order;
    return call.answer(0);
}

}  // extern "C"
