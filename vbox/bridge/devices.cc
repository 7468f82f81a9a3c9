#include "devices.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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
    // A box that hangs must not hang its programs for ever.
    timeval limit = {kReplyTimeoutMs / 1000, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
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

// The process's own memory, copied through a pipe: the kernel checks every
// address, so a driver given a wild pointer fails the ioctl instead of
// crashing the caller. (A pipe's write and read cost less than one
// process_vm_readv on ourselves, and work under user-mode emulation too.)
// The copy may take bytes past the caller's variable (the window of an
// ioctl the driver has not been seen to use yet), as a kernel's would: the
// system calls are made directly, so that neither the bridge's own write
// nor a sanitizer's check of the caller's objects stands between.
int probe_pipe[2] = {-1, -1};

constexpr size_t kPage = 4096;

// Bytes copied from (store: to) the process's address remote, a page at a
// time, up to the first page that is not accessible.
size_t own_copy(uint64_t remote, char* local, size_t n, bool store) {
    if (n == 0) return 0;
    uint64_t end = remote + n;
    if (end < remote || (sizeof(void*) == 4 && end > (uint64_t(1) << 32))) return 0;
    if (probe_pipe[0] < 0 && pipe2(probe_pipe, O_CLOEXEC) != 0) return 0;
    size_t done = 0;
    while (done < n) {
        uint64_t at = remote + done;
        size_t k = kPage - at % kPage;
        if (k > n - done) k = n - done;
        void* addr = reinterpret_cast<void*>(static_cast<uintptr_t>(at));
        const void* src = store ? local + done : addr;
        void* dst = store ? addr : local + done;
        if (syscall(SYS_write, probe_pipe[1], src, k) != static_cast<long>(k)) break;
        if (syscall(SYS_read, probe_pipe[0], dst, k) != static_cast<long>(k)) {
            char sink[kPage];
            if (syscall(SYS_read, probe_pipe[0], sink, k) < 0) { /* drained either way */
            }
            break;
        }
        done += k;
    }
    return done;
}

char io_buf[kMaxMem + sizeof(MemReq) + 64];  // guarded by ctrl_lock

// Answers one memory request of the daemon during an ioctl; body holds its
// payload (h.len bytes).
bool serve_memory(int fd, const MsgHeader& h, const char* body) {
    MemReq rq;
    if (h.len < sizeof rq) return false;
    memcpy(&rq, body, sizeof rq);
    size_t extra = h.len - sizeof rq;
    if (rq.len > kMaxMem || extra != (h.type == MSG_MEM_WRITE ? rq.len : 0)) return false;
    static char buf[kMaxMem];  // guarded by ctrl_lock
    MemReply rep = {0, 0};
    if (h.type == MSG_MEM_READ) {
        if (own_copy(rq.addr, buf, rq.len, false) == rq.len) rep = {1, rq.len};
        return send_msg(fd, MSG_MEM_REPLY, &rep, sizeof rep, buf, rep.len);
    }
    if (h.type == MSG_MEM_WRITE) {
        memcpy(buf, body + sizeof rq, rq.len);
        rep.ok = own_copy(rq.addr, buf, rq.len, true) == rq.len;
    } else {
        // A check reads the range; a range that must be writable is checked
        // by storing back what is there.
        rep.ok = own_copy(rq.addr, buf, rq.len, false) == rq.len &&
                 (rq.writable == 0 || own_copy(rq.addr, buf, rq.len, true) == rq.len);
    }
    return send_msg(fd, MSG_MEM_REPLY, &rep, sizeof rep);
}

// What the driver touched near the argument at the last call of each
// command: that much of the caller's memory goes with the next request.
struct Footprint {
    uint32_t cmd;
    uint16_t read_end, write_end;
    bool known;
};
Footprint footprints[64];  // guarded by ctrl_lock

Footprint& footprint(uint32_t cmd) { return footprints[(cmd * 2654435761u) >> 26]; }

// A command seen for the first time: most pass the address of one int.
constexpr uint32_t kFirstGuess = 4;

#ifdef VBOX_BRIDGE_ONE_THREAD
bool bridge_busy;  // the box's C library has no threads (nor thread-local storage)
#else
__thread bool bridge_busy;
#endif

struct Busy {
    bool was = bridge_busy;
    Busy() { bridge_busy = true; }
    ~Busy() { bridge_busy = was; }
};

// One call at a time on a file's data channel (its answer must reach the
// thread that asked); files share a lock now and then, which only orders them.
pthread_mutex_t data_locks[8] = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER,
                                 PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER,
                                 PTHREAD_MUTEX_INITIALIZER, PTHREAD_MUTEX_INITIALIZER};

