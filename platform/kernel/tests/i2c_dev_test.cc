// i2c-dev on the virtual board: the SoC's bus with the SCART switch's and
// the micro-controller's drivers, the tuner's bit-banged bus, and callers
// of either ABI.
#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "board/tuner.h"
#include "bench/driver_test.h"

namespace {

constexpr unsigned kMajor = 89;
constexpr unsigned I2C_SLAVE = 0x0703, I2C_TENBIT = 0x0704, I2C_FUNCS = 0x0705, I2C_SLAVE_FORCE = 0x0706,
                   I2C_RDWR = 0x0707, I2C_SMBUS = 0x0720;
constexpr int kRead = 1, kWrite = 0;
constexpr int QUICK = 0, BYTE = 1, BYTE_DATA = 2, I2C_BLOCK = 6;
constexpr unsigned kTuner = 0x60;
constexpr int kEPERM = 1;  // the core's -1 for a transfer that failed

uint64_t addr(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// A program's memory below 4 GiB, so that a box program's 32-bit pointers
// reach it; records are laid out by hand in the caller's ABI.
class Memory {
public:
    Memory() {
        int flags = MAP_PRIVATE | MAP_ANONYMOUS;
#ifdef MAP_32BIT
        flags |= MAP_32BIT;
#endif
        p_ = static_cast<uint8_t*>(mmap(nullptr, 8192, PROT_READ | PROT_WRITE, flags, -1, 0));
    }
    ~Memory() { munmap(p_, 8192); }
    uint8_t* at(size_t off) { return p_ + off; }
    // A long or pointer of the caller's width.
    void word(size_t off, uint64_t v, kplat::Abi abi) { memcpy(p_ + off, &v, abi == kplat::Abi::ilp32 ? 4 : 8); }

private:
    uint8_t* p_;
};

const kplat::Abi kAbis[] = {kplat::Abi::ilp32, kplat::Abi::lp64};
size_t word_size(kplat::Abi abi) { return abi == kplat::Abi::ilp32 ? 4 : 8; }
bool runnable(kplat::Abi abi) { return abi == kplat::Abi::ilp32 || sizeof(void*) == 8; }

class I2cDev : public bench::DriverTest {
protected:
    void SetUp() override {
        ASSERT_EQ(0, insmod("gpio"));
        ASSERT_EQ(0, insmod("i2c-tuner"));
        ASSERT_EQ(0, insmod("st6413")) << kernel.last_error();
        ASSERT_EQ(0, insmod("i2c-dev")) << kernel.last_error();
    }

    // struct i2c_smbus_ioctl_data at rec, its data at data.
    long smbus(kplat::Process& p, int fd, Memory& m, int rw, int command, int size, size_t data = 0) {
        uint8_t* r = m.at(0);
        memset(r, 0xee, 16);
        r[0] = static_cast<uint8_t>(rw);
        r[1] = static_cast<uint8_t>(command);
        int32_t sz = size;
        memcpy(r + 4, &sz, 4);
        m.word(8, data ? addr(m.at(data)) : 0, p.abi());
        return p.ioctl(fd, I2C_SMBUS, addr(r));
    }
};

TEST_F(I2cDev, EveryAdapterIsAMinorAndListedAsRegistered) {
    std::string log = take_log();
    EXPECT_NE(std::string::npos, log.find("i2c-dev.o: Registered 'tuner TU1216L' as minor 1")) << log;
    EXPECT_EQ(std::string::npos, log.find("minor 2"));
    std::string procs = kernel.i2c_proc_bus();
    EXPECT_NE(std::string::npos, procs.find("i2c-1\ti2c       \ttuner TU1216L                   \t"
                                            "Bit-shift algorithm             \n"))
        << procs;
    EXPECT_EQ(0u, procs.find("i2c-0\ti2c       \t"));
    EXPECT_EQ(2, std::count(procs.begin(), procs.end(), '\n'));

    // The tuner's bus is held while a file is open on it, and gone after.
    int fd = open(kMajor, 1);
    ASSERT_GE(fd, 0);
    EXPECT_NE(0, rmmod("i2c-tuner"));
    EXPECT_NE(0, rmmod("i2c-dev"));
    EXPECT_EQ(0, proc.close(fd));
    ASSERT_EQ(0, rmmod("i2c-tuner")) << kernel.last_error();
    EXPECT_EQ(-ENODEV, open(kMajor, 1));
    EXPECT_EQ(-ENODEV, open(kMajor, 2));
    EXPECT_EQ(std::string::npos, kernel.i2c_proc_bus().find("i2c-1"));
    ASSERT_EQ(0, insmod("i2c-tuner"));
    EXPECT_GE(open(kMajor, 1), 0);  // a new bus is offered again
}

TEST_F(I2cDev, AddressesOfDriversAreBusyUnlessForced) {
    int fd = open(kMajor, 0);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(-EBUSY, proc.ioctl(fd, I2C_SLAVE, 0x4b));  // st6413's client
    EXPECT_EQ(0, proc.ioctl(fd, I2C_SLAVE_FORCE, 0x4b));
    EXPECT_EQ(0, proc.ioctl(fd, I2C_SLAVE, 0x4c));
    EXPECT_EQ(-EINVAL, proc.ioctl(fd, I2C_SLAVE, 0x80));
    EXPECT_EQ(0, proc.ioctl(fd, I2C_TENBIT, 1));
    EXPECT_EQ(0, proc.ioctl(fd, I2C_SLAVE, 0x3ff));
    EXPECT_EQ(-EINVAL, proc.ioctl(fd, I2C_SLAVE_FORCE, 0x400));
    // Ten-bit addresses are the algorithm's to refuse.
    int tfd = open(kMajor, 1);
    ASSERT_EQ(0, proc.ioctl(tfd, I2C_TENBIT, 1));
    ASSERT_EQ(0, proc.ioctl(tfd, I2C_SLAVE, 0x160));
    char b = 0;
    EXPECT_EQ(-EINVAL, proc.write(tfd, addr(&b), 1));
}

TEST_F(I2cDev, SmbusCommandsInEitherCallersLayout) {
    Memory m;
    board.model<board::TunerBus>().tuner().set_status(0x5a);
    for (kplat::Abi abi : kAbis) {
        if (!runnable(abi)) continue;
        SCOPED_TRACE(abi == kplat::Abi::ilp32 ? "box program" : "host program");
        kplat::Process& p = kernel.spawn("i2cget", nullptr, abi);
        int fd = p.open(kMajor, 1);
        ASSERT_GE(fd, 0);

        // The functionality word is the caller's unsigned long.
        memset(m.at(0x100), 0xee, 16);
        ASSERT_EQ(0, p.ioctl(fd, I2C_FUNCS, addr(m.at(0x100))));
        uint32_t funcs;
        memcpy(&funcs, m.at(0x100), 4);
        EXPECT_EQ(0x02ff0005u, funcs);  // plain I2C, the emulated SMBus, mangling
        EXPECT_EQ(word_size(abi) == 4 ? 0xee : 0, *m.at(0x104));
        EXPECT_EQ(0xee, *m.at(0x100 + word_size(abi)));

        ASSERT_EQ(0, p.ioctl(fd, I2C_SLAVE, kTuner));
        *m.at(0x200) = 0;
        EXPECT_EQ(0, smbus(p, fd, m, kRead, 0, BYTE, 0x200));
        EXPECT_EQ(0x5a, *m.at(0x200));
        EXPECT_EQ(0, smbus(p, fd, m, kWrite, 0, QUICK));
        board.model<board::TunerBus>().tuner().clear_transfers();
        *m.at(0x200) = 0xa6;
        EXPECT_EQ(0, smbus(p, fd, m, kWrite, 0x0b, BYTE_DATA, 0x200));
        ASSERT_EQ(1u, board.model<board::TunerBus>().tuner().writes().size());
        EXPECT_EQ((std::vector<uint8_t>{0x0b, 0xa6}), board.model<board::TunerBus>().tuner().writes()[0]);

        // An I2C block read: the count, then 32 bytes, no more.
        memset(m.at(0x200), 0xee, 64);
        EXPECT_EQ(0, smbus(p, fd, m, kRead, 0, I2C_BLOCK, 0x200));
        EXPECT_EQ(32, *m.at(0x200));
        EXPECT_EQ(0x5a, *m.at(0x201));
        EXPECT_EQ(0xee, *m.at(0x200 + 34));

        // Refusals: no data, a bad size or direction, a bad pointer, no chip.
        EXPECT_EQ(-EINVAL, smbus(p, fd, m, kRead, 0, BYTE));
        EXPECT_EQ(-EINVAL, smbus(p, fd, m, kRead, 0, 9, 0x200));
        EXPECT_EQ(-EINVAL, smbus(p, fd, m, 2, 0, BYTE, 0x200));
        m.at(0)[0] = kRead;
        m.word(8, 8, abi);  // data at an address nobody has
        EXPECT_EQ(-EFAULT, p.ioctl(fd, I2C_SMBUS, addr(m.at(0))));
        EXPECT_EQ(-EFAULT, p.ioctl(fd, I2C_SMBUS, 8));
        ASSERT_EQ(0, p.ioctl(fd, I2C_SLAVE, 0x61));
        EXPECT_EQ(-kEPERM, smbus(p, fd, m, kWrite, 0, QUICK));
        kernel.exit(p);
    }
}

TEST_F(I2cDev, CombinedTransfersInEitherCallersLayout) {
    Memory m;
    board.model<board::TunerBus>().tuner().set_status(0x47);
    for (kplat::Abi abi : kAbis) {
        if (!runnable(abi)) continue;
        SCOPED_TRACE(abi == kplat::Abi::ilp32 ? "box program" : "host program");
        kplat::Process& p = kernel.spawn("tool", nullptr, abi);
        int fd = p.open(kMajor, 1);
        size_t w = word_size(abi), msg = 8 + w;
        // Two messages: a write of two bytes, then a read of one.
        auto message = [&](int i, uint16_t a, uint16_t flags, uint16_t len, size_t buf) {
            uint8_t* r = m.at(0x100 + i * msg);
            uint16_t f[3] = {a, flags, len};
            memset(r, 0, msg);
            memcpy(r, f, 6);
            m.word(0x100 + i * msg + 8, addr(m.at(buf)), abi);
        };
        auto rdwr = [&](uint32_t n) {
            m.word(0, addr(m.at(0x100)), abi);
            memcpy(m.at(w), &n, 4);
            return p.ioctl(fd, I2C_RDWR, addr(m.at(0)));
        };
        m.at(0x300)[0] = 0x0b, m.at(0x300)[1] = 0xc4, *m.at(0x310) = 0;
        message(0, kTuner, 0, 2, 0x300);
        message(1, kTuner, 1, 1, 0x310);
        board.model<board::TunerBus>().tuner().clear_transfers();
        EXPECT_EQ(2, rdwr(2));
        EXPECT_EQ(0x47, *m.at(0x310));
        ASSERT_EQ(1u, board.model<board::TunerBus>().tuner().transfers().size());
        EXPECT_EQ(2u, board.model<board::TunerBus>().tuner().transfers()[0].messages.size());

        EXPECT_EQ(-EINVAL, rdwr(43));
        message(1, kTuner, 1, 8193, 0x310);
        EXPECT_EQ(-EINVAL, rdwr(2));
        message(1, kTuner, 1, 1, 0x300);
        m.word(0x100 + msg + 8, 16, abi);  // the read message's buffer
        EXPECT_EQ(-EFAULT, rdwr(2));
        m.word(0, 16, abi);
        EXPECT_EQ(-EFAULT, p.ioctl(fd, I2C_RDWR, addr(m.at(0))));
        kernel.exit(p);
    }
}

TEST_F(I2cDev, ReadAndWriteAreTransfersToTheChosenAddress) {
    int fd = open(kMajor, 1);
    ASSERT_EQ(0, proc.ioctl(fd, I2C_SLAVE, kTuner));
    uint8_t out[4] = {0x0b, 0xc4, 0x86, 0x01}, in[3] = {};
    board.model<board::TunerBus>().tuner().clear_transfers();
    EXPECT_EQ(4, proc.write(fd, addr(out), 4));
    EXPECT_EQ((std::vector<uint8_t>{0x0b, 0xc4, 0x86, 0x01}), board.model<board::TunerBus>().tuner().writes().at(0));
    EXPECT_EQ(3, proc.read(fd, addr(in), 3));
    EXPECT_EQ(0x40, in[0]);
    EXPECT_EQ(-EFAULT, proc.write(fd, 8, 1));
    EXPECT_EQ(-EFAULT, proc.read(fd, 8, 1));
    ASSERT_EQ(0, proc.ioctl(fd, I2C_SLAVE, 0x61));
    EXPECT_GT(0, proc.write(fd, addr(out), 1));  // nobody answers
}

}  // namespace
