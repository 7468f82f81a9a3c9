// The interposed entry points of the device bridge. Every way glibc offers
// to open a file by name comes here first: a device node that the running
// box serves is opened in the box (the descriptor is a channel to the box's
// daemon, so read, write, poll and close work natively); any other path
// goes to the real function (the next one in the lookup order) with its
// flags and mode unchanged. ioctl on a served descriptor runs the driver's
// ioctl in the box. ("/dev/mem" needs no bridge: in the box's mount
// namespace it is the box's memory file.)
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <string.h>
#include <sys/ioctl.h>

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

}  // namespace

#define MODE_ARG(flags, last)                   \
    mode_t mode = 0;                            \
    if (wants_mode(flags)) {                    \
        va_list ap;                             \
        va_start(ap, last);                     \
        mode = (mode_t)va_arg(ap, int);         \
        va_end(ap);                             \
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

}  // extern "C"
