// The bridge's device-node side: opening a node the box serves, and ioctls
// on it, answered by the daemon while this process supplies the memory the
// driver copies from and to.
#pragma once

#include <stdint.h>

namespace vbox {

// Result of asking the box to open a path.
enum class DeviceOpen { not_served, opened, failed };

// Asks the running box (VBOX_DIR) to open path. opened: *fd is the device's
// descriptor; failed: errno is set; not_served: the caller opens it itself.
DeviceOpen open_device(const char* path, int flags, int* fd);

// Whether fd is a device descriptor from open_device (also after dup, fork
// or exec); *inode then names it for the daemon.
bool is_device(int fd, uint64_t* inode);

// Runs the driver's ioctl for the device; returns as the system call does
// (-1 with errno for a negative driver result).
long device_ioctl(uint64_t inode, unsigned long cmd, unsigned long arg);

// A device file's read, write and poll, made on the driver now (one round
// trip each); they return as the system calls do.
long device_read(int fd, uint64_t inode, void* buf, unsigned long count);
long device_write(int fd, uint64_t inode, const void* buf, unsigned long count);
// The driver's poll mask for events (POLLERR, POLLHUP, POLLNVAL always
// count); a box that went away hangs the file up.
short device_poll(int fd, uint64_t inode, short events);

// True while the bridge itself is making calls (its own descriptors, its
// own waits), which must reach the real functions.
bool in_bridge();

}  // namespace vbox
