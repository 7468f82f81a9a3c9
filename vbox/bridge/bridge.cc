// The interposed entry points of the device bridge. Every way glibc offers
// to open a file by name comes here first: a device node that the running
// box serves is opened in the box (the descriptor is a channel to the box's
// daemon, so read, write, poll and close work natively); any other path
// goes to the real function (the next one in the lookup order) with its
// flags and mode unchanged. ioctl, read, write, poll and select on a served
// descriptor run the driver's calls in the box when the program makes them
// (close, dup, fcntl and fork act on the descriptor natively). ("/dev/mem" needs no bridge: in the box's mount
// namespace it is the box's memory file.)
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <time.h>
#include <unistd.h>

#include "devices.h"

namespace {

using open_fn = int (*)(const char*, int, ...);
using openat_fn = int (*)(int, const char*, int, ...);
using open2_fn = int (*)(const char*, int);
using openat2_fn = int (*)(int, const char*, int);

template <class F>
F next(const char* name, F* cache) {
    if (!*cache) *cache = (F)dlsym(RTLD_NEXT, name);
    return *cache;
}

bool wants_mode(int flags) {
#ifdef O_TMPFILE
    if ((flags & O_TMPFILE) == O_TMPFILE) return true;
#endif
    return (flags & O_CREAT) != 0;
}

// A node of the running box: *result is the descriptor, or -1 with errno.
bool served(const char* path, int flags, int* result) {
    if (!path || strncmp(path, "/dev/", 5) != 0) return false;
    int fd = -1;
    switch (vbox::open_device(path, flags, &fd)) {
    case vbox::DeviceOpen::opened: *result = fd; return true;
    case vbox::DeviceOpen::failed: *result = -1; return true;
    case vbox::DeviceOpen::not_served: break;
    }
    return false;
}

int missing() {
    errno = ENOSYS;
    return -1;
}

template <class F>
int do_open(const char* name, F* cache, const char* path, int flags, mode_t mode) {
    int fd;
    if (served(path, flags, &fd)) return fd;
    F real = next(name, cache);
    return real ? real(path, flags, mode) : missing();
}

template <class F>
int do_openat(const char* name, F* cache, int dirfd, const char* path, int flags, mode_t mode) {
    int fd;
    if (served(path, flags, &fd)) return fd;
    F real = next(name, cache);
    return real ? real(dirfd, path, flags, mode) : missing();
}

open_fn real_open, real_open64;
openat_fn real_openat, real_openat64;
open2_fn real_open_2, real_open64_2;
openat2_fn real_openat_2, real_openat64_2;

using ioctl_fn = int (*)(int, unsigned long, ...);
ioctl_fn real_ioctl;

// Requests the box's kernel answers for the file itself, before any driver:
// they act on the descriptor, which here is the channel.
bool file_request(unsigned long request) {
    return request == FIONBIO || request == FIOCLEX || request == FIONCLEX || request == FIOASYNC;
}

using read_fn = ssize_t (*)(int, void*, size_t);
using write_fn = ssize_t (*)(int, const void*, size_t);
using ppoll_fn = int (*)(struct pollfd*, nfds_t, const struct timespec*, const sigset_t*);
read_fn real_read;
write_fn real_write;
ppoll_fn real_ppoll;

// A descriptor of the box's device files; never the bridge's own.
constexpr int64_t kNsPerSec = 1000000000;

bool device_fd(int fd, uint64_t* inode) { return fd >= 0 && !vbox::in_bridge() && vbox::is_device(fd, inode); }

// Nanoseconds in 64 bits: the box's long is 32 bits wide.
int64_t now_ns() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * kNsPerSec + t.tv_nsec;
}

int64_t span_ns(const timespec& t) { return static_cast<int64_t>(t.tv_sec) * kNsPerSec + t.tv_nsec; }

timespec as_timespec(int64_t ns) { return {static_cast<time_t>(ns / kNsPerSec), static_cast<long>(ns % kNsPerSec)}; }

