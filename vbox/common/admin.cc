#include "admin.h"

#include <stdlib.h>
#include <sys/un.h>
#include <unistd.h>

#include "wire.h"

namespace vbox {

std::string box_dir() {
    const char* d = getenv("VBOX_DIR");
    if (d && *d) return d;
    const char* run = getenv("XDG_RUNTIME_DIR");
    if (run && *run) return std::string(run) + "/vbox";
    return "/tmp/vbox-" + std::to_string(getuid());
}

AdminResult admin(const std::string& dir, const std::string& command, int timeout_ms) {
    AdminResult r;
    char path[sizeof(sockaddr_un::sun_path)];
    if (!socket_path(dir.c_str(), path, sizeof path)) return r;
    int fd = connect_to(path);
    if (fd < 0) return r;
    MsgHeader h;
    AdminReply rep;
    if (send_msg(fd, MSG_ADMIN, command.data(), command.size()) && read_header(fd, h, timeout_ms) &&
        h.type == MSG_ADMIN_REPLY && h.len >= sizeof rep && read_full(fd, &rep, sizeof rep, timeout_ms)) {
        r.text.resize(h.len - sizeof rep);
        if (read_full(fd, r.text.data(), r.text.size(), timeout_ms)) {
            r.reached = true;
            r.status = rep.status;
        }
    }
    close(fd);
    return r;
}

}  // namespace vbox
