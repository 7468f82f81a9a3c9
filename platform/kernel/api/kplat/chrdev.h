// Character devices served by the host: a device of the board whose driver
// is not part of the box's software (the smart-card reader) registers on
// the kernel like a driver's, under a major, and is then opened, read,
// written, polled and ioctl'd by processes (and through the virtual box's
// bridge) exactly as a driver's device is.
//
//     class Reader : public kplat::CharDevice {
//         long read(kplat::File& f, unsigned long buf, unsigned long n) override {
//             if (long r = ready_.wait(f, [&] { return !queue_.empty(); })) return r;
//             ...
//             return f.copy_to_user(buf, bytes, count) ? count : -EFAULT;
//         }
//         unsigned poll(kplat::File&, kplat::PollTable& pt) override {
//             pt.wait(ready_);
//             return queue_.empty() ? 0 : POLLIN;
//         }
//         kplat::WaitQueue ready_{kernel};
//     };
//     kernel.register_chrdev(120, "scard", reader);
#pragma once

#include <functional>

#include "kplat/user.h"

struct __wait_queue_head;
struct file;
struct poll_table_struct;

namespace kplat {

class Kernel;
class WaitQueue;
class CharDevice;

// One open file of a host device: what the device knows of its opener.
class File {
public:
    unsigned minor() const { return minor_; }
    Abi abi() const { return abi_; }
    // O_NONBLOCK at this call (the opener may change it with FIONBIO).
    bool nonblocking() const;
    // The file's flags at this call, in the kernel's values.
    unsigned flags() const { return flags_; }

    // The calling process's memory, as copy_from_user and copy_to_user:
    // false for an address that is not there (what could not be copied in
    // reads as zeroes).
    bool copy_from_user(void* to, unsigned long from, unsigned long n);
    bool copy_to_user(unsigned long to, const void* from, unsigned long n);

    void* data = nullptr;  // the device's own state for this open

private:
    friend struct FileAccess;
    CharDevice* dev_ = nullptr;
    unsigned minor_ = 0;
    unsigned flags_ = 0;
    Abi abi_ = native_abi;
};

// The wait queues a poll names (poll_wait).
class PollTable {
public:
    void wait(WaitQueue& queue);

private:
    friend struct FileAccess;
    PollTable(struct file* filp, struct poll_table_struct* table) : filp_(filp), table_(table) {}
    struct file* filp_;
    struct poll_table_struct* table_;
};

// A kernel wait queue owned by a host device. Keep it alive while the
// device is registered.
class WaitQueue {
public:
    explicit WaitQueue(Kernel& kernel);
    ~WaitQueue();
    WaitQueue(const WaitQueue&) = delete;
    WaitQueue& operator=(const WaitQueue&) = delete;

    // Wakes every sleeper and every poll that named the queue. From any
    // thread: a board model calls it when its state changes.
    void wake();
    // In a device's call: sleeps until ready() holds (checked on the CPU,
    // so no wake-up is missed). 0; -EAGAIN at once for a non-blocking file
    // that is not ready; -ERESTARTSYS when a signal ends the sleep.
    long wait(File& file, const std::function<bool()>& ready);

private:
    friend class PollTable;
    Kernel& kernel_;
    struct __wait_queue_head* head_ = nullptr;
};

// A device served by the host. Every call runs in kernel context on the
// CPU, as the caller's system call, and answers as a driver does: >= 0 or
// a negative errno. A device without a read (write) answers -EINVAL, as a
// driver without one does; its poll says readable and writable.
class CharDevice {
public:
    virtual ~CharDevice() = default;
    virtual int open(File& file) {
        (void)file;
        return 0;
    }
    virtual int release(File& file) {
        (void)file;
        return 0;
    }
    virtual long read(File& file, unsigned long buf, unsigned long count);
    virtual long write(File& file, unsigned long buf, unsigned long count);
    virtual unsigned poll(File& file, PollTable& table);
    virtual long ioctl(File& file, unsigned cmd, unsigned long arg);
};

}  // namespace kplat