// poll over any mix of descriptors: the box's files answer with their
// drivers' masks; while none is ready, the wait covers the others and the
// hints of the box's files (that one may have become ready: ask again).
// timeout null: for ever.
int poll_files(struct pollfd* fds, nfds_t n, const struct timespec* timeout, const sigset_t* mask) {
    ppoll_fn real = next("ppoll", &real_ppoll);
    if (!real) return missing();
    constexpr nfds_t kStack = 64;
    uint64_t inode;
    bool any = false;
    for (nfds_t i = 0; i < n && !any; ++i) any = device_fd(fds[i].fd, &inode);
    if (!any) return real(fds, n, timeout, mask);
    struct pollfd stack_set[kStack];
    bool stack_dev[kStack];
    struct pollfd* set = n <= kStack ? stack_set : static_cast<struct pollfd*>(malloc(n * sizeof *set));
    bool* dev = n <= kStack ? stack_dev : static_cast<bool*>(malloc(n));
    if (!set || !dev) {
        if (set != stack_set) free(set);
        if (dev != stack_dev) free(dev);
        errno = ENOMEM;
        return -1;
    }
    int64_t deadline = timeout ? now_ns() + span_ns(*timeout) : 0;
    int result;
    for (;;) {
        int ready = 0;
        for (nfds_t i = 0; i < n; ++i) {
            set[i] = fds[i];
            dev[i] = device_fd(fds[i].fd, &inode);
            fds[i].revents = 0;
            if (!dev[i]) continue;
            fds[i].revents = vbox::device_poll(fds[i].fd, inode, fds[i].events);
            if (fds[i].revents) ++ready;
            set[i].events = POLLIN;  // the box's hint
        }
        timespec left = {0, 0};
        if (!ready && timeout) {
            int64_t ns = deadline - now_ns();
            if (ns > 0) left = as_timespec(ns);
        }
        int r = real(set, n, ready || timeout ? &left : nullptr, mask);
        if (r < 0) {
            result = -1;
            break;
        }
        int count = 0;
        for (nfds_t i = 0; i < n; ++i) {
            if (!dev[i]) fds[i].revents = set[i].revents;
            if (fds[i].revents) ++count;
        }
        if (count > 0 || (timeout && now_ns() >= deadline)) {
            result = count;
            break;
        }
    }
    int e = errno;
    if (set != stack_set) free(set);
    if (dev != stack_dev) free(dev);
    errno = e;
    return result;
}

int select_files(int nfds, fd_set* rd, fd_set* wr, fd_set* ex, const struct timespec* timeout, const sigset_t* mask,
                 struct timeval* left) {
    if (nfds < 0 || nfds > FD_SETSIZE) {
        errno = EINVAL;
        return -1;
    }
    struct pollfd set[FD_SETSIZE];
    nfds_t n = 0;
    for (int fd = 0; fd < nfds; ++fd) {
        short ev = (rd && FD_ISSET(fd, rd) ? POLLIN : 0) | (wr && FD_ISSET(fd, wr) ? POLLOUT : 0) |
                   (ex && FD_ISSET(fd, ex) ? POLLPRI : 0);
        if (ev) set[n++] = {fd, ev, 0};
    }
    int64_t start = now_ns();
    int r = poll_files(set, n, timeout, mask);
    if (left && timeout) {
        int64_t ns = span_ns(*timeout) - (now_ns() - start);
        if (ns < 0) ns = 0;
        *left = {static_cast<time_t>(ns / kNsPerSec), static_cast<suseconds_t>(ns % kNsPerSec / 1000)};
    }
    if (r < 0) return -1;
    int count = 0;
    for (nfds_t i = 0; i < n; ++i) {
        int fd = set[i].fd;
        short re = set[i].revents;
        if (re & POLLNVAL) {
            errno = EBADF;
            return -1;
        }
        bool in = rd && FD_ISSET(fd, rd) && (re & (POLLIN | POLLHUP | POLLERR));
        bool out = wr && FD_ISSET(fd, wr) && (re & (POLLOUT | POLLERR));
        bool pri = ex && FD_ISSET(fd, ex) && (re & POLLPRI);
        if (rd && !in) FD_CLR(fd, rd);
        if (wr && !out) FD_CLR(fd, wr);
        if (ex && !pri) FD_CLR(fd, ex);
        count += in + out + pri;
    }
    return count;
}

bool any_device(int nfds, fd_set* rd, fd_set* wr, fd_set* ex) {
    uint64_t inode;
    for (int fd = 0; fd < nfds && fd < FD_SETSIZE; ++fd)
        if (((rd && FD_ISSET(fd, rd)) || (wr && FD_ISSET(fd, wr)) || (ex && FD_ISSET(fd, ex))) && device_fd(fd, &inode))
            return true;
    return false;
}

}  // namespace

#define MODE_ARG(flags, last)                                                                                          \
    mode_t mode = 0;                                                                                                   \
    if (wants_mode(flags)) {                                                                                           \
        va_list ap;                                                                                                    \
        va_start(ap, last);                                                                                            \
        mode = (mode_t)va_arg(ap, int);                                                                                \
        va_end(ap);                                                                                                    \
    }

