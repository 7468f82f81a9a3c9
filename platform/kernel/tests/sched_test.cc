// The execution model: virtual jiffies, timers, a kernel thread, sleeping
// system calls, interrupts, keventd, delays; and the wall clock.
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "kplat/kernel.h"
#include "kplat/timer.h"
#include "modules/kptest.h"

namespace {

class Sched : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, kernel_.insmod("kptest_sched")) << kernel_.last_error();
        fd_ = proc_.open(KPTEST_SCHED_MAJOR, 0);
        ASSERT_GE(fd_, 0);
    }

    long call(unsigned cmd, unsigned long arg = 0) { return proc_.ioctl(fd_, cmd, arg); }
    std::string tick(unsigned long j) { return std::to_string(j); }

    kplat::Kernel kernel_{kplat::Options{{KPLAT_TEST_MODULES}}};
    kplat::Process& proc_ = kernel_.spawn("user");
    int fd_ = -1;
};

TEST_F(Sched, BootAndModuleContexts) {
    // The thread ran up to its sleep before insmod returned.
    EXPECT_EQ("kptest_sched: init in insmod\nkptest_sched: thread kptest thread started\n", kernel_.log());
    EXPECT_EQ(0ul, kernel_.jiffies());
    EXPECT_EQ(0, call(KPTEST_KILL, 2));  // keventd is pid 2, and lives on
    EXPECT_EQ(1, call(KPTEST_TASK));
    EXPECT_EQ(-ESRCH, call(KPTEST_KILL, 9999));
    EXPECT_GT(call(KPTEST_THREAD_PID), 2);
}

TEST_F(Sched, TimerFiresAtItsTick) {
    kernel_.advance(10);
    kernel_.clear_log();
    ASSERT_EQ(0, call(KPTEST_TIMER_ADD, 5));
    kernel_.advance(4);
    EXPECT_EQ("", kernel_.log());
    kernel_.advance(1);
    EXPECT_EQ("kptest_sched: timer 5 at 15 in interrupt\nkptest_sched: thread woke at 15 for 1\n", kernel_.log());
    EXPECT_EQ(15ul, kernel_.jiffies());
}

TEST_F(Sched, HostDeviceTimerRunsAtItsTickOnTheCpu) {
    std::vector<unsigned long> fired;
    kplat::Timer timer(kernel_, [&] { fired.push_back(kernel_.jiffies()); });
    timer.start(5);
    EXPECT_TRUE(timer.pending());
    timer.start(8);  // moved, not doubled
    kernel_.advance(7);
    EXPECT_TRUE(fired.empty());
    kernel_.advance(1);
    EXPECT_EQ(std::vector<unsigned long>{8}, fired);
    EXPECT_FALSE(timer.pending());
    timer.start(0);  // the next tick
    kernel_.advance(1);
    timer.start(3);
    timer.stop();
    kernel_.advance(10);
    EXPECT_EQ((std::vector<unsigned long>{8, 9}), fired);
    timer.start(2);  // pending when destroyed: it never fires
}

TEST_F(Sched, ModAndDelTimer) {
    EXPECT_EQ(0, call(KPTEST_TIMER_MOD, 3));   // was not pending
    EXPECT_EQ(1, call(KPTEST_TIMER_MOD, 30));  // was
    kernel_.advance(29);
    kernel_.clear_log();
    kernel_.advance(1);
    EXPECT_EQ("kptest_sched: timer 30 at 30 in interrupt\nkptest_sched: thread woke at 30 for 1\n", kernel_.log());
    EXPECT_EQ(0, call(KPTEST_TIMER_DEL));
    ASSERT_EQ(0, call(KPTEST_TIMER_ADD, 1));
    EXPECT_EQ(1, call(KPTEST_TIMER_DEL));
    kernel_.clear_log();
    kernel_.advance(100);
    EXPECT_EQ("", kernel_.log());
}

