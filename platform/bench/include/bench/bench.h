// The driver test bench: a driver's whole world in the test's process. The
// kernel platform loads this build's modules, the virtual board sits under
// it, and a user process ("test") makes the system calls:
//
//     bench::Bench b;
//     b.insmod("st6413", "scarts_en=3");
//     int fd = b.open(61);
//     int volume = 0;
//     b.ioctl_int(fd, AVSIOGVOLUME, 0, &volume);
//     b.board.model<board::Stv6413>().registers();   // the chip as the driver left it
//     b.take_log();                          // what the driver printed
//
// Time is virtual (b.kernel.advance(ticks)). In GoogleTest, derive the
// fixture from bench::DriverTest (bench/driver_test.h) and declare the test
// with stb_driver_test in CMake.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "board/board.h"
#include "kplat/kernel.h"

namespace bench {

class Bench {
    std::unique_ptr<kplat::Kernel> kernel_;
    std::unique_ptr<board::Board> board_;

public:
    explicit Bench(board::BoardConfig config = {});
    // The board goes first, then the kernel (which closes the processes'
    // files and unloads what is still loaded).
    ~Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    kplat::Kernel& kernel;
    board::Board& board;
    kplat::Process& proc;

    // The kernel's insmod and rmmod; why one failed is in
    // kernel.last_error().
    int insmod(std::string_view module, std::string_view args = {});
    int rmmod(std::string_view module);
    // The kernel log since the last take_log (or clear), and clears it.
    std::string take_log();

    // proc opens the node (major, minor); a descriptor or -errno.
    int open(unsigned major, unsigned minor = 0, int flags = 2 /* O_RDWR */);
    // proc's ioctl with the address of an int holding value, the way the
    // box's drivers take their argument; the int afterwards goes to *out.
    long ioctl_int(int fd, unsigned cmd, int value, int* out = nullptr);
    // Another process, of the box (Abi::ilp32) or of the host.
    kplat::Process& spawn(std::string_view name, kplat::Abi abi = kplat::native_abi);
};

}  // namespace bench
