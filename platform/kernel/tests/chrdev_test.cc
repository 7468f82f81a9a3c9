// The character-device table, and open, ioctl, read, write and close as a
// process calls them.
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "kplat/kernel.h"
#include "modules/kptest.h"

namespace {

constexpr int O_RDONLY_ = 0;
constexpr int O_NONBLOCK_ = 04000;
constexpr unsigned FIONBIO_ = 0x5421;

class Chrdev : public ::testing::Test {
protected:
    unsigned long addr(const void* p) { return reinterpret_cast<unsigned long>(p); }

    kplat::Kernel kernel_{kplat::Options{{KPLAT_TEST_MODULES}}};
    kplat::Process& proc_ = kernel_.spawn("user");
};

TEST_F(Chrdev, DynamicMajorIsTheHighestFree) {
    ASSERT_EQ(0, kernel_.hold_chrdev(254, "held"));
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "name=dyn"));
    EXPECT_EQ("kptest_dev: major 253\n", kernel_.log());
    auto devs = kernel_.chrdevs();
    ASSERT_EQ(2u, devs.size());
    EXPECT_EQ(253u, devs[0].major);
    EXPECT_EQ("dyn", devs[0].name);
    ASSERT_EQ(0, kernel_.rmmod("kptest_dev"));
    EXPECT_EQ(1u, kernel_.chrdevs().size());
}

TEST_F(Chrdev, TakenMajorIsBusy) {
    ASSERT_EQ(0, kernel_.hold_chrdev(200, "other"));
    EXPECT_EQ(-EBUSY, kernel_.insmod("kptest_dev", "major=200"));
    EXPECT_EQ(-EINVAL, kernel_.insmod("kptest_dev", "major=255"));
    EXPECT_EQ(-EINVAL, kernel_.release_chrdev(200, "wrong"));
    EXPECT_EQ(0, kernel_.release_chrdev(200, "other"));
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    EXPECT_EQ(-EINVAL, kernel_.release_chrdev(200, "kptest"));  // a driver's, not held
    EXPECT_EQ(-EBUSY, kernel_.hold_chrdev(200, "other"));
}

TEST_F(Chrdev, OpenFindsTheDriverByMajor) {
    EXPECT_EQ(-ENXIO, proc_.open(200, 0));
    EXPECT_EQ(-ENXIO, proc_.open(300, 0));
    EXPECT_EQ(-ENXIO, proc_.open(200, 256));
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    kernel_.clear_log();
    int a = proc_.open(200, 7);
    int b = proc_.open(200, 8);
    EXPECT_EQ(3, a);
    EXPECT_EQ(4, b);
    EXPECT_EQ(-ENODEV, proc_.open(200, 99));  // the driver's open refuses
    EXPECT_EQ(0, proc_.close(a));
    EXPECT_EQ(3, proc_.open(200, 9));  // the lowest free descriptor
    EXPECT_EQ(
        "kptest_dev: open 200,7 by user\nkptest_dev: open 200,8 by user\n"
        "kptest_dev: open 200,99 by user\nkptest_dev: release 7\nkptest_dev: open 200,9 by user\n",
        kernel_.log());
    EXPECT_EQ(2, kernel_.lsmod()[0].use_count);  // the refused open took no reference
}

TEST_F(Chrdev, BadDescriptors) {
    int v = 0;
    EXPECT_EQ(-EBADF, proc_.close(3));
    EXPECT_EQ(-EBADF, proc_.ioctl(3, KPTEST_GETPUT, addr(&v)));
    EXPECT_EQ(-EBADF, proc_.read(3, addr(&v), 4));
    EXPECT_EQ(-EBADF, proc_.write(-1, addr(&v), 4));
}

TEST_F(Chrdev, ReadAndWrite) {
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    int fd = proc_.open(200, 0);
    char buf[16] = {};
    EXPECT_EQ(4, proc_.read(fd, addr(buf), 4));
    EXPECT_EQ(2, proc_.read(fd, addr(buf) + 4, 10));
    EXPECT_EQ(0, proc_.read(fd, addr(buf), 10));
    EXPECT_EQ("hello\n", std::string(buf));
    EXPECT_EQ(-EFAULT, proc_.read(proc_.open(200, 0), 0, 4));

    const char text[] = "some words";
    kernel_.clear_log();
    EXPECT_EQ(10, proc_.write(fd, addr(text), 10));
    EXPECT_EQ("kptest_dev: wrote some words\n", kernel_.log());
    EXPECT_EQ(-EFAULT, proc_.write(fd, 16, 4));

    int ro = proc_.open(200, 0, O_RDONLY_);
    EXPECT_EQ(-EBADF, proc_.write(ro, addr(text), 4));
    EXPECT_EQ(6, proc_.read(ro, addr(buf), 16));
}

