// The host half of the kernel platform: the CPU and its contexts, virtual
// time, and the services the kernel half calls (see ../seam.h).
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csetjmp>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "kplat/i2c.h"
#include "kplat/kernel.h"
#include "../seam.h"

// The records the host reads as the kernel half lays them out.
KPLAT_SAME_FIELD(kplat::I2cMsg, kplat_i2c_msg, addr);
KPLAT_SAME_FIELD(kplat::I2cMsg, kplat_i2c_msg, flags);
KPLAT_SAME_FIELD(kplat::I2cMsg, kplat_i2c_msg, len);
KPLAT_SAME_FIELD(kplat::I2cMsg, kplat_i2c_msg, buf);
static_assert(sizeof(kplat::I2cMsg) == sizeof(kplat_i2c_msg));
static_assert(kplat::I2cMsg::read == KPLAT_I2C_M_RD && kplat::I2cMsg::ten_bit == KPLAT_I2C_M_TEN &&
              kplat::I2cMsg::nostart == KPLAT_I2C_M_NOSTART);

struct task_struct;
struct file;

namespace kplat::detail {

// One kernel context that can sleep: a process's system calls, or a kernel
// thread (which has an OS thread of its own).
struct HostTask {
    task_struct* kt = nullptr;
    int pid = 0;
    Process* process = nullptr;  // null for kernel threads
    bool kthread = false;
    bool asleep = false;  // given up the CPU until woken
    bool exited = false;
    std::function<void()> on_wake;  // a poll's notifier: called instead of running
    int (*fn)(void*) = nullptr;
    void* arg = nullptr;
    std::thread thread;
    std::jmp_buf exit_jmp;
    std::condition_variable turn;  // signalled when the CPU is handed to it
};

// A loaded module.
struct Module {
    std::string name;
    std::string path;
    void* handle = nullptr;
    void* global_handle = nullptr;  // its symbols made visible to later modules
    const kplat_module_entry* stub = nullptr;
    std::vector<std::string> info;
    std::vector<std::string> exports;
    std::vector<std::string> undefined;
    std::vector<std::string> uses;
    std::vector<std::unique_ptr<char[]>> strings;
    unsigned long size = 0;
};

class Core {
public:
    explicit Core(Options options);
    ~Core();
    std::vector<std::string> shutdown();

    const Options opt;

    // The SoC's bus the board attached (changed on the CPU only).
    Gbus* gbus = nullptr;

    // ---- The CPU ----
    // Runs fn in process context of t (fn directly when called from kernel
    // code already on the CPU). With the manual clock, settles afterwards.
    long run_as(HostTask* t, const std::function<long()>& fn);
    // Runs fn in interrupt context and waits for it.
    void run_irq(const std::function<void()>& fn);
    // Queues interrupt-time work; it runs as soon as the CPU is free.
    void post(std::function<void()> work);
    void settle();
    void advance(unsigned long ticks);

    // Called by the kernel half, on the CPU.
    void schedule(bool sleeping);
    void wake(HostTask* t);
    int kernel_thread(int (*fn)(void*), void* arg, const char* comm);
    [[noreturn]] void thread_exit();
    task_struct* find_task(int pid);
    void udelay(unsigned long usecs);
    // A tick placed by tick_at_call comes at its call.
    void interrupt_point();
    void tick_at_call(unsigned long nth) { tick_at_call_ = nth; }
    void gettimeofday(long* sec, long* usec);
    uint64_t microseconds() const;
    HostTask* current() const { return current_; }
    // Whether the calling thread holds the CPU (kernel code runs on it).
    static bool on_cpu();

    HostTask* make_task(Process* process, int pid, const char* comm);
    void drop_task(HostTask* t);
    int new_pid() { return next_pid_++; }

    // ---- Kernel log ----
    void log(const char* text, unsigned long len);
    std::string log_text() const;
    void clear_log();