extern "C" {

__attribute__((visibility("default"))) int open(const char* path, int flags, ...) {
    MODE_ARG(flags, flags);
    return do_open("open", &real_open, path, flags, mode);
}

__attribute__((visibility("default"))) int open64(const char* path, int flags, ...) {
    MODE_ARG(flags, flags);
    return do_open("open64", &real_open64, path, flags, mode);
}

__attribute__((visibility("default"))) int openat(int dirfd, const char* path, int flags, ...) {
    MODE_ARG(flags, flags);
    return do_openat("openat", &real_openat, dirfd, path, flags, mode);
}

__attribute__((visibility("default"))) int openat64(int dirfd, const char* path, int flags, ...) {
    MODE_ARG(flags, flags);
    return do_openat("openat64", &real_openat64, dirfd, path, flags, mode);
}

// The fortified forms, which take no mode.
__attribute__((visibility("default"))) int __open_2(const char* path, int flags) {
    int fd;
    if (served(path, flags, &fd)) return fd;
    open2_fn real = next("__open_2", &real_open_2);
    return real ? real(path, flags) : missing();
}

__attribute__((visibility("default"))) int __open64_2(const char* path, int flags) {
    int fd;
    if (served(path, flags, &fd)) return fd;
    open2_fn real = next("__open64_2", &real_open64_2);
    return real ? real(path, flags) : missing();
}

__attribute__((visibility("default"))) int __openat_2(int dirfd, const char* path, int flags) {
    int fd;
    if (served(path, flags, &fd)) return fd;
    openat2_fn real = next("__openat_2", &real_openat_2);
    return real ? real(dirfd, path, flags) : missing();
}

__attribute__((visibility("default"))) int __openat64_2(int dirfd, const char* path, int flags) {
    int fd;
    if (served(path, flags, &fd)) return fd;
    openat2_fn real = next("__openat64_2", &real_openat64_2);
    return real ? real(dirfd, path, flags) : missing();
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    uint64_t inode;
    if (!file_request(request) && vbox::is_device(fd, &inode))
        return static_cast<int>(vbox::device_ioctl(inode, request, reinterpret_cast<unsigned long>(arg)));
    ioctl_fn real = next("ioctl", &real_ioctl);
    return real ? real(fd, request, arg) : missing();
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* buf, size_t count) {
    uint64_t inode;
    if (device_fd(fd, &inode)) return vbox::device_read(fd, inode, buf, count);
    read_fn real = next("read", &real_read);
    return real ? real(fd, buf, count) : missing();
}

__attribute__((visibility("default"))) ssize_t __read_chk(int fd, void* buf, size_t count, size_t buflen) {
    if (count > buflen) abort();  // as the fortified read does: a buffer overflow
    return read(fd, buf, count);
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void* buf, size_t count) {
    uint64_t inode;
    if (device_fd(fd, &inode)) return vbox::device_write(fd, inode, buf, count);
    write_fn real = next("write", &real_write);
    return real ? real(fd, buf, count) : missing();
}

__attribute__((visibility("default"))) int ppoll(struct pollfd* fds, nfds_t n, const struct timespec* timeout,
                                                 const sigset_t* mask) {
    return poll_files(fds, n, timeout, mask);
}

__attribute__((visibility("default"))) int __ppoll_chk(struct pollfd* fds, nfds_t n, const struct timespec* timeout,
                                                       const sigset_t* mask, size_t fdslen) {
    if (fdslen / sizeof *fds < n) abort();
    return poll_files(fds, n, timeout, mask);
}

__attribute__((visibility("default"))) int poll(struct pollfd* fds, nfds_t n, int ms) {
    timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    return poll_files(fds, n, ms < 0 ? nullptr : &t, nullptr);
}

__attribute__((visibility("default"))) int __poll_chk(struct pollfd* fds, nfds_t n, int ms, size_t fdslen) {
    if (fdslen / sizeof *fds < n) abort();
    return poll(fds, n, ms);
}

__attribute__((visibility("default"))) int select(int nfds, fd_set* rd, fd_set* wr, fd_set* ex, struct timeval* tv) {
    if (vbox::in_bridge() || !any_device(nfds, rd, wr, ex)) {
        using select_fn = int (*)(int, fd_set*, fd_set*, fd_set*, struct timeval*);
        static select_fn real_select;
        select_fn real = next("select", &real_select);
        return real ? real(nfds, rd, wr, ex, tv) : missing();
    }
    if (tv && (tv->tv_sec < 0 || tv->tv_usec < 0)) {
        errno = EINVAL;
        return -1;
    }
    timespec t = {tv ? tv->tv_sec : 0, tv ? tv->tv_usec * 1000L : 0};
    return select_files(nfds, rd, wr, ex, tv ? &t : nullptr, nullptr, tv);
}

__attribute__((visibility("default"))) int pselect(int nfds, fd_set* rd, fd_set* wr, fd_set* ex,
                                                   const struct timespec* timeout, const sigset_t* mask) {
    if (vbox::in_bridge() || !any_device(nfds, rd, wr, ex)) {
        using pselect_fn = int (*)(int, fd_set*, fd_set*, fd_set*, const struct timespec*, const sigset_t*);
        static pselect_fn real_pselect;
        pselect_fn real = next("pselect", &real_pselect);
        return real ? real(nfds, rd, wr, ex, timeout, mask) : missing();
    }
    return select_files(nfds, rd, wr, ex, timeout, mask, nullptr);
}

}  // extern "C"
