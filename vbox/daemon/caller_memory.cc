#include "caller_memory.h"

#include <string.h>

#include "../common/wire.h"

namespace vbox {

void CallerMemory::attach(int fd, uint64_t base, const char* bytes, uint32_t sent, uint32_t writable) {
    fd_ = fd;
    broken_ = false;
    base_ = base;
    sent_ = sent <= kMaxWindow ? sent : 0;
    writable_ = writable <= sent_ ? writable : 0;
    if (sent_) memcpy(window_, bytes, sent_);
    stored_.reset();
    read_end_ = write_end_ = 0;
}

long CallerMemory::offset_in(unsigned long addr, uint32_t limit) const {
    uint64_t a = addr;
    return a >= base_ && a - base_ < limit ? static_cast<long>(a - base_) : -1;
}

// Learns what the driver touches near the argument, whether or not the
// window held it: the caller sends that much next time.
void CallerMemory::note(unsigned long addr, unsigned long n, uint32_t& end) const {
    uint64_t a = addr;
    if (a < base_ || a - base_ >= kMaxWindow) return;
    uint64_t e = a - base_ + n;
    if (e > kMaxWindow) e = kMaxWindow;
    if (e > end) end = static_cast<uint32_t>(e);
}

void CallerMemory::result(IoctlResult& res, std::string& out) const {
    res.stores = 0;
    res.read_end = read_end_;
    res.write_end = write_end_;
    for (uint32_t at = 0; at < writable_;) {
        if (!stored_[at]) {
            ++at;
            continue;
        }
        Store s = {at, 0};
        while (at < writable_ && stored_[at]) ++at;
        s.len = at - s.offset;
        out.append(reinterpret_cast<const char*>(&s), sizeof s);
        out.append(window_ + s.offset, s.len);
        ++res.stores;
    }
}

// One request and its reply. False when the range was not accessible; a
// failed channel also marks the memory broken.
bool CallerMemory::exchange(unsigned type, unsigned long addr, unsigned len, bool write, const void* out, void* in) {
    if (broken_) return false;
    MemReq rq = {static_cast<uint64_t>(addr), len, write ? 1u : 0u};
    MsgHeader h;
    MemReply rep;
    bool sent =
        type == MSG_MEM_WRITE ? send_msg(fd_, type, &rq, sizeof rq, out, len) : send_msg(fd_, type, &rq, sizeof rq);
    if (!sent || !read_header(fd_, h, kReplyTimeoutMs) || h.type != MSG_MEM_REPLY || h.len < sizeof rep ||
        !read_full(fd_, &rep, sizeof rep, kReplyTimeoutMs)) {
        broken_ = true;
        return false;
    }
    uint32_t extra = h.len - sizeof rep;
    bool want_data = type == MSG_MEM_READ && rep.ok;
    if (extra != (want_data ? len : 0) || rep.len != extra) {
        broken_ = true;
        return false;
    }
    if (want_data && !read_full(fd_, in, len, kReplyTimeoutMs)) {
        broken_ = true;
        return false;
    }
    return rep.ok == 1;
}

unsigned long CallerMemory::copy_in(void* to, unsigned long from, unsigned long n) {
    if (fd_ < 0) return local_.copy_in(to, from, n);
    note(from, n, read_end_);
    unsigned long done = 0;
    if (long off = offset_in(from, sent_); off >= 0) {
        unsigned long room = sent_ - static_cast<unsigned long>(off);
        done = n < room ? n : room;
        memcpy(to, window_ + off, done);
    }
    while (done < n) {
        unsigned k = static_cast<unsigned>(n - done < kMaxMem ? n - done : kMaxMem);
        if (!exchange(MSG_MEM_READ, from + done, k, false, nullptr, static_cast<char*>(to) + done)) return n - done;
        done += k;
    }
    return 0;
}

unsigned long CallerMemory::copy_out(unsigned long to, const void* from, unsigned long n) {
    if (fd_ < 0) return local_.copy_out(to, from, n);
    note(to, n, write_end_);
    const char* src = static_cast<const char*>(from);
    unsigned long done = 0;
    if (long off = offset_in(to, writable_); off >= 0) {
        unsigned long room = writable_ - static_cast<unsigned long>(off);
        done = n < room ? n : room;
        memcpy(window_ + off, src, done);
        for (unsigned long i = 0; i < done; ++i) stored_.set(off + i);
    }
    while (done < n) {
        unsigned k = static_cast<unsigned>(n - done < kMaxMem ? n - done : kMaxMem);
        if (!exchange(MSG_MEM_WRITE, to + done, k, false, src + done, nullptr)) return n - done;
        // Later reads of the window see what the program now holds.
        if (long off = offset_in(to + done, sent_); off >= 0) {
            unsigned long room = sent_ - static_cast<unsigned long>(off);
            memcpy(window_ + off, src + done, k < room ? k : room);
        }
        done += k;
    }
    return 0;
}

bool CallerMemory::check(unsigned long addr, unsigned long n, bool write) {
    if (fd_ < 0) return local_.check(addr, n, write);
    if (n == 0) return true;
    long off = offset_in(addr, write ? writable_ : sent_);
    if (off >= 0 && n <= (write ? writable_ : sent_) - static_cast<unsigned long>(off)) return true;
    for (unsigned long done = 0; done < n;) {
        unsigned k = static_cast<unsigned>(n - done < kMaxMem ? n - done : kMaxMem);
        if (!exchange(MSG_MEM_CHECK, addr + done, k, write, nullptr, nullptr)) return false;
        done += k;
    }
    return true;
}

}  // namespace vbox