TEST_F(Chrdev, HeldMajorHasNoOperations) {
    ASSERT_EQ(0, kernel_.hold_chrdev(61, "held"));
    int fd = proc_.open(61, 0);
    ASSERT_GE(fd, 0);
    int v = 0;
    EXPECT_EQ(-ENOTTY, proc_.ioctl(fd, 1, addr(&v)));
    EXPECT_EQ(-EINVAL, proc_.read(fd, addr(&v), 4));
    EXPECT_EQ(0, proc_.close(fd));
}

// FIONBIO is the kernel's: the driver sees only its effect on the file.
TEST_F(Chrdev, FionbioMakesTheFileNonBlocking) {
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    EXPECT_EQ(-EAGAIN, proc_.ioctl(proc_.open(200, 0, 2 | O_NONBLOCK_), KPTEST_SLEEP, 0));
    int fd = proc_.open(200, 0);
    int on = 1;
    EXPECT_EQ(0, proc_.ioctl(fd, FIONBIO_, addr(&on)));
    EXPECT_EQ(-EAGAIN, proc_.ioctl(fd, KPTEST_SLEEP, 0));
    EXPECT_EQ(-EFAULT, proc_.ioctl(fd, FIONBIO_, 0));

    on = 0;
    EXPECT_EQ(0, proc_.ioctl(fd, FIONBIO_, addr(&on)));
    long result = 1;
    std::thread sleeper([&] { result = proc_.ioctl(fd, KPTEST_SLEEP, 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(1, result);  // it sleeps now
    kplat::Process& other = kernel_.spawn("other");
    EXPECT_EQ(0, other.ioctl(other.open(200, 0), KPTEST_WAKE, 0));
    sleeper.join();
    EXPECT_EQ(0, result);
}

TEST_F(Chrdev, ExitClosesTheFiles) {
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    kplat::Process& p = kernel_.spawn("short-lived");
    p.open(200, 1);
    p.open(200, 2);
    kernel_.clear_log();
    kernel_.exit(p);
    EXPECT_EQ("kptest_dev: release 1\nkptest_dev: release 2\n", kernel_.log());
    EXPECT_EQ(0, kernel_.rmmod("kptest_dev"));
}

TEST_F(Chrdev, SleepingCallEndsOnWakeOrSignal) {
    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    int fd = proc_.open(200, 0);
    kplat::Process& other = kernel_.spawn("other");
    int fd2 = other.open(200, 0);

    long result = 1;
    std::thread sleeper([&] { result = proc_.ioctl(fd, KPTEST_SLEEP, 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(0, other.ioctl(fd2, KPTEST_WAKE, 0));
    sleeper.join();
    EXPECT_EQ(0, result);

    std::thread sleeper2([&] { result = proc_.ioctl(fd, KPTEST_SLEEP, 0); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    proc_.kill(2);
    sleeper2.join();
    EXPECT_EQ(-EINTR, result);  // ERESTARTSYS as the process sees it

    // The signal went with that call.
    EXPECT_EQ(0, other.ioctl(fd2, KPTEST_WAKE, 0));
}

TEST_F(Chrdev, PollArmsTheDriversWaitQueues) {
    constexpr unsigned POLLIN_ = 0x1, POLLOUT_ = 0x4, POLLNVAL_ = 0x20, DEFAULT_ = 0x145;
    EXPECT_EQ(POLLNVAL_, proc_.poll(3));
    ASSERT_EQ(0, kernel_.hold_chrdev(61, "held"));
    EXPECT_EQ(DEFAULT_, proc_.poll(proc_.open(61, 0)));

    ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
    int fd = proc_.open(200, 0);
    kplat::Process& other = kernel_.spawn("other");
    int fd2 = other.open(200, 0);
    int calls = 0;
    EXPECT_EQ(POLLOUT_ | 0x100, proc_.poll(fd, [&] { ++calls; }));
    EXPECT_EQ(0, calls);
    EXPECT_EQ(0, other.ioctl(fd2, KPTEST_WAKE, 0));
    EXPECT_EQ(1, calls);
    EXPECT_EQ(0, other.ioctl(fd2, KPTEST_WAKE, 0));
    EXPECT_EQ(1, calls);  // once per arming
    EXPECT_EQ(POLLIN_, proc_.poll(fd, [&] { ++calls; }) & POLLIN_);
    EXPECT_EQ(0, other.ioctl(fd2, KPTEST_WAKE, 0));
    EXPECT_EQ(2, calls);

    // A plain poll leaves nothing armed; neither does a closed file.
    proc_.poll(fd, [&] { ++calls; });
    proc_.poll(fd);
    EXPECT_EQ(0, other.ioctl(fd2, KPTEST_WAKE, 0));
    proc_.poll(fd, [&] { ++calls; });
    ASSERT_EQ(0, proc_.close(fd));
    EXPECT_EQ(0, other.ioctl(fd2, KPTEST_WAKE, 0));
    EXPECT_EQ(2, calls);
}

}  // namespace
