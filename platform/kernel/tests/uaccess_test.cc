// User memory: copies and checks in the calling process, from a driver's
// ioctl and from LocalUserSpace itself, good and bad addresses alike.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "kplat/kernel.h"
#include "kplat/user.h"
#include "modules/kptest.h"

namespace {

unsigned long addr(const void* p) { return reinterpret_cast<unsigned long>(p); }

// Two pages: the first read-write, the second as asked.
class Pages {
public:
    explicit Pages(int second_prot) {
        size_ = static_cast<unsigned long>(sysconf(_SC_PAGESIZE));
        base_ = static_cast<unsigned char*>(
            mmap(nullptr, 2 * size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        std::memset(base_, 0x11, 2 * size_);
        mprotect(base_ + size_, size_, second_prot);
    }
    ~Pages() { munmap(base_, 2 * size_); }
    // An address n bytes before the second page.
    unsigned char* before_second(unsigned long n) { return base_ + size_ - n; }
    unsigned long page() const { return size_; }

private:
    unsigned char* base_;
    unsigned long size_;
};

class Uaccess : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, kernel_.insmod("kptest_dev", "major=200"));
        fd_ = proc_.open(200, 0);
        ASSERT_GE(fd_, 0);
    }

    long range_call(unsigned cmd, unsigned long a, unsigned long len) {
        kptest_range r{a, len};
        return proc_.ioctl(fd_, cmd, addr(&r));
    }

    kplat::Kernel kernel_{kplat::Options{{KPLAT_TEST_MODULES}}};
    kplat::Process& proc_ = kernel_.spawn("user");
    int fd_ = -1;
};

TEST_F(Uaccess, GetAndPutUser) {
    int v = 41;
    EXPECT_EQ(0, proc_.ioctl(fd_, KPTEST_GETPUT, addr(&v)));
    EXPECT_EQ(42, v);
    Pages none(PROT_NONE), ro(PROT_READ);
    const unsigned long bad[] = {0, 8, addr(none.before_second(0)), addr(none.before_second(2)), ~0ul - 1};
    for (unsigned long b : bad) EXPECT_EQ(-EFAULT, proc_.ioctl(fd_, KPTEST_GETPUT, b)) << std::hex << b;
    // Readable, not writable: the get works, the put fails.
    EXPECT_EQ(-EFAULT, proc_.ioctl(fd_, KPTEST_GETPUT, addr(ro.before_second(0))));

    signed char c = -3;
    EXPECT_EQ(997, proc_.ioctl(fd_, KPTEST_GETCHAR, addr(&c)));
    EXPECT_EQ(-EFAULT, proc_.ioctl(fd_, KPTEST_GETCHAR, 0));
}

TEST_F(Uaccess, CopiesStopAtTheFirstBadByte) {
    for (int prot : {PROT_NONE, PROT_READ}) {
        Pages pages(prot);
        unsigned char* start = pages.before_second(100);
        // In: everything up to the boundary is readable either way.
        EXPECT_EQ(prot == PROT_NONE ? 50 : 0, range_call(KPTEST_COPY_IN, addr(start), 150));
        // Out: the bytes before the boundary land, the rest does not.
        EXPECT_EQ(50, range_call(KPTEST_COPY_OUT, addr(start), 150));
        EXPECT_EQ(0xab, start[0]);
        EXPECT_EQ(0xab, start[99]);
        EXPECT_EQ(0x11, start[-1]);
        EXPECT_EQ(0, range_call(KPTEST_COPY_OUT, addr(start), 100));
    }
    EXPECT_EQ(64, range_call(KPTEST_COPY_IN, 0, 64));
    EXPECT_EQ(64, range_call(KPTEST_COPY_OUT, ~0ul - 10, 64));  // wraps around
    EXPECT_EQ(0, range_call(KPTEST_COPY_IN, 0, 0));
    EXPECT_EQ(-EINVAL, range_call(KPTEST_COPY_IN, 0, KPTEST_DEV_MAX_COPY + 1));
    std::vector<unsigned char> big(KPTEST_DEV_MAX_COPY, 7);
    EXPECT_EQ(0, range_call(KPTEST_COPY_IN, addr(big.data()), big.size()));
    EXPECT_EQ(0, range_call(KPTEST_COPY_OUT, addr(big.data()), big.size()));
    EXPECT_EQ(0xab, big.back());
}

TEST_F(Uaccess, VerifyArea) {
    Pages none(PROT_NONE), ro(PROT_READ);
    int v;
    struct Case {
        unsigned long a, len;
        long read, write;
    };
    const Case cases[] = {
        {addr(&v), sizeof(v), 0, 0},
        {0, 4, -EFAULT, -EFAULT},
        {0, 0, 0, 0},
        {addr(none.before_second(4)), 4, 0, 0},
        {addr(none.before_second(4)), 5, -EFAULT, -EFAULT},
        {addr(ro.before_second(4)), 8, 0, -EFAULT},
        {addr(ro.before_second(4)), 4, 0, 0},
        {~0ul - 3, 8, -EFAULT, -EFAULT},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.read, range_call(KPTEST_VERIFY_READ, c.a, c.len)) << std::hex << c.a << " " << c.len;
        EXPECT_EQ(c.write, range_call(KPTEST_VERIFY_WRITE, c.a, c.len)) << std::hex << c.a << " " << c.len;
    }
    // Checking for write leaves the memory as it was.
    unsigned char* p = ro.before_second(8);
    EXPECT_EQ(0x11, p[0]);
}

