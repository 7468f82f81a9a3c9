// The board's devices as the kernel reaches them: the SoC's bus, and
// character devices served by the host (see kplat/chrdev.h).
#include <cerrno>
#include <cstring>

#include "core.h"

namespace kplat {

using detail::g_core;

// What the kernel half's calls need of a File.
struct FileAccess {
    static File* make(CharDevice* dev, unsigned minor, unsigned flags, int user_bits) {
        auto* f = new File;
        f->dev_ = dev;
        f->minor_ = minor;
        f->flags_ = flags;
        f->abi_ = user_bits == 64 ? Abi::lp64 : Abi::ilp32;
        return f;
    }
    static CharDevice& dev(File* f, unsigned flags) {
        f->flags_ = flags;
        return *f->dev_;
    }
    static CharDevice* dev(File* f) { return f->dev_; }
    static PollTable table(struct file* filp, struct poll_table_struct* wait) { return PollTable(filp, wait); }
};

bool File::nonblocking() const { return (flags_ & KPLAT_O_NONBLOCK) != 0; }

bool File::copy_from_user(void* to, unsigned long from, unsigned long n) {
    unsigned long left = k2h_copy_from_user(to, from, n);
    if (left) std::memset(static_cast<char*>(to) + (n - left), 0, left);
    return left == 0;
}

bool File::copy_to_user(unsigned long to, const void* from, unsigned long n) {
    return k2h_copy_to_user(to, from, n) == 0;
}

void PollTable::wait(WaitQueue& queue) { h2k_poll_wait(filp_, queue.head_, table_); }

WaitQueue::WaitQueue(Kernel& kernel) : kernel_(kernel), head_(h2k_waitq_new()) {}

WaitQueue::~WaitQueue() { h2k_waitq_free(head_); }

void WaitQueue::wake() {
    kernel_.atomically([this] { h2k_waitq_wake(head_); });
}

long WaitQueue::wait(File& file, const std::function<bool()>& ready) {
    if (!detail::Core::on_cpu() || !g_core->current()) k2h_bug("WaitQueue::wait outside a device's call");
    while (!ready()) {
        if (file.nonblocking()) return -EAGAIN;
        if (int r = h2k_waitq_sleep(head_)) return r;
    }
    return 0;
}

long CharDevice::read(File& file, unsigned long buf, unsigned long count) {
    (void)file, (void)buf, (void)count;
    return -EINVAL;
}

long CharDevice::write(File& file, unsigned long buf, unsigned long count) {
    (void)file, (void)buf, (void)count;
    return -EINVAL;
}

unsigned CharDevice::poll(File& file, PollTable& table) {
    (void)file, (void)table;
    return 0x0145;  // DEFAULT_POLLMASK: readable and writable
}

long CharDevice::ioctl(File& file, unsigned cmd, unsigned long arg) {
    (void)file, (void)cmd, (void)arg;
    return -ENOTTY;
}

}  // namespace kplat

extern "C" {

using kplat::FileAccess;

unsigned int k2h_gbus_read(unsigned int addr) {
    kplat::Gbus* bus = kplat::detail::g_core->gbus;
    return bus ? bus->read32(addr) : 0;
}

void k2h_gbus_write(unsigned int addr, unsigned int value) {
    if (kplat::Gbus* bus = kplat::detail::g_core->gbus) bus->write32(addr, value);
}

int k2h_dev_open(kplat::CharDevice* dev, unsigned int minor, unsigned int flags, int user_bits, kplat::File** out) {
    kplat::File* f = FileAccess::make(dev, minor, flags, user_bits);
    int r = dev->open(*f);
    if (r) {
        delete f;
        return r;
    }
    *out = f;
    return 0;
}

int k2h_dev_release(kplat::File* f, int device_gone) {
    int r = device_gone ? 0 : FileAccess::dev(f)->release(*f);
    delete f;
    return r;
}

long k2h_dev_read(kplat::File* f, unsigned int flags, unsigned long buf, unsigned long count) {
    return FileAccess::dev(f, flags).read(*f, buf, count);
}

long k2h_dev_write(kplat::File* f, unsigned int flags, unsigned long buf, unsigned long count) {
    return FileAccess::dev(f, flags).write(*f, buf, count);
}

unsigned int k2h_dev_poll(kplat::File* f, struct file* filp, struct poll_table_struct* wait) {
    kplat::PollTable table = FileAccess::table(filp, wait);
    return FileAccess::dev(f)->poll(*f, table);
}

long k2h_dev_ioctl(kplat::File* f, unsigned int flags, unsigned int cmd, unsigned long arg) {
    return FileAccess::dev(f, flags).ioctl(*f, cmd, arg);
}

}  // extern "C"
