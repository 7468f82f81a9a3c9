// A device served by the host (the board's loop-back device) reached as a
// driver's device is: open, read, write, poll, ioctl and release from
// processes, sleeping and waking, and records laid out for the caller.
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "board/loopback.h"
#include "bench/driver_test.h"

namespace {

using board::Loopback;

constexpr unsigned major = 241;
constexpr unsigned POLLIN_ = 0x1, POLLOUT_ = 0x4, POLLRDNORM_ = 0x40, POLLWRNORM_ = 0x100;
constexpr int O_NONBLOCK_ = 04000;

// The memory of a program of our own making: user addresses from 0x1000,
// what a 32-bit program on the box would pass.
class ProgramMemory : public kplat::UserSpace {
public:
    static constexpr unsigned long base = 0x1000;
    std::vector<uint8_t> bytes = std::vector<uint8_t>(0x1000, 0xee);

    unsigned long copy_in(void* to, unsigned long from, unsigned long n) override {
        if (!check(from, n, false)) return n;
        std::memcpy(to, &bytes[from - base], n);
        return 0;
    }
    unsigned long copy_out(unsigned long to, const void* from, unsigned long n) override {
        if (!check(to, n, true)) return n;
        std::memcpy(&bytes[to - base], from, n);
        return 0;
    }
    bool check(unsigned long addr, unsigned long n, bool) override {
        return addr >= base && addr - base <= bytes.size() && n <= bytes.size() - (addr - base);
    }
};

class HostDevice : public bench::DriverTest {
protected:
    void SetUp() override { ASSERT_EQ(0, board.serve<board::Loopback>(major)); }

    long write(kplat::Process& p, int fd, const std::string& s) {
        return p.write(fd, reinterpret_cast<unsigned long>(s.data()), s.size());
    }
    std::string read(kplat::Process& p, int fd, size_t n) {
        std::string buf(n, '\0');
        long r = p.read(fd, reinterpret_cast<unsigned long>(buf.data()), n);
        return r < 0 ? "error " + std::to_string(r) : buf.substr(0, r);
    }
};

TEST_F(HostDevice, ReadWritePollAndIoctlAsADriversDevice) {
    ASSERT_EQ(1u, kernel.chrdevs().size());
    EXPECT_EQ("loopback", kernel.chrdevs()[0].name);
    int fd = open(major);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(POLLOUT_ | POLLWRNORM_, proc.poll(fd));
    int calls = 0;
    proc.poll(fd, [&] { ++calls; });
    EXPECT_EQ(5, write(proc, fd, "hello"));
    EXPECT_EQ(1, calls);  // the armed poll woke
    EXPECT_EQ(POLLIN_ | POLLRDNORM_ | POLLOUT_ | POLLWRNORM_, proc.poll(fd));

    // The record, laid out for this program.
    struct {
        unsigned char len, writes;
        char* data;
    } recent;
    char seen[8] = {};
    recent = {3, 0, seen};
    EXPECT_EQ(0, proc.ioctl(fd, Loopback::LOOPBACK_RECENT, reinterpret_cast<unsigned long>(&recent)));
    EXPECT_EQ(3, recent.len);
    EXPECT_EQ(1, recent.writes);
    EXPECT_EQ("hel", std::string(seen));
    EXPECT_EQ(-EFAULT, proc.ioctl(fd, Loopback::LOOPBACK_RECENT, 0));
    EXPECT_EQ(-ENOTTY, proc.ioctl(fd, 0x4c02, 0));

    EXPECT_EQ("hello", read(proc, fd, 16));
    EXPECT_EQ(-EFAULT, proc.read(fd, 0, 4));
    int nb = open(major, 0, 2 | O_NONBLOCK_);
    EXPECT_EQ("error " + std::to_string(-EAGAIN), read(proc, nb, 4));
    int on = 0;
    EXPECT_EQ(0, proc.ioctl(nb, 0x5421 /* FIONBIO */, reinterpret_cast<unsigned long>(&on)));
    proc.kill(2);  // now it blocks: a signal ends it
    EXPECT_EQ(0, proc.close(nb));
    EXPECT_EQ(0, proc.close(fd));
}

TEST_F(HostDevice, ABlockingReadSleepsUntilAWriteOrASignal) {
    int fd = open(major);
    kplat::Process& writer = spawn("writer");
    int wfd = writer.open(major, 0);
    std::string got;
    std::thread reader([&] { got = read(proc, fd, 16); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(4, write(writer, wfd, "ping"));
    reader.join();
    EXPECT_EQ("ping", got);

    std::thread reader2([&] { got = read(proc, fd, 16); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    proc.kill(2);
    reader2.join();
    EXPECT_EQ("error " + std::to_string(-EINTR), got);
}

TEST_F(HostDevice, RecordsAreLaidOutForTheCallersAbi) {
    struct Case {
        kplat::Abi abi;
        std::vector<uint8_t> record;  // as the program's compiler lays it out
    } cases[] = {
        {kplat::Abi::ilp32, {4, 0, 0, 0, 0x80, 0x11, 0, 0}},
        {kplat::Abi::lp64, {4, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x11, 0, 0, 0, 0, 0, 0}},
    };
    unsigned char writes = 0;
    for (const Case& c : cases) {
        auto memory = std::make_unique<ProgramMemory>();
        ProgramMemory& mem = *memory;
        kplat::Process& p = kernel.spawn("program", std::move(memory), c.abi);
        EXPECT_EQ(c.abi, p.abi());
        int fd = p.open(major, 0);
        std::memcpy(&mem.bytes[0x100], "abcdef", 6);
        ASSERT_EQ(6, p.write(fd, 0x1100, 6));
        std::copy(c.record.begin(), c.record.end(), mem.bytes.begin());
        ASSERT_EQ(0, p.ioctl(fd, Loopback::LOOPBACK_RECENT, ProgramMemory::base));
        std::vector<uint8_t> want = c.record;
        want[1] = ++writes;
        EXPECT_EQ(want, std::vector<uint8_t>(mem.bytes.begin(), mem.bytes.begin() + want.size()));
        EXPECT_EQ(0xee, mem.bytes[want.size()]);  // nothing past the record
        EXPECT_EQ("abcd", std::string(mem.bytes.begin() + 0x180, mem.bytes.begin() + 0x184));
        EXPECT_EQ(0xee, mem.bytes[0x184]);
        EXPECT_EQ(6, p.read(fd, 0x1200, 16));  // the next program finds it empty
        kernel.exit(p);
    }
}

TEST_F(HostDevice, FilesOpenWhenTheDeviceGoesFailTheirCalls) {
    int fd = open(major);
    ASSERT_EQ(0, kernel.unregister_chrdev(major, "loopback"));
    EXPECT_TRUE(kernel.chrdevs().empty());
    EXPECT_EQ(-ENODEV, proc.ioctl(fd, Loopback::LOOPBACK_RECENT, 0));
    EXPECT_EQ("error " + std::to_string(-ENODEV), read(proc, fd, 4));
    EXPECT_EQ(0, proc.close(fd));
    EXPECT_EQ(-ENXIO, open(major));
    EXPECT_EQ(-EINVAL, kernel.unregister_chrdev(major, "loopback"));
}

}  // namespace