TEST_F(Sched, SleepingCallMovesTimeToItsTimeout) {
    kernel_.clear_log();
    EXPECT_EQ(0, call(KPTEST_SLEEP_TICKS, 250));
    EXPECT_EQ(250ul, kernel_.jiffies());
    EXPECT_EQ("kptest_sched: slept 250 left 0\n", kernel_.log());

    // Other timers on the way fire in order.
    ASSERT_EQ(0, call(KPTEST_TIMER_ADD, 10));
    kernel_.clear_log();
    EXPECT_EQ(0, call(KPTEST_SLEEP_TICKS, 20));
    EXPECT_EQ(
        "kptest_sched: timer 10 at 260 in interrupt\nkptest_sched: thread woke at 260 for 1\n"
        "kptest_sched: slept 20 left 0\n",
        kernel_.log());
}

TEST_F(Sched, IdleTimeOfASleepingCallIsSkipped) {
    // Nothing else to run: the call's own timeout ends it at once.
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, call(KPTEST_SLEEP_TICKS, 1000000));
    EXPECT_EQ(1000000ul, kernel_.jiffies());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(Sched, CompletionFromATimer) {
    kernel_.clear_log();
    EXPECT_EQ(0, call(KPTEST_COMPLETION, 7));
    EXPECT_EQ(
        "kptest_sched: timer 0 at 7 in interrupt\nkptest_sched: completed at 7\n"
        "kptest_sched: thread woke at 7 for 1\n",
        kernel_.log());
}

TEST_F(Sched, InterruptsWakeTheThread) {
    ASSERT_EQ(0, call(KPTEST_IRQ_REQUEST, 22));
    EXPECT_EQ(-EBUSY, call(KPTEST_IRQ_REQUEST, 22));
    EXPECT_EQ(-EBUSY, call(KPTEST_IRQ_REQUEST, 64));
    kernel_.clear_log();
    kernel_.raise_irq(22);
    // A fast handler runs with interrupts off.
    EXPECT_EQ("kptest_sched: irq 22 flags 0\nkptest_sched: thread woke at 0 for 1\n", kernel_.log());

    kernel_.clear_log();
    kernel_.raise_irq(21);  // nobody's line
    EXPECT_EQ(0, call(KPTEST_IRQ_DISABLE, 22));
    kernel_.raise_irq(22);
    EXPECT_EQ("", kernel_.log());
    EXPECT_EQ(0, call(KPTEST_IRQ_ENABLE, 22));  // the held-back one arrives
    EXPECT_EQ("kptest_sched: irq 22 flags 0\nkptest_sched: thread woke at 0 for 1\n", kernel_.log());

    kernel_.clear_log();
    EXPECT_EQ(0, call(KPTEST_IRQ_ENABLE, 22));
    EXPECT_EQ("enable_irq(22) unbalanced\n", kernel_.log());
    EXPECT_EQ(0, call(KPTEST_IRQ_FREE, 22));
    kernel_.raise_irq(22);
    EXPECT_EQ("enable_irq(22) unbalanced\n", kernel_.log());
    EXPECT_EQ(0, call(KPTEST_IRQ_REQUEST, 22));  // free again
}

// A line the board holds asserted interrupts once, and once more when it
// is enabled while still asserted; one that fell meanwhile does not.
TEST_F(Sched, ALineHeldAtALevel) {
    ASSERT_EQ(0, call(KPTEST_IRQ_REQUEST, 22));
    auto count = [&] { return kernel_.interrupts().at(0).count; };
    kernel_.set_irq_line(22, true);
    kernel_.set_irq_line(22, true);
    EXPECT_EQ(1ul, count());
    EXPECT_TRUE(kernel_.interrupts()[0].asserted);
    kernel_.set_irq_line(22, false);

    EXPECT_EQ(0, call(KPTEST_IRQ_DISABLE, 22));
    kernel_.set_irq_line(22, true);
    kernel_.set_irq_line(22, false);
    EXPECT_EQ(0, call(KPTEST_IRQ_ENABLE, 22));
    EXPECT_EQ(1ul, count());
    EXPECT_EQ(0, call(KPTEST_IRQ_DISABLE, 22));
    kernel_.set_irq_line(22, true);
    EXPECT_FALSE(kernel_.interrupts()[0].enabled);
    EXPECT_EQ(0, call(KPTEST_IRQ_ENABLE, 22));
    EXPECT_EQ(2ul, count());
}

