// The CPU of the kernel platform: who runs, when, and what time it is.
//
// Exactly one kernel context holds the CPU at a time. A context that gives
// it up (a return, a sleep, a yield) hands it to the first runnable task,
// after running the interrupt-time work (raised lines, clock ticks, signals
// from outside) queued meanwhile. Every context is an OS thread that waits
// for its turn, so sleeping kernel code keeps its stack as on the box.
#include "core.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/time.h>

#include "../seam.h"

extern "C" volatile unsigned long jiffies;

namespace kplat::detail {

Core* g_core = nullptr;

namespace {

thread_local bool t_on_cpu = false;

constexpr unsigned long HZ = 100;
constexpr unsigned long usec_per_tick = 1000000 / HZ;
constexpr unsigned long log_limit = 1 << 20;
// A system call sleeping this long in virtual time, with only timers to wake
// it, is taken for a hang.
constexpr unsigned long skip_limit = 24 * 3600 * HZ;

bool time_before(unsigned long a, unsigned long b) { return static_cast<long>(a - b) < 0; }

[[noreturn]] void fatal(const std::string& what) {
    std::fprintf(stderr, "kplat: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace

Core::Core(Options options) : opt(std::move(options)) {
    if (g_core) fatal("a second Kernel while one is running");
    g_core = this;
    h2k_reset();
    wall_start_ = std::chrono::steady_clock::now();
    struct timeval tv;
    ::gettimeofday(&tv, nullptr);
    epoch_sec_ = tv.tv_sec;
}

Core::~Core() { g_core = nullptr; }

bool Core::on_cpu() { return t_on_cpu; }

// ---- Handing the CPU over ----

void Core::acquire(std::unique_lock<std::mutex>& lk, HostTask* t) {
    runq_.push_back(t);
    if (cpu_free()) dispatch(lk);
    wait_turn(lk, t);
}

void Core::release(std::unique_lock<std::mutex>& lk) {
    owner_ = nullptr;
    current_ = nullptr;
    t_on_cpu = false;
    dispatch(lk);
}

void Core::dispatch(std::unique_lock<std::mutex>& lk) {
    while (!events_.empty()) {
        auto work = std::move(events_.front());
        events_.pop_front();
        irq_busy_ = true;
        lk.unlock();
        t_on_cpu = true;
        enter_irq();
        work();
        t_on_cpu = false;
        lk.lock();
        irq_busy_ = false;
    }
    if (!runq_.empty()) {
        owner_ = runq_.front();
        runq_.pop_front();
        owner_->turn.notify_one();
    }
    if (cv_waiters_) cv_.notify_all();
}

void Core::wait_shared(std::unique_lock<std::mutex>& lk, const std::function<bool()>& until) {
    ++cv_waiters_;
    cv_.wait(lk, until);
    --cv_waiters_;
}

void Core::wait_turn(std::unique_lock<std::mutex>& lk, HostTask* t) {
    unsigned long skipped_from = jiffies;
    while (owner_ != t) {
        if (t->process && opt.clock == Clock::manual && idle()) {
            // A system call sleeps and nothing else can run: move time on
            // to the next timer, or wait a little for work from outside.
            if (jiffies - skipped_from > skip_limit)
                fatal("pid " + std::to_string(t->pid) + " sleeps in a system call for more than a day of virtual time");
            if (idle_skip(lk)) continue;
            ++cv_waiters_;
            bool woken = cv_.wait_for(lk, std::chrono::seconds(2), [&] { return owner_ == t || !idle(); });
            --cv_waiters_;
            if (woken) continue;
            fatal("pid " + std::to_string(t->pid) +
                  " sleeps in a system call, no other context can run and no timer is pending");
        }
        if (t->process && opt.clock == Clock::manual) {
            // Woken by any change, to see the CPU fall idle.
            ++cv_waiters_;
            cv_.wait(lk);
            --cv_waiters_;
        } else {
            t->turn.wait(lk);
        }
    }
}

bool Core::idle_skip(std::unique_lock<std::mutex>& lk) {
    irq_busy_ = true;
    lk.unlock();
    t_on_cpu = true;
    enter_irq();
    unsigned long expires;
    bool pending = h2k_next_timer(&expires);
    if (pending) {
        if (time_before(jiffies, expires)) {
            jiffies = expires;
            usec_ = 0;
        }
        h2k_run_timers();
    }
    t_on_cpu = false;
    lk.lock();
    irq_busy_ = false;
    dispatch(lk);
    return pending;
}

void Core::enter_task(HostTask* t) {
    t_on_cpu = true;
    current_ = t;
    h2k_set_current(t->kt, 0);
    // On the box the timer interrupt keeps jiffies current; here the tick
    // may be late on a loaded host, so a task never starts from a stale
    // jiffies (a timeout counted from it would end early).
    if (opt.clock == Clock::wall) catch_up_wall_clock();
}

void Core::enter_irq() {
    current_ = nullptr;
    h2k_set_current(h2k_idle_task(), 1);
}

long Core::run_as(HostTask* t, const std::function<long()>& fn) {
    if (t_on_cpu) return fn();
    {
        std::unique_lock<std::mutex> lk(m_);
        acquire(lk, t);
    }
    enter_task(t);
    // A signal sent before the call was taken care of on the way in.
    h2k_flush_signals(t->kt);
    long result = fn();
    h2k_flush_signals(t->kt);
    {
        std::unique_lock<std::mutex> lk(m_);
        release(lk);
    }
    if (opt.clock == Clock::manual) settle();
    return result;
}

void Core::post(std::function<void()> work) {
    std::unique_lock<std::mutex> lk(m_);
    events_.push_back(std::move(work));
    if (!t_on_cpu && cpu_free()) dispatch(lk);
}

void Core::run_irq(const std::function<void()>& fn) {
    if (t_on_cpu) {
        fn();
        return;
    }
    bool done = false;
    post([&] {
        fn();
        std::lock_guard<std::mutex> g(m_);
        done = true;
    });
    {
        std::unique_lock<std::mutex> lk(m_);
        wait_shared(lk, [&] { return done; });
    }
    if (opt.clock == Clock::manual) settle();
}

void Core::settle() {
    if (t_on_cpu) return;
    std::unique_lock<std::mutex> lk(m_);
    wait_shared(lk, [&] { return idle(); });
}

void Core::schedule(bool sleeping) {
    HostTask* t = current_;
    if (!t) k2h_bug("schedule() outside a task");
    std::unique_lock<std::mutex> lk(m_);
    if (!sleeping) {
        if (runq_.empty() && events_.empty()) return;
        runq_.push_back(t);
    } else {
        t->asleep = true;
    }
    release(lk);
    wait_turn(lk, t);
    lk.unlock();
    enter_task(t);
}

void Core::wake(HostTask* t) {
    if (t->on_wake) {
        t->on_wake();
        return;
    }
    std::lock_guard<std::mutex> g(m_);
    if (t->asleep && !t->exited) {
        t->asleep = false;
        runq_.push_back(t);
    }
}

// ---- Tasks ----

HostTask* Core::make_task(Process* process, int pid, const char* comm) {
    auto t = std::make_unique<HostTask>();
    t->pid = pid;
    t->process = process;
    t->kt = h2k_task_create(t.get(), pid, comm);
    HostTask* raw = t.get();
    std::lock_guard<std::mutex> g(m_);
    tasks_.push_back(std::move(t));
    return raw;
}

void Core::drop_task(HostTask* t) {
    std::lock_guard<std::mutex> g(m_);
    for (auto it = tasks_.begin(); it != tasks_.end(); ++it) {
        if (it->get() == t) {
            h2k_task_destroy(t->kt);
            tasks_.erase(it);
            return;
        }
    }
}

int Core::kernel_thread(int (*fn)(void*), void* arg, const char* comm) {
    reap_threads();
    HostTask* t = make_task(nullptr, new_pid(), comm);
    t->kthread = true;
    t->fn = fn;
    t->arg = arg;
    {
        std::lock_guard<std::mutex> g(m_);
        runq_.push_back(t);
    }
    t->thread = std::thread([this, t] { thread_main(t); });
    return t->pid;
}

void Core::thread_main(HostTask* t) {
    {
        std::unique_lock<std::mutex> lk(m_);
        wait_turn(lk, t);
    }
    enter_task(t);
    if (setjmp(t->exit_jmp) == 0) t->fn(t->arg);
    h2k_task_exited(t->kt);
    std::unique_lock<std::mutex> lk(m_);
    t->exited = true;
    release(lk);
}

void Core::thread_exit() {
    HostTask* t = current_;
    if (!t || !t->kthread) k2h_bug("do_exit() outside a kernel thread");
    std::longjmp(t->exit_jmp, 1);
}

void Core::reap_threads() {
    std::vector<std::unique_ptr<HostTask>> done;
    {
        std::lock_guard<std::mutex> g(m_);
        for (auto it = tasks_.begin(); it != tasks_.end();) {
            if ((*it)->kthread && (*it)->exited && *it != nullptr && it->get() != current_) {
                done.push_back(std::move(*it));
                it = tasks_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& t : done) {
        if (t->thread.joinable()) t->thread.join();
        h2k_task_destroy(t->kt);
    }
}

task_struct* Core::find_task(int pid) {
    std::lock_guard<std::mutex> g(m_);
    for (auto& t : tasks_)
        if (t->pid == pid && !t->exited) return t->kt;
    return nullptr;
}

// ---- Time ----

void Core::catch_up_wall_clock() {
    auto elapsed = std::chrono::steady_clock::now() - wall_start_;
    unsigned long target = static_cast<unsigned long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / (1000 / HZ));
    if (time_before(jiffies, target)) jiffies = target;
}

void Core::clock_main() {
    std::unique_lock<std::mutex> lk(clock_m_);
    auto next = std::chrono::steady_clock::now();
    while (!clock_stop_) {
        next += std::chrono::milliseconds(1000 / HZ);
        if (clock_cv_.wait_until(lk, next, [&] { return clock_stop_; })) break;
        if (!tick_posted_.exchange(true)) {
            post([this] {
                tick_posted_ = false;
                catch_up_wall_clock();
                h2k_run_timers();
            });
        }
    }
}

void Core::advance(unsigned long ticks) {
    if (opt.clock != Clock::manual) return;
    settle();
    unsigned long target = jiffies + ticks;
    while (time_before(jiffies, target)) {
        run_irq([&] {
            unsigned long next = target, expires;
            if (h2k_next_timer(&expires) && time_before(expires, target))
                next = time_before(jiffies, expires) ? expires : jiffies + 1;
            jiffies = next;
            usec_ = 0;
            h2k_run_timers();
        });
    }
}

void Core::run_nested_interrupts() {
    // An interrupt or a timer that falls due during a busy wait runs inside
    // it, as on the box, unless interrupts are off or we are in one already.
    HostTask* t = current_;
    if (!t || !h2k_irqs_enabled()) return;
    enter_irq();
    h2k_run_timers();
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> g(m_);
            if (events_.empty()) break;
            work = std::move(events_.front());
            events_.pop_front();
        }
        work();
    }
    current_ = t;
    h2k_set_current(t->kt, 0);
}

void Core::udelay(unsigned long usecs) {
    // Time passes tick by tick, so that what falls due on the way runs at
    // its own tick.
    if (opt.clock == Clock::wall) {
        std::this_thread::sleep_for(std::chrono::microseconds(usecs));
        auto elapsed = std::chrono::steady_clock::now() - wall_start_;
        unsigned long target = static_cast<unsigned long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / (1000 / HZ));
        while (time_before(jiffies, target)) {
            jiffies = jiffies + 1;
            run_nested_interrupts();
        }
    } else {
        usec_ += usecs;
        while (usec_ >= usec_per_tick) {
            usec_ -= usec_per_tick;
            jiffies = jiffies + 1;
            run_nested_interrupts();
        }
    }
    run_nested_interrupts();
}

void Core::interrupt_point() {
    if (opt.clock != Clock::manual || !tick_at_call_ || !current_ || !h2k_irqs_enabled()) return;
    if (--tick_at_call_) return;
    jiffies = jiffies + 1;
    usec_ = 0;
    run_nested_interrupts();
}

uint64_t Core::microseconds() const {
    if (opt.clock == Clock::wall)
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - wall_start_)
                .count());
    return static_cast<uint64_t>(jiffies) * usec_per_tick + usec_;
}

