#include "bench/bench.h"

namespace bench {

Bench::Bench(board::BoardConfig config)
    : kernel_(std::make_unique<kplat::Kernel>(kplat::Options{{BENCH_MODULE_DIR}})),
      board_(std::make_unique<board::Board>(*kernel_, config)), kernel(*kernel_), board(*board_),
      proc(kernel_->spawn("test")) {}

Bench::~Bench() {
    board_.reset();
    kernel_.reset();
}

int Bench::insmod(std::string_view module, std::string_view args) { return kernel.insmod(module, args); }

int Bench::rmmod(std::string_view module) { return kernel.rmmod(module); }

std::string Bench::take_log() {
    std::string log = kernel.log();
    kernel.clear_log();
    return log;
}

int Bench::open(unsigned major, unsigned minor, int flags) { return proc.open(major, minor, flags); }

long Bench::ioctl_int(int fd, unsigned cmd, int value, int* out) {
    int v = value;
    long r = proc.ioctl(fd, cmd, reinterpret_cast<unsigned long>(&v));
    if (out) *out = v;
    return r;
}

kplat::Process& Bench::spawn(std::string_view name, kplat::Abi abi) { return kernel.spawn(name, nullptr, abi); }

}  // namespace bench
