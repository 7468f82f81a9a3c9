#include "board/loopback.h"

#include "board/board.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace board {

namespace {

constexpr unsigned POLLIN_ = 0x0001, POLLOUT_ = 0x0004, POLLRDNORM_ = 0x0040, POLLWRNORM_ = 0x0100;

}  // namespace

long Loopback::read(kplat::File& file, unsigned long buf, unsigned long count) {
    if (long r = ready_.wait(file, [&] { return !bytes_.empty(); })) return r;
    std::vector<uint8_t> out(bytes_.begin(), bytes_.begin() + std::min<size_t>(count, bytes_.size()));
    if (!file.copy_to_user(buf, out.data(), out.size())) return -EFAULT;
    bytes_.erase(bytes_.begin(), bytes_.begin() + out.size());
    ready_.wake();  // writers waiting for room
    return static_cast<long>(out.size());
}

long Loopback::write(kplat::File& file, unsigned long buf, unsigned long count) {
    if (long r = ready_.wait(file, [&] { return bytes_.size() < capacity; })) return r;
    std::vector<uint8_t> in(std::min<size_t>(count, capacity - bytes_.size()));
    if (!file.copy_from_user(in.data(), buf, in.size())) return -EFAULT;
    bytes_.insert(bytes_.end(), in.begin(), in.end());
    long n = static_cast<long>(in.size());
    latest_ = std::move(in);
    ++writes_;
    ready_.wake();
    return n;
}

unsigned Loopback::poll(kplat::File& file, kplat::PollTable& table) {
    (void)file;
    table.wait(ready_);
    return (bytes_.empty() ? 0 : POLLIN_ | POLLRDNORM_) | (bytes_.size() < capacity ? POLLOUT_ | POLLWRNORM_ : 0);
}

long Loopback::ioctl(kplat::File& file, unsigned cmd, unsigned long arg) {
    if (cmd != LOOPBACK_RECENT) return -ENOTTY;
    kplat::RecordLayout recent(file.abi(),
                               {kplat::RecordLayout::u8, kplat::RecordLayout::u8, kplat::RecordLayout::pointer});
    uint8_t rec[16];
    if (!file.copy_from_user(rec, arg, recent.size())) return -EFAULT;
    size_t n = std::min<size_t>(recent.get(rec, 0), latest_.size());
    if (!file.copy_to_user(recent.get(rec, 2), latest_.data(), n)) return -EFAULT;
    recent.set(rec, 0, n);
    recent.set(rec, 1, writes_ & 0xff);
    return file.copy_to_user(arg, rec, recent.size()) ? 0 : -EFAULT;
}

// Served once the boot script asks (board.serve<Loopback>(major)).
void fit_loopback(Board& board) { board.fit(std::make_unique<Loopback>(board.kernel()), Placement()); }

}  // namespace board