void Core::gettimeofday(long* sec, long* usec) {
    if (opt.clock == Clock::wall) {
        struct timeval tv;
        ::gettimeofday(&tv, nullptr);
        *sec = tv.tv_sec;
        *usec = tv.tv_usec;
        return;
    }
    unsigned long total = jiffies * usec_per_tick + usec_;
    *sec = epoch_sec_ + static_cast<long>(total / 1000000);
    *usec = static_cast<long>(total % 1000000);
}

// ---- Kernel log ----

void Core::log(const char* text, unsigned long len) {
    std::lock_guard<std::mutex> g(log_m_);
    log_.append(text, len);
    if (log_.size() > log_limit) {
        // Drop the oldest lines, as the box's log ring does.
        size_t cut = log_.find('\n', log_.size() - log_limit);
        log_.erase(0, cut == std::string::npos ? log_.size() - log_limit : cut + 1);
    }
    if (opt.console) {
        std::fwrite(text, 1, len, stderr);
        std::fflush(stderr);
    }
}

std::string Core::log_text() const {
    std::lock_guard<std::mutex> g(log_m_);
    return log_;
}

void Core::clear_log() {
    std::lock_guard<std::mutex> g(log_m_);
    log_.clear();
}

// ---- kmalloc ----

void* Core::kmalloc(unsigned long size) {
    std::lock_guard<std::mutex> g(mem_m_);
    ++kmalloc_calls_;
    if (kmalloc_calls_ >= fail_from_ && kmalloc_calls_ < fail_to_) return nullptr;
    void* p = std::malloc(size ? size : 1);
    if (p) allocs_[p] = size;
    return p;
}

