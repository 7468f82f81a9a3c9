// libllad: the stand-in's low-level layer. Where the vendor's reaches the
// chip, this one keeps the display's state in the state folder, applies the
// script and logs every call.
#include <stdarg.h>
#include <stdio.h>

#include "standin.h"

namespace displaysdk {

namespace {

// Without a state folder the display lives as long as the program.
DisplayState process_state;

// Runs of equal log lines (a read asked again while pending) are written
// once, then counted; the count is written when another line comes or the
// program ends.
struct LogTail {
    std::string dir, line;
    unsigned repeats = 0;

    std::string take_repeats() {
        std::string note;
        if (repeats) note = "repeated " + std::to_string(repeats) + " more times\n";
        repeats = 0;
        return note;
    }
    void add(const std::string& to, const std::string& text) {
        if (to == dir && text == line) {
            ++repeats;
            return;
        }
        std::string note = take_repeats();
        if (!note.empty()) append_log(dir, note);
        dir = to;
        line = text;
        append_log(dir, text);
    }
    ~LogTail() {
        std::string note = take_repeats();
        if (!note.empty()) append_log(dir, note);
    }
};
LogTail log_tail;

bool reported;  // the folder's trouble, told once per program

}  // namespace

Call::Call(const char* name) : name_(name), dir_(state_dir()) {
    if (dir_.empty()) return;
    std::string error;
    usable_ = folder_.open(dir_, error);
    if (!usable_ && !reported) {
        fprintf(stderr, "display SDK: %s\n", error.c_str());
        reported = true;
    }
}

void Call::arg(const char* format, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    args_ += buf;
}

bool Call::preempted(RMstatus& status) {
    if (!usable_) {
        status = RM_ERROR;
        return true;
    }
    if (dir_.empty()) return false;
    auto& fails = folder_.script.fail;
    for (auto it = fails.begin(); it != fails.end(); ++it) {
        if (it->call != name_) continue;
        status = it->status;
        scripted_ = true;
        if (it->count > 0 && --it->count == 0) fails.erase(it);
        script_changed_ = true;
        return true;
    }
    return false;
}

bool Call::pending(RMuint32 property) {
    if (dir_.empty()) return false;
    auto& pending = folder_.script.pending;
    for (auto it = pending.begin(); it != pending.end(); ++it) {
        if (it->property != property) continue;
        if (it->count > 0) {
            if (--it->count == 0) pending.erase(it);
            script_changed_ = true;
        }
        return true;
    }
    return false;
}

const DisplayState& Call::state() { return dir_.empty() ? process_state : folder_.state; }

DisplayState& Call::change_state() {
    state_changed_ = true;
    return dir_.empty() ? process_state : folder_.state;
}

RMstatus Call::answer(RMstatus status) {
    if (dir_.empty() || !usable_) return status;
    std::string error;
    // A count that is used up must not be used again by the next program.
    if ((script_changed_ && !folder_.save_script(error)) || (state_changed_ && !folder_.save_state(error))) {
        fprintf(stderr, "display SDK: %s\n", error.c_str());
        status = RM_ERROR;
    }
    char tail[48];
    snprintf(tail, sizeof tail, " -> %d%s\n", status, scripted_ ? " (scripted)" : "");
    log_tail.add(dir_, name_ + args_ + tail);
    return status;
}

}  // namespace displaysdk

extern "C" const char* RMstatusToString(RMstatus status) {
    switch (status) {
    case RM_OK: return "RM_OK";
    case RM_PENDING: return "RM_PENDING";
    case RM_ERROR: return "RM_ERROR";
    case RM_INVALID_PARAMETER: return "RM_INVALID_PARAMETER";
    case RM_NOT_FOUND: return "RM_NOT_FOUND";
    case RM_INSUFFICIENT_MEMORY: return "RM_INSUFFICIENT_MEMORY";
    default: return "RM_UNKNOWN_STATUS";
    }
}
