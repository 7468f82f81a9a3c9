// The user memory behind copy_from_user, copy_to_user, get_user, put_user
// and verify_area: the address space of the process making the system call.
#pragma once

#include <memory>

namespace kplat {

class UserSpace {
public:
    virtual ~UserSpace() = default;
    // Copy n bytes from the process's address `from` into `to`, or from `from`
    // to the process's address `to`. Both stop at the first address that is
    // not mapped (or not writable) and return the number of bytes NOT copied.
    virtual unsigned long copy_in(void* to, unsigned long from, unsigned long n) = 0;
    virtual unsigned long copy_out(unsigned long to, const void* from, unsigned long n) = 0;
    // Whether the whole range is mapped, and writable when `write` is set.
    virtual bool check(unsigned long addr, unsigned long n, bool write) = 0;
};

// The memory of this very process: a test that calls the kernel as a
// process passes its own pointers. A bad pointer (null, unmapped, a
// PROT_NONE or read-only page) gives the kernel's failure, never a crash.
class LocalUserSpace : public UserSpace {
public:
    // through_pipe: copy through a pipe rather than process_vm_readv and
    // process_vm_writev (what is left under user-mode emulation, where it
    // is chosen by itself).
    explicit LocalUserSpace(bool through_pipe = false);
    ~LocalUserSpace() override;
    unsigned long copy_in(void* to, unsigned long from, unsigned long n) override;
    unsigned long copy_out(unsigned long to, const void* from, unsigned long n) override;
    bool check(unsigned long addr, unsigned long n, bool write) override;

private:
    unsigned long copy(void* local, unsigned long remote, unsigned long n, bool out);
    unsigned long pipe_copy(void* local, unsigned long remote, unsigned long n, bool out);
    bool use_pipe_ = false;  // process_vm_readv is missing (user-mode emulation)
    int pipe_[2] = {-1, -1};
};

}  // namespace kplat