struct DataLock {
    pthread_mutex_t* m;
    explicit DataLock(uint64_t inode) : m(&data_locks[inode % 8]) { pthread_mutex_lock(m); }
    ~DataLock() { pthread_mutex_unlock(m); }
};

// Receives exactly n bytes of the channel into to (the program's own
// buffer for a read's data: a bad one gives EFAULT there, the bytes are
// then skipped). A signal while the call waits asks the box to end it.
// False when the channel failed; *fault when to could not take the bytes.
bool recv_answer(int fd, void* to, size_t n, bool* cancelled, bool* fault) {
    char* p = static_cast<char*>(to);
    char sink[512];
    while (n > 0) {
        char* at = fault && *fault ? sink : p;
        size_t k = fault && *fault && n > sizeof sink ? sizeof sink : n;
        ssize_t got = recv(fd, at, k, 0);
        if (got > 0) {
            if (at == p) p += got;
            n -= got;
            continue;
        }
        if (got == 0) return false;
        if (errno == EFAULT && fault) {
            *fault = true;
            continue;
        }
        if (errno == EINTR) {
            if (!*cancelled) {
                *cancelled = true;
                if (!send_msg(fd, MSG_DATA_CANCEL)) return false;
            }
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // The program made its end non-blocking; the answer is on its way.
            pollfd pf = {fd, POLLIN, 0};
            if (poll(&pf, 1, kReplyTimeoutMs) <= 0 && errno != EINTR) return false;
            continue;
        }
        return false;
    }
    return true;
}

// One request on the file's channel and its answer; hints sent before the
// answer are dropped (a poll asks again anyway). The answer's bytes (a
// read's data, at most cap) go to in. -EIO when the box went away.
long data_call(int fd, uint32_t type, uint32_t count, const void* bytes, size_t n, void* in, size_t cap) {
    int fl = fcntl(fd, F_GETFL);
    DataReq rq = {count, fl >= 0 && (fl & O_NONBLOCK) ? kDataNonblock : 0};
    if (!send_msg(fd, type, &rq, sizeof rq, bytes, n)) return -EIO;
    bool cancelled = false;
    for (;;) {
        MsgHeader h;
        if (!recv_answer(fd, &h, sizeof h, &cancelled, nullptr) || h.magic != kMagic) return -EIO;
        if (h.type == MSG_DATA_READY && h.len == 0) continue;
        DataDone done;
        if (h.type != MSG_DATA_DONE || h.len < sizeof done || h.len - sizeof done > cap ||
            !recv_answer(fd, &done, sizeof done, &cancelled, nullptr))
            return -EIO;
        bool fault = false;
        if (!recv_answer(fd, in, h.len - sizeof done, &cancelled, &fault)) return -EIO;
        if (fault) return -EFAULT;
        return static_cast<long>(done.ret);
    }
}

long as_syscall(long r) {
    if (r < 0 && r >= -4095) {
        errno = static_cast<int>(-r);
        return -1;
    }
    return r;
}

}  // namespace

bool in_bridge() { return bridge_busy; }

long device_read(int fd, uint64_t inode, void* buf, unsigned long count) {
    Busy busy;
    DataLock lock(inode);
    if (count > kMaxMem) count = kMaxMem;
    return as_syscall(data_call(fd, MSG_DATA_READ, static_cast<uint32_t>(count), nullptr, 0, buf, count));
}

long device_write(int fd, uint64_t inode, const void* buf, unsigned long count) {
    Busy busy;
    if (count > kMaxMem) count = kMaxMem;
    // The bytes go from the program's memory through the pipe first, so a
    // bad buffer is EFAULT before anything reaches the driver.
    char small[512];
    char* copy = count <= sizeof small ? small : static_cast<char*>(malloc(count));
    if (!copy) return as_syscall(-ENOMEM);
    long r;
    {
        DataLock lock(inode);
        pthread_mutex_lock(&ctrl_lock);  // the probe pipe
        bool readable = own_copy(reinterpret_cast<uintptr_t>(buf), copy, count, false) == count;
        pthread_mutex_unlock(&ctrl_lock);
        r = readable ? data_call(fd, MSG_DATA_WRITE, static_cast<uint32_t>(count), copy, count, nullptr, 0) : -EFAULT;
    }
    if (copy != small) free(copy);
    return as_syscall(r);
}

short device_poll(int fd, uint64_t inode, short events) {
    Busy busy;
    DataLock lock(inode);
    long r = data_call(fd, MSG_DATA_POLL, static_cast<uint16_t>(events), nullptr, 0, nullptr, 0);
    if (r < 0) return POLLHUP | POLLERR;
    return static_cast<short>(r & (events | POLLERR | POLLHUP | POLLNVAL));
}

