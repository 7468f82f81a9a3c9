#include "devices.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "../common/wire.h"

namespace vbox {

namespace {

// The daemon answers within this time or the request fails; a box that
// hangs must not hang its programs for ever.
constexpr int kReplyTimeoutMs = 30000;

bool box_socket(char* out, size_t n) {
    const char* dir = getenv("VBOX_DIR");
    return dir && *dir && socket_path(dir, out, n);
}

// One control channel per process, opened on first use and again after a
// fork (the child must not share the parent's request stream).
pthread_mutex_t ctrl_lock = PTHREAD_MUTEX_INITIALIZER;
int ctrl_fd = -1;
pid_t ctrl_pid = 0;

int control_channel() {
    pid_t me = getpid();
    if (ctrl_fd >= 0 && ctrl_pid == me) return ctrl_fd;
    if (ctrl_fd >= 0) close(ctrl_fd);  // inherited from the parent
    ctrl_fd = -1;
    char path[sizeof(sockaddr_un::sun_path)];
    if (!box_socket(path, sizeof path)) return -1;
    int fd = connect_to(path);
    if (fd < 0) return -1;
    CtrlHello hello = {static_cast<uint32_t>(me), static_cast<uint32_t>(sizeof(void*) * 8)};
    if (!send_msg(fd, MSG_CTRL, &hello, sizeof hello)) {
        close(fd);
        return -1;
    }
    ctrl_fd = fd;
    ctrl_pid = me;
    return fd;
}

void drop_control_channel() {
    if (ctrl_fd >= 0) close(ctrl_fd);
    ctrl_fd = -1;
}

// The process's own memory, read and written through a pipe: the kernel
// checks the address and answers EFAULT for a bad one, so a driver given a
// wild pointer fails the ioctl instead of crashing the caller.
struct Probe {
    int rd = -1, wr = -1;
    bool open() { int p[2]; if (pipe2(p, O_CLOEXEC) != 0) return false; rd = p[0]; wr = p[1]; return true; }
    ~Probe() { if (rd >= 0) close(rd); if (wr >= 0) close(wr); }
};

constexpr size_t kChunk = 4096;

// Copies len bytes at user address addr into out.
bool read_own(Probe& p, uint64_t addr, void* out, size_t len) {
    char* o = static_cast<char*>(out);
    for (size_t done = 0; done < len;) {
        size_t k = len - done < kChunk ? len - done : kChunk;
        const void* src = reinterpret_cast<const void*>(static_cast<uintptr_t>(addr + done));
        if (write(p.wr, src, k) != static_cast<ssize_t>(k)) return false;
        if (read(p.rd, o + done, k) != static_cast<ssize_t>(k)) return false;
        done += k;
    }
    return true;
}

// Stores len bytes of data at user address addr. A partial store is left
// as the kernel would leave it: up to the first bad byte's chunk.
bool write_own(Probe& p, uint64_t addr, const void* data, size_t len) {
    const char* d = static_cast<const char*>(data);
    for (size_t done = 0; done < len;) {
        size_t k = len - done < kChunk ? len - done : kChunk;
        void* dst = reinterpret_cast<void*>(static_cast<uintptr_t>(addr + done));
        if (write(p.wr, d + done, k) != static_cast<ssize_t>(k)) return false;
        ssize_t got = read(p.rd, dst, k);
        if (got != static_cast<ssize_t>(k)) {
            char sink[kChunk];
            if (read(p.rd, sink, k) < 0) { /* pipe drained either way */ }
            return false;
        }
        done += k;
    }
    return true;
}

bool addr_fits(uint64_t addr, uint64_t len) {
    uint64_t end = addr + len;
    return end >= addr && (sizeof(void*) == 8 || end <= (uint64_t(1) << 32));
}

// Answers one memory request of the daemon during an ioctl.
bool serve_memory(int fd, const MsgHeader& h, Probe& probe) {
    MemReq rq;
    if (h.len < sizeof rq || !read_full(fd, &rq, sizeof rq, kReplyTimeoutMs)) return false;
    size_t extra = h.len - sizeof rq;
    static char buf[kMaxMem];  // guarded by ctrl_lock
    if (h.type == MSG_MEM_WRITE) {
        if (extra != rq.len || extra > kMaxMem || !read_full(fd, buf, extra, kReplyTimeoutMs)) return false;
    } else if (extra != 0) {
        return false;
    }
    if (rq.len > kMaxMem) {
        return false;
    }
    MemReply rep = {0, 0};
    bool fits = addr_fits(rq.addr, rq.len);
    if (h.type == MSG_MEM_READ) {
        if (fits && read_own(probe, rq.addr, buf, rq.len)) rep = {1, rq.len};
        return send_msg(fd, MSG_MEM_REPLY, &rep, sizeof rep, buf, rep.len);
    }
    if (h.type == MSG_MEM_WRITE) {
        rep.ok = fits && write_own(probe, rq.addr, buf, rq.len);
    } else {
        // A check reads the range; a range that must be writable is checked
        // by storing back what is there.
        rep.ok = fits;
        for (uint32_t done = 0; rep.ok && done < rq.len; done += kChunk) {
            uint32_t k = rq.len - done < kChunk ? rq.len - done : kChunk;
            rep.ok = read_own(probe, rq.addr + done, buf, k) &&
                     (rq.writable == 0 || write_own(probe, rq.addr + done, buf, k));
        }
    }
    return send_msg(fd, MSG_MEM_REPLY, &rep, sizeof rep);
}

}  // namespace

DeviceOpen open_device(const char* path, int flags, int* out) {
    char sock[sizeof(sockaddr_un::sun_path)];
    size_t len = strlen(path);
    if (len >= kMaxPath || !box_socket(sock, sizeof sock)) return DeviceOpen::not_served;
    int fd = connect_to(sock);
    if (fd < 0) return DeviceOpen::not_served;  // no box running: the host's own node
    struct stat st;
    OpenReq rq;
    memset(&rq, 0, sizeof rq);
    if (fstat(fd, &st) == 0) rq.inode = st.st_ino;
    rq.flags = static_cast<uint32_t>(flags);
    rq.pid = static_cast<uint32_t>(getpid());
    rq.pointer_bits = static_cast<uint32_t>(sizeof(void*) * 8);
    memcpy(rq.path, path, len);
    MsgHeader h;
    OpenReply rep;
    if (!send_msg(fd, MSG_OPEN, &rq, sizeof rq) || !read_header(fd, h, kReplyTimeoutMs) ||
        h.type != MSG_OPEN_REPLY || h.len != sizeof rep || !read_full(fd, &rep, sizeof rep, kReplyTimeoutMs)) {
        close(fd);
        errno = EIO;
        return DeviceOpen::failed;
    }
    if (rep.status == OPEN_OK) {
        if (!(flags & O_CLOEXEC)) fcntl(fd, F_SETFD, 0);
        if (flags & O_NONBLOCK) fcntl(fd, F_SETFL, O_NONBLOCK);
        *out = fd;
        return DeviceOpen::opened;
    }
    close(fd);
    if (rep.status == OPEN_NOT_SERVED) return DeviceOpen::not_served;
    errno = rep.error > 0 ? rep.error : EIO;
    return DeviceOpen::failed;
}

bool is_device(int fd, uint64_t* inode) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    char want[sizeof(sockaddr_un::sun_path)];
    if (!box_socket(want, sizeof want)) return false;
    sockaddr_un peer;
    socklen_t plen = sizeof peer;
    memset(&peer, 0, sizeof peer);
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &plen) != 0 || peer.sun_family != AF_UNIX) return false;
    if (strncmp(peer.sun_path, want, sizeof peer.sun_path) != 0) return false;
    *inode = st.st_ino;
    return true;
}