TEST_F(Uaccess, StrncpyFromUser) {
    kernel_.clear_log();
    EXPECT_EQ(3, proc_.ioctl(fd_, KPTEST_STRNCPY, addr("abc")));
    EXPECT_EQ("kptest_dev: string abc\n", kernel_.log());
    EXPECT_EQ(16, proc_.ioctl(fd_, KPTEST_STRNCPY, addr("0123456789abcdefXYZ")));
    EXPECT_EQ(-EFAULT, proc_.ioctl(fd_, KPTEST_STRNCPY, 0));
    Pages none(PROT_NONE);
    std::memcpy(none.before_second(2), "xy", 2);  // no terminator before the hole
    EXPECT_EQ(-EFAULT, proc_.ioctl(fd_, KPTEST_STRNCPY, addr(none.before_second(2))));
}

// LocalUserSpace on its own, both ways of copying.
class LocalUser : public ::testing::TestWithParam<bool> {};

TEST_P(LocalUser, CopiesAndChecks) {
    kplat::LocalUserSpace user(GetParam());
    Pages none(PROT_NONE), ro(PROT_READ);
    char buf[300];
    std::memset(buf, 0, sizeof(buf));

    const char text[] = "twelve bytes";
    EXPECT_EQ(0u, user.copy_in(buf, addr(text), sizeof(text)));
    EXPECT_STREQ(text, buf);
    EXPECT_EQ(5u, user.copy_in(buf, 0, 5));
    EXPECT_EQ(100u, user.copy_in(buf, addr(none.before_second(200)), 300));
    EXPECT_EQ(0x11, static_cast<unsigned char>(buf[199]));

    std::memset(buf, 0x22, sizeof(buf));
    EXPECT_EQ(100u, user.copy_out(addr(ro.before_second(200)), buf, 300));
    EXPECT_EQ(0x22, *ro.before_second(1));
    EXPECT_EQ(0u, user.copy_out(addr(ro.before_second(10)), buf, 10));
    EXPECT_EQ(7u, user.copy_out(0, buf, 7));
    // The pipe's leftovers of a failed copy do not leak into the next one.
    char out[4] = {};
    const char abc[] = "abc";
    EXPECT_EQ(0u, user.copy_out(addr(out), abc, 4));
    EXPECT_STREQ("abc", out);

    EXPECT_TRUE(user.check(addr(buf), sizeof(buf), true));
    EXPECT_TRUE(user.check(0, 0, true));
    EXPECT_FALSE(user.check(0, 1, false));
    EXPECT_TRUE(user.check(addr(ro.before_second(1)), 2, false));
    EXPECT_FALSE(user.check(addr(ro.before_second(1)), 2, true));
    EXPECT_FALSE(user.check(addr(none.before_second(1)), 2, false));
    EXPECT_FALSE(user.check(~0ul, 2, false));
}

INSTANTIATE_TEST_SUITE_P(Ways, LocalUser, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "pipe" : "process_vm"; });

}  // namespace

namespace {

// Records as the caller's compiler lays them out: the smart card's
// answer-to-reset record and the input core's event, on the box and on the
// host.
TEST(RecordLayout, FieldsAtTheirNaturalAlignmentForEachAbi) {
    using L = kplat::RecordLayout;
    L atr32(kplat::Abi::ilp32, {L::u8, L::u8, L::pointer});
    L atr64(kplat::Abi::lp64, {L::u8, L::u8, L::pointer});
    EXPECT_EQ(8u, atr32.size());
    EXPECT_EQ(4u, atr32.offset(2));
    EXPECT_EQ(16u, atr64.size());
    EXPECT_EQ(8u, atr64.offset(2));
    L event32(kplat::Abi::ilp32, {L::slong, L::slong, L::u16, L::u16, L::u32});
    L event64(kplat::Abi::lp64, {L::slong, L::slong, L::u16, L::u16, L::u32});
    EXPECT_EQ(16u, event32.size());
    EXPECT_EQ(24u, event64.size());
    EXPECT_EQ(18u, event64.offset(3));

    unsigned char rec[24] = {};
    event32.set(rec, 0, static_cast<uint64_t>(-2));
    event32.set(rec, 4, 0x12345678);
    EXPECT_EQ(static_cast<uint64_t>(-2), event32.get(rec, 0));  // sign-extended
    EXPECT_EQ(0xfeu, rec[0]);
    EXPECT_EQ(0x00u, rec[4]);  // the second long untouched
    EXPECT_EQ(0x78u, rec[12]);
    atr32.set(rec, 2, 0x1234567890ull);
    EXPECT_EQ(0x34567890u, atr32.get(rec, 2));  // a 32-bit pointer keeps 32 bits
    EXPECT_EQ(sizeof(long) == 8 ? event64.size() : event32.size(),
              L(kplat::native_abi, {L::slong, L::slong, L::u16, L::u16, L::u32}).size());
}

}  // namespace