// Another driver holds the line: request_irq is refused, and a driver's
// free_irq cannot take the holder's handler away.
TEST_F(Sched, ALineClaimedByAnotherDriver) {
    ASSERT_EQ(0, kernel_.claim_irq(22, "other"));
    EXPECT_EQ(-EBUSY, call(KPTEST_IRQ_REQUEST, 22));
    kernel_.clear_log();
    EXPECT_EQ(0, call(KPTEST_IRQ_FREE, 22));
    EXPECT_EQ("Trying to free free IRQ22\n", kernel_.log());
    kernel_.raise_irq(22);
    auto lines = kernel_.interrupts();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(std::vector<std::string>{"other"}, lines[0].handlers);
    EXPECT_EQ(1ul, lines[0].count);
    EXPECT_EQ(-EINVAL, kernel_.claim_irq(64, "other"));
    ASSERT_EQ(0, kernel_.release_irq(22, "other"));
    EXPECT_EQ(0, call(KPTEST_IRQ_REQUEST, 22));
}

TEST_F(Sched, RequestIrqOutOfMemory) {
    kernel_.fail_kmalloc(1);
    EXPECT_EQ(-EBUSY, call(KPTEST_IRQ_REQUEST, 22));
    EXPECT_EQ(0, call(KPTEST_IRQ_REQUEST, 22));
}

TEST_F(Sched, TaskQueueRunsInKeventd) {
    kernel_.clear_log();
    EXPECT_EQ(1, call(KPTEST_TASK));
    EXPECT_EQ("kptest_sched: task hello in keventd\n", kernel_.log());
}

TEST_F(Sched, DelaysMoveTimeAndLetTimersIn) {
    EXPECT_EQ(2, call(KPTEST_UDELAY, 25000));
    EXPECT_EQ(0, call(KPTEST_UDELAY, 4000));
    EXPECT_EQ(1, call(KPTEST_UDELAY, 1000));  // 5 ms were left over
    ASSERT_EQ(0, call(KPTEST_TIMER_ADD, 1));
    kernel_.clear_log();
    EXPECT_EQ(3, call(KPTEST_UDELAY, 30000));
    EXPECT_EQ(
        "kptest_sched: timer 1 at 4 in interrupt\nkptest_sched: delayed 30000\n"
        "kptest_sched: thread woke at 6 for 1\n",
        kernel_.log());
}

TEST_F(Sched, UnloadStopsTheThread) {
    ASSERT_EQ(0, call(KPTEST_IRQ_REQUEST, 5));
    ASSERT_EQ(0, call(KPTEST_TIMER_ADD, 100));
    ASSERT_EQ(0, proc_.close(fd_));
    kernel_.clear_log();
    ASSERT_EQ(0, kernel_.rmmod("kptest_sched"));
    EXPECT_EQ("kptest_sched: thread exits\n", kernel_.log());
    kernel_.advance(200);
    kernel_.raise_irq(5);
    EXPECT_EQ("kptest_sched: thread exits\n", kernel_.log());
    EXPECT_EQ(0u, kernel_.kmalloc_live());
}

TEST(SchedWall, JiffiesFollowTheWallClock) {
    kplat::Kernel kernel{kplat::Options{{KPLAT_TEST_MODULES}, kplat::Clock::wall}};
    ASSERT_EQ(0, kernel.insmod("kptest_sched"));
    kplat::Process& p = kernel.spawn("user");
    int fd = p.open(KPTEST_SCHED_MAJOR, 0);
    auto start = std::chrono::steady_clock::now();
    unsigned long j0 = kernel.jiffies();
    ASSERT_EQ(0, p.ioctl(fd, KPTEST_TIMER_ADD, 5));
    // 5 ticks of 10 ms: the timer is due after about 50 ms.
    for (int i = 0; i < 200 && kernel.log().find("thread woke") == std::string::npos; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_NE(std::string::npos, kernel.log().find("thread woke"));
    EXPECT_GE(waited, std::chrono::milliseconds(40));
    EXPECT_GE(kernel.jiffies(), j0 + 5);
    // A sleeping call waits in real time: 10 ticks counted from inside the
    // current one, so a little over 9 ticks at least.
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(0, p.ioctl(fd, KPTEST_SLEEP_TICKS, 10));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(85));
    kernel.advance(1000);  // does nothing on the wall clock
    EXPECT_LT(kernel.jiffies(), j0 + 500);
}

}  // namespace
