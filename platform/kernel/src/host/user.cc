// User memory of this very process, for tests that call the kernel as a
// process would. Every access goes through the kernel (process_vm_readv and
// process_vm_writev on our own pid), so a bad address gives EFAULT instead
// of a crash. Where those calls are missing (user-mode emulation) a pipe
// does the same: the kernel copies through it and faults the same way.
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "kplat/user.h"

namespace kplat {

namespace {

constexpr unsigned long page = 4096;

// The largest piece from addr that stays within one page.
unsigned long piece(unsigned long addr, unsigned long left) {
    unsigned long room = page - (addr % page);
    return left < room ? left : room;
}

}  // namespace

LocalUserSpace::LocalUserSpace(bool through_pipe) : use_pipe_(through_pipe) {}

LocalUserSpace::~LocalUserSpace() {
    if (pipe_[0] >= 0) {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }
}

unsigned long LocalUserSpace::copy(void* local, unsigned long remote, unsigned long n, bool out) {
    if (remote + n < remote) return n;
    if (use_pipe_) return pipe_copy(local, remote, n, out);
    auto* at = static_cast<unsigned char*>(local);
    unsigned long done = 0;
    while (done < n) {
        unsigned long len = piece(remote + done, n - done);
        struct iovec l = {at + done, len};
        struct iovec r = {reinterpret_cast<void*>(remote + done), len};
        ssize_t got = out ? process_vm_writev(getpid(), &l, 1, &r, 1, 0) : process_vm_readv(getpid(), &l, 1, &r, 1, 0);
        if (got < 0 && (errno == ENOSYS || errno == EPERM) && done == 0) {
            use_pipe_ = true;
            return pipe_copy(local, remote, n, out);
        }
        if (got <= 0) break;
        done += static_cast<unsigned long>(got);
        if (static_cast<unsigned long>(got) < len) break;
    }
    return n - done;
}

unsigned long LocalUserSpace::pipe_copy(void* local, unsigned long remote, unsigned long n, bool out) {
    if (pipe_[0] < 0 && ::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipe_[0] = pipe_[1] = -1;
        return n;
    }
    auto* at = static_cast<unsigned char*>(local);
    unsigned long done = 0;
    while (done < n) {
        unsigned long len = piece(remote + done, n - done);
        auto* user = reinterpret_cast<unsigned char*>(remote + done);
        ssize_t put = ::write(pipe_[1], out ? at + done : user, len);
        if (put <= 0) break;
        ssize_t got = ::read(pipe_[0], out ? user : at + done, static_cast<size_t>(put));
        if (got < put) {
            // The user side faulted: empty the pipe for the next copy.
            unsigned char scratch[page];
            while (::read(pipe_[0], scratch, sizeof(scratch)) > 0) {}
            if (got > 0) done += static_cast<unsigned long>(got);
            break;
        }
        done += static_cast<unsigned long>(got);
        if (static_cast<unsigned long>(put) < len) break;
    }
    return n - done;
}

unsigned long LocalUserSpace::copy_in(void* to, unsigned long from, unsigned long n) {
    return copy(to, from, n, false);
}

unsigned long LocalUserSpace::copy_out(unsigned long to, const void* from, unsigned long n) {
    return copy(const_cast<void*>(from), to, n, true);
}

bool LocalUserSpace::check(unsigned long addr, unsigned long n, bool write) {
    if (n == 0) return true;
    if (addr + n < addr) return false;
    // One byte per page tells: a page is mapped and writable as a whole.
    // For writability the byte is written back as it was.
    for (unsigned long at = addr; at < addr + n; at += piece(at, addr + n - at)) {
        unsigned char byte;
        if (copy(&byte, at, 1, false) != 0) return false;
        if (write && copy(&byte, at, 1, true) != 0) return false;
    }
    return true;
}

}  // namespace kplat

namespace kplat {

RecordLayout::RecordLayout(Abi abi, std::initializer_list<Field> fields) : abi_(abi), fields_(fields) {
    size_t at = 0, align = 1;
    for (size_t i = 0; i < fields_.size(); ++i) {
        size_t w = width(i);
        at = (at + w - 1) / w * w;
        offsets_.push_back(at);
        at += w;
        align = w > align ? w : align;
    }
    size_ = (at + align - 1) / align * align;
}

size_t RecordLayout::width(size_t field) const {
    switch (fields_.at(field)) {
    case u8: return 1;
    case u16: return 2;
    case u32: return 4;
    default: return abi_ == Abi::lp64 ? 8 : 4;
    }
}

uint64_t RecordLayout::get(const void* record, size_t field) const {
    const auto* at = static_cast<const unsigned char*>(record) + offset(field);
    size_t w = width(field);
    uint64_t v = 0;
    for (size_t i = 0; i < w; ++i) v |= static_cast<uint64_t>(at[i]) << (8 * i);
    if (fields_[field] == slong && w == 4) v = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(v)));
    return v;
}

void RecordLayout::set(void* record, size_t field, uint64_t value) const {
    auto* at = static_cast<unsigned char*>(record) + offset(field);
    for (size_t i = 0; i < width(field); ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace kplat