bool Core::kfree(const void* p) {
    std::lock_guard<std::mutex> g(mem_m_);
    auto it = allocs_.find(p);
    if (it == allocs_.end()) return false;
    allocs_.erase(it);
    std::free(const_cast<void*>(p));
    return true;
}

void Core::fail_kmalloc(unsigned long nth, unsigned long count) {
    std::lock_guard<std::mutex> g(mem_m_);
    fail_from_ = kmalloc_calls_ + (nth ? nth : 1);
    fail_to_ = fail_from_ + count;
}

unsigned long Core::kmalloc_calls() const {
    std::lock_guard<std::mutex> g(mem_m_);
    return kmalloc_calls_;
}

unsigned long Core::kmalloc_live() const {
    std::lock_guard<std::mutex> g(mem_m_);
    return allocs_.size();
}

}  // namespace kplat::detail

// ---- The host services of ../seam.h ----

using kplat::detail::g_core;

extern "C" {

void k2h_log(const char* text, unsigned long len) { g_core->log(text, len); }

void k2h_bug(const char* what) {
    std::string line = std::string("kernel BUG: ") + what + "\n";
    if (g_core) g_core->log(line.data(), line.size());
    kplat::detail::fatal(line.substr(0, line.size() - 1));
}

void* k2h_kmalloc(unsigned long size) { return g_core->kmalloc(size); }

int k2h_kfree(const void* p) { return g_core->kfree(p) ? 0 : -1; }

void* k2h_zalloc(unsigned long size) {
    void* p = std::calloc(1, size ? size : 1);
    if (!p) kplat::detail::fatal("out of host memory");
    return p;
}

void k2h_free(void* p) { std::free(p); }

unsigned long k2h_copy_from_user(void* to, unsigned long from, unsigned long n) {
    auto* t = g_core->current();
    if (!t || !t->process) return n;
    return t->process->user_space().copy_in(to, from, n);
}

unsigned long k2h_copy_to_user(unsigned long to, const void* from, unsigned long n) {
    auto* t = g_core->current();
    if (!t || !t->process) return n;
    return t->process->user_space().copy_out(to, from, n);
}

int k2h_user_access_ok(unsigned long addr, unsigned long n, int write) {
    auto* t = g_core->current();
    if (!t || !t->process) return 0;
    return t->process->user_space().check(addr, n, write != 0) ? 1 : 0;
}

void k2h_schedule(int sleeping) { g_core->schedule(sleeping != 0); }

void k2h_wake(void* host_task) {
    if (host_task) g_core->wake(static_cast<kplat::detail::HostTask*>(host_task));
}

int k2h_kernel_thread(int (*fn)(void*), void* arg, const char* comm) { return g_core->kernel_thread(fn, arg, comm); }

void k2h_thread_exit(void) { g_core->thread_exit(); }

struct task_struct* k2h_find_task(int pid) {
    return g_core->find_task(pid);
}

void k2h_udelay(unsigned long usecs) { g_core->udelay(usecs); }

void k2h_interrupt_point(void) { g_core->interrupt_point(); }

void k2h_gettimeofday(long* sec, long* usec) { g_core->gettimeofday(sec, usec); }

void k2h_irq_resend(unsigned int irq, int level) {
    if (level) g_core->post([irq] { h2k_do_level_irq(irq); });
    else g_core->post([irq] { h2k_do_irq(irq); });
}

int k2h_i2c_master_xfer(kplat::I2cMaster* master, kplat_i2c_msg* msgs, int num) {
    // The same layout: see core.h.
    return master->transfer(reinterpret_cast<kplat::I2cMsg*>(msgs), num);
}

unsigned int k2h_i2c_master_functionality(kplat::I2cMaster* master) { return master->functionality(); }

}  // extern "C"
