// The user memory behind copy_from_user, copy_to_user, get_user, put_user
// and verify_area: the address space of the process making the system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace kplat {

// The calling program's ABI: a program of the box (32-bit long and
// pointers, run under emulation) or a 64-bit program of the host. A device
// that hands out records with long or pointer fields lays them out for it.
enum class Abi { ilp32, lp64 };
constexpr Abi native_abi = sizeof(void*) == 8 ? Abi::lp64 : Abi::ilp32;

// A C record as the program's compiler lays it out: each field at its
// natural alignment, the whole padded to its widest field. Little-endian,
// as the box and the host are.
//
//     // struct { unsigned char len; unsigned char second; char *data; }
//     RecordLayout atr(file.abi(), {RecordLayout::u8, RecordLayout::u8, RecordLayout::pointer});
//     atr.size();                      // 8 for the box, 16 for the host
//     atr.set(bytes, 0, 12); atr.get(bytes, 2);
class RecordLayout {
public:
    enum Field : uint8_t { u8, u16, u32, slong, ulong, pointer };

    RecordLayout(Abi abi, std::initializer_list<Field> fields);
    size_t size() const { return size_; }
    size_t offset(size_t field) const { return offsets_.at(field); }
    // slong is sign-extended; pointer and ulong are zero-extended.
    uint64_t get(const void* record, size_t field) const;
    void set(void* record, size_t field, uint64_t value) const;

private:
    size_t width(size_t field) const;
    Abi abi_;
    std::vector<Field> fields_;
    std::vector<size_t> offsets_;
    size_t size_ = 0;
};

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
