// The seam between the stand-in's libraries. libllad keeps the display's
// state (the state folder, see display_state.h) and answers for every call;
// librua owns the instances, which the tool layer creates too.
#pragma once

#include <string>

#include "display_state.h"
#include "rua.h"

namespace displaysdk {

// One SDK call from its entry to its answer. The state folder stays locked
// meanwhile, so concurrent programs and console commands see whole calls.
class Call {
public:
    explicit Call(const char* name);
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // Appends to the call's arguments in the log (start with a space).
    void arg(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // True when the call must answer at once with status: the state folder
    // is unusable (RM_ERROR), or the script answers this call (it then does
    // nothing else).
    bool preempted(RMstatus& status);
    // Whether this read of property is to answer RM_PENDING (the script's
    // count goes down by one).
    bool pending(RMuint32 property);
    // The display as it is, and to be changed (kept with the answer).
    const DisplayState& state();
    DisplayState& change_state();
    // Saves what changed, logs the call and returns status.
    RMstatus answer(RMstatus status);

private:
    const char* name_;
    std::string args_;
    std::string dir_;
    StateFolder folder_;
    bool usable_ = true;
    bool scripted_ = false;
    bool state_changed_ = false;
    bool script_changed_ = false;
};

// librua: creates an instance for chip into *instance.
RMstatus create_instance(struct RUA** instance, RMuint32 chip);
// librua: whether instance is one that lives (created, not destroyed).
bool valid_instance(const struct RUA* instance);
// A handle as the log names it: its number, "null" or "bad".
std::string instance_name(const struct RUA* instance);

}  // namespace displaysdk