long device_ioctl(uint64_t inode, unsigned long cmd, unsigned long arg) {
    pthread_mutex_lock(&ctrl_lock);
    long result = -1;
    int err = EIO;
    bool answered = false;
    Probe probe;
    int fd = control_channel();
    IoctlReq rq = {inode, static_cast<uint32_t>(cmd), 0, static_cast<uint64_t>(arg)};
    if (fd >= 0 && probe.open() && send_msg(fd, MSG_IOCTL, &rq, sizeof rq)) {
        for (;;) {
            MsgHeader h;
            if (!read_header(fd, h, kReplyTimeoutMs)) break;
            if (h.type == MSG_RESULT && h.len == sizeof(IoctlResult)) {
                IoctlResult r;
                if (!read_full(fd, &r, sizeof r, kReplyTimeoutMs)) break;
                answered = true;
                // The system-call layer: -4095..-1 are errors, all else a value.
                if (r.ret < 0 && r.ret >= -4095) {
                    err = static_cast<int>(-r.ret);
                } else {
                    result = static_cast<long>(r.ret);
                    err = 0;
                }
                break;
            }
            if ((h.type != MSG_MEM_READ && h.type != MSG_MEM_WRITE && h.type != MSG_MEM_CHECK) ||
                !serve_memory(fd, h, probe))
                break;
        }
    }
    if (!answered) drop_control_channel();  // the stream's state is unknown now
    pthread_mutex_unlock(&ctrl_lock);
    if (err) {
        errno = err;
        return -1;
    }
    return result;
}

}  // namespace vbox
