#include "caller_memory.h"

#include "../common/wire.h"

namespace vbox {

// One request and its reply. False when the range was not accessible; a
// failed channel also marks the memory broken.
bool CallerMemory::exchange(unsigned type, unsigned long addr, unsigned len, bool write, const void* out, void* in) {
    if (broken_) return false;
    MemReq rq = {static_cast<uint64_t>(addr), len, write ? 1u : 0u};
    MsgHeader h;
    MemReply rep;
    bool sent = type == MSG_MEM_WRITE ? send_msg(fd_, type, &rq, sizeof rq, out, len)
                                      : send_msg(fd_, type, &rq, sizeof rq);
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
    for (unsigned long done = 0; done < n;) {
        unsigned k = static_cast<unsigned>(n - done < kMaxMem ? n - done : kMaxMem);
        if (!exchange(MSG_MEM_READ, from + done, k, false, nullptr, static_cast<char*>(to) + done)) return n - done;
        done += k;
    }
    return 0;
}

unsigned long CallerMemory::copy_out(unsigned long to, const void* from, unsigned long n) {
    if (fd_ < 0) return local_.copy_out(to, from, n);
    for (unsigned long done = 0; done < n;) {
        unsigned k = static_cast<unsigned>(n - done < kMaxMem ? n - done : kMaxMem);
        if (!exchange(MSG_MEM_WRITE, to + done, k, false, static_cast<const char*>(from) + done, nullptr))
            return n - done;
        done += k;
    }
    return 0;
}

bool CallerMemory::check(unsigned long addr, unsigned long n, bool write) {
    if (fd_ < 0) return local_.check(addr, n, write);
    if (n == 0) return true;
    for (unsigned long done = 0; done < n;) {
        unsigned k = static_cast<unsigned>(n - done < kMaxMem ? n - done : kMaxMem);
        if (!exchange(MSG_MEM_CHECK, addr + done, k, write, nullptr, nullptr)) return false;
        done += k;
    }
    return true;
}

}  // namespace vbox