    // ---- kmalloc ----
    void* kmalloc(unsigned long size);
    bool kfree(const void* p);
    void fail_kmalloc(unsigned long nth, unsigned long count);
    unsigned long kmalloc_calls() const;
    unsigned long kmalloc_live() const;

    // ---- Modules (modules.cc) ----
    int insmod(std::string_view name, const std::vector<std::string>& args);
    int rmmod(std::string_view name, bool force = false);
    std::vector<ModuleInfo> lsmod();
    std::string last_error() const;

    // ---- Processes ----
    Process& spawn(std::string_view name, std::unique_ptr<UserSpace> user, Abi abi);
    void exit(Process& p);
    Process* init() { return init_; }

private:
    bool cpu_free() const { return owner_ == nullptr && !irq_busy_; }
    bool idle() const { return cpu_free() && runq_.empty() && events_.empty(); }
    void acquire(std::unique_lock<std::mutex>& lk, HostTask* t);
    void release(std::unique_lock<std::mutex>& lk);
    void dispatch(std::unique_lock<std::mutex>& lk);
    void wait_turn(std::unique_lock<std::mutex>& lk, HostTask* t);
    bool idle_skip(std::unique_lock<std::mutex>& lk);
    void enter_task(HostTask* t);
    void enter_irq();
    void run_nested_interrupts();
    void thread_main(HostTask* t);
    void reap_threads();
    void catch_up_wall_clock();
    void clock_main();

    // CPU state, under m_.
    mutable std::mutex m_;
    // Waiters for the CPU to go idle or for interrupt-time work to be done;
    // a task waiting for its turn waits on its own HostTask::turn, so that
    // handing the CPU over wakes only the task that gets it.
    std::condition_variable cv_;
    int cv_waiters_ = 0;
    void wait_shared(std::unique_lock<std::mutex>& lk, const std::function<bool()>& until);
    HostTask* owner_ = nullptr;  // the task on the CPU
    bool irq_busy_ = false;      // the CPU runs interrupt-time work
    std::deque<HostTask*> runq_;
    std::deque<std::function<void()>> events_;
    HostTask* current_ = nullptr;  // on the CPU only; null in interrupt context

    std::vector<std::unique_ptr<HostTask>> tasks_;  // on the CPU only
    int next_pid_ = 1;

    // Time.
    unsigned long usec_ = 0;          // microseconds into the current tick (manual clock)
    unsigned long tick_at_call_ = 0;  // interrupt points before a placed tick, 0: none
    long epoch_sec_ = 0;              // wall time when the platform booted
    std::chrono::steady_clock::time_point wall_start_;
    std::thread clock_thread_;
    std::mutex clock_m_;
    std::condition_variable clock_cv_;
    bool clock_stop_ = false;
    std::atomic<bool> tick_posted_{false};

    // Log.
    mutable std::mutex log_m_;
    std::string log_;

    // kmalloc.
    mutable std::mutex mem_m_;
    std::unordered_map<const void*, unsigned long> allocs_;
    unsigned long kmalloc_calls_ = 0;
    unsigned long fail_from_ = 0, fail_to_ = 0;

    // Modules, on the CPU; last_error_ under mem_m_.
    std::vector<std::unique_ptr<Module>> modules_;
    std::string last_error_;
    void set_error(std::string text);
    // insmod's steps on the CPU: load_module checks the name, opens the
    // object, sets its parameters, links it to the modules whose symbols it
    // uses and starts it; each failure leaves the error and unloads it.
    int load_module(std::unique_ptr<Module> m, const std::vector<std::string>& args);
    int open_module(Module& m);
    void link_to_loaded(Module& m);
    int start_module(std::unique_ptr<Module> m);

    // Processes, under procs_m_.
    std::mutex procs_m_;
    std::vector<std::unique_ptr<Process>> procs_;
    Process* init_ = nullptr;
    bool down_ = false;
    bool threads_left_ = false;

    friend class kplat::Kernel;
};

extern Core* g_core;

}  // namespace kplat::detail
