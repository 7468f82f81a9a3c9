#include "wire.h"

#include <errno.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace vbox {

bool socket_path(const char* dir, char* out, size_t n) {
    int w = snprintf(out, n, "%s/sock", dir);
    return w > 0 && static_cast<size_t>(w) < n && static_cast<size_t>(w) < sizeof(sockaddr_un::sun_path);
}

int connect_to(const char* path, bool marked) {
    sockaddr_un sa;
    memset(&sa, 0, sizeof sa);
    sa.sun_family = AF_UNIX;
    size_t len = strlen(path);
    if (len >= sizeof sa.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    memcpy(sa.sun_path, path, len);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int r = 0;
    if (marked) {
        sockaddr_un self;
        memset(&self, 0, sizeof self);
        self.sun_family = AF_UNIX;
        r = bind(fd, reinterpret_cast<sockaddr*>(&self), sizeof(sa_family_t));  // autobind
    }
    if (r == 0) {
        do r = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        while (r < 0 && errno == EINTR);
    }
    if (r < 0) {
        int e = errno;
        close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

bool send_msg(int fd, uint32_t type, const void* a, size_t alen, const void* b, size_t blen) {
    MsgHeader h = {kMagic, type, static_cast<uint32_t>(alen + blen)};
    iovec iov[3] = {{&h, sizeof h}, {const_cast<void*>(a), alen}, {const_cast<void*>(b), blen}};
    int n = 3;
    iovec* v = iov;
    while (n > 0) {
        msghdr m;
        memset(&m, 0, sizeof m);
        m.msg_iov = v;
        m.msg_iovlen = n;
        ssize_t w = sendmsg(fd, &m, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        while (n > 0 && static_cast<size_t>(w) >= v->iov_len) {
            w -= v->iov_len;
            ++v;
            --n;
        }
        if (n > 0) {
            v->iov_base = static_cast<char*>(v->iov_base) + w;
            v->iov_len -= w;
        }
    }
    return true;
}

bool read_full(int fd, void* buf, size_t n, int timeout_ms) {
    char* p = static_cast<char*>(buf);
    while (n > 0) {
        if (timeout_ms >= 0) {
            pollfd pf = {fd, POLLIN, 0};
            int r = poll(&pf, 1, timeout_ms);
            if (r < 0 && errno == EINTR) continue;
            if (r <= 0) return false;
        }
        ssize_t got = recv(fd, p, n, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        n -= got;
    }
    return true;
}

bool read_header(int fd, MsgHeader& h, int timeout_ms) {
    return read_full(fd, &h, sizeof h, timeout_ms) && h.magic == kMagic && h.len <= kMaxPayload;
}

bool recv_msg(int fd, MsgHeader& h, void* body, size_t cap, int timeout_ms) {
    if (timeout_ms >= 0) {
        pollfd pf = {fd, POLLIN, 0};
        int r;
        do r = poll(&pf, 1, timeout_ms);
        while (r < 0 && errno == EINTR);
        if (r <= 0) return false;
    }
    iovec iov[2] = {{&h, sizeof h}, {body, cap}};
    msghdr m;
    memset(&m, 0, sizeof m);
    m.msg_iov = iov;
    m.msg_iovlen = 2;
    ssize_t got;
    do got = recvmsg(fd, &m, 0);
    while (got < 0 && errno == EINTR);
    if (got <= 0) return false;
    size_t n = static_cast<size_t>(got);
    if (n < sizeof h && !read_full(fd, reinterpret_cast<char*>(&h) + n, sizeof h - n, timeout_ms)) return false;
    if (h.magic != kMagic || h.len > cap) return false;
    size_t have = n > sizeof h ? n - sizeof h : 0;
    if (have > h.len) return false;  // the peer sent ahead: not this protocol
    return read_full(fd, static_cast<char*>(body) + have, h.len - have, timeout_ms);
}

bool skip_bytes(int fd, size_t n, int timeout_ms) {
    char buf[512];
    while (n > 0) {
        size_t k = n < sizeof buf ? n : sizeof buf;
        if (!read_full(fd, buf, k, timeout_ms)) return false;
        n -= k;
    }
    return true;
}

}  // namespace vbox
