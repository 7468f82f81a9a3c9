// The front end's side of the box's socket: one text command, one reply.
#pragma once

#include <string>

namespace vbox {

// The box folder: VBOX_DIR, else $XDG_RUNTIME_DIR/vbox, else /tmp/vbox-UID.
std::string box_dir();

struct AdminResult {
    bool reached = false;  // false: no box answers at dir
    int status = 1;
    std::string text;
};

// Sends command (words separated by spaces, as typed) to the box at dir.
AdminResult admin(const std::string& dir, const std::string& command, int timeout_ms = 30000);

}  // namespace vbox