DeviceOpen open_device(const char* path, int flags, int* out) {
    Busy busy;
    char sock[sizeof(sockaddr_un::sun_path)];
    size_t len = strlen(path);
    if (len >= kMaxPath || !box_socket(sock, sizeof sock)) return DeviceOpen::not_served;
    int fd = connect_to(sock, true);
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
    if (!send_msg(fd, MSG_OPEN, &rq, sizeof rq) || !read_header(fd, h, kReplyTimeoutMs) || h.type != MSG_OPEN_REPLY ||
        h.len != sizeof rep || !read_full(fd, &rep, sizeof rep, kReplyTimeoutMs)) {
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

// Descriptors found to be device channels, by number: the socket's inode
// (unique among live sockets) tells a later check that it is still the
// same one, without asking for its peer.
pthread_mutex_t known_lock = PTHREAD_MUTEX_INITIALIZER;
uint64_t known_devices[256];  // guarded by known_lock

bool is_device(int fd, uint64_t* inode) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
    bool cached = fd >= 0 && fd < 256;
    if (cached) {
        pthread_mutex_lock(&known_lock);
        bool known = known_devices[fd] == st.st_ino;
        pthread_mutex_unlock(&known_lock);
        if (known) {
            *inode = st.st_ino;
            return true;
        }
    }
    char want[sizeof(sockaddr_un::sun_path)];
    if (!box_socket(want, sizeof want)) return false;
    sockaddr_un self;
    socklen_t slen = sizeof self;
    memset(&self, 0, sizeof self);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&self), &slen) != 0 || self.sun_family != AF_UNIX ||
        slen <= sizeof(sa_family_t) || self.sun_path[0] != 0)
        return false;  // not marked: a connection of the front end
    sockaddr_un peer;
    socklen_t plen = sizeof peer;
    memset(&peer, 0, sizeof peer);
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &plen) != 0 || peer.sun_family != AF_UNIX) return false;
    if (strncmp(peer.sun_path, want, sizeof peer.sun_path) != 0) return false;
    if (cached) {
        pthread_mutex_lock(&known_lock);
        known_devices[fd] = st.st_ino;
        pthread_mutex_unlock(&known_lock);
    }
    *inode = st.st_ino;
    return true;
}

long device_ioctl(uint64_t inode, unsigned long cmd, unsigned long arg) {
    Busy busy;
    pthread_mutex_lock(&ctrl_lock);
    long result = -1;
    int err = EIO;
    bool answered = false;
    int fd = control_channel();
    // The window: what the driver took last time, and of that what it
    // stored to, found writable by storing back what is there.
    Footprint& fp = footprint(static_cast<uint32_t>(cmd));
    bool known = fp.known && fp.cmd == static_cast<uint32_t>(cmd);
    uint32_t want = known ? (fp.read_end > fp.write_end ? fp.read_end : fp.write_end) : kFirstGuess;
    if (want > kMaxWindow) want = kMaxWindow;
    static char window[kMaxWindow];
    IoctlReq rq = {inode, static_cast<uint32_t>(cmd), 0, static_cast<uint64_t>(arg), 0, 0};
    if (fd >= 0) {
        rq.sent = static_cast<uint32_t>(own_copy(arg, window, want, false));
        uint32_t store = !known ? 0 : fp.write_end < rq.sent ? fp.write_end : rq.sent;
        rq.writable = static_cast<uint32_t>(own_copy(arg, window, store, true));
    }
    if (fd >= 0 && send_msg(fd, MSG_IOCTL, &rq, sizeof rq, window, rq.sent)) {
        for (;;) {
            MsgHeader h;
            if (!recv_msg(fd, h, io_buf, sizeof io_buf)) break;
            if (h.type == MSG_RESULT && h.len >= sizeof(IoctlResult)) {
                IoctlResult r;
                memcpy(&r, io_buf, sizeof r);
                // The bytes the driver stored into the window.
                bool stored = true;
                size_t at = sizeof r;
                for (uint32_t i = 0; i < r.stores && stored; ++i) {
                    Store st;
                    stored = h.len - at >= sizeof st;
                    if (!stored) break;
                    memcpy(&st, io_buf + at, sizeof st);
                    at += sizeof st;
                    stored = st.len <= h.len - at && st.offset + uint64_t(st.len) <= rq.writable &&
                             own_copy(arg + st.offset, io_buf + at, st.len, true) == st.len;
                    at += st.len;
                }
                if (!stored) break;
                fp = {static_cast<uint32_t>(cmd), static_cast<uint16_t>(r.read_end), static_cast<uint16_t>(r.write_end),
                      true};
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
                !serve_memory(fd, h, io_buf))
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
