// The box's Linux 2.4 kernel on the development host, as tests and the
// virtual box daemon drive it: modules loaded from host shared objects,
// the kernel log, character devices opened by processes (the drivers' and
// the host's own), the I2C core with the board's masters, the SoC's bus,
// interrupt lines, and virtual time.
//
// Execution model: one virtual CPU, non-preemptive, as the box's
// single-core 2.4 kernel. A kernel context (a system call of a Process, a
// kernel thread, a timer, an interrupt handler, a task-queue routine) runs
// until it sleeps or returns; only then does another one run. Every call
// below may be made from any thread; each takes the CPU for its work.
//
// Time: jiffies at HZ 100. With Clock::manual (tests) time moves only by
// advance(); after each call the platform runs every context that became
// runnable until all sleep again, so a test always looks at a quiet
// system. One exception keeps calls from hanging: when a system call
// sleeps and nothing else can run, time jumps to the next pending timer
// (a driver's schedule_timeout() in its init ends that way). With
// Clock::wall (the virtual box daemon) jiffies follow the wall clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kplat/chrdev.h"
#include "kplat/gbus.h"
#include "kplat/i2c.h"
#include "kplat/user.h"

namespace kplat {

namespace detail {
class Core;
struct HostTask;
}  // namespace detail

enum class Clock { manual, wall };

struct Options {
    std::vector<std::string> module_path;  // folders where insmod looks for NAME.so
    Clock clock = Clock::manual;
    bool console = false;  // echo the kernel log on stderr as well
};

struct ModuleInfo {
    std::string name;
    std::string path;
    unsigned long size = 0;            // bytes of the object file
    long use_count = 0;                // open files, MOD_INC_USE_COUNT
    std::vector<std::string> used_by;  // modules that use its exported symbols
    std::vector<std::string> info;     // "kernel_version=...", "parm_x=i", "description=..."
};

struct ChrdevInfo {
    unsigned major;
    std::string name;
};

struct I2cClientInfo {
    std::string name;
    unsigned addr;
    std::string driver;
};

struct I2cAdapterInfo {
    int nr;
    std::string name;
    unsigned id = 0;  // its algorithm in the high byte (I2C_ALGO_BIT: 0x010000)
    std::vector<I2cClientInfo> clients;
};

// An interrupt line, as /proc/interrupts shows it.
struct IrqInfo {
    unsigned irq;
    std::vector<std::string> handlers;  // request_irq's names, claim_irq's too
    bool enabled;                       // not inside disable_irq
    bool asserted;                      // held by the board (set_irq_line)
    unsigned long count;                // deliveries to the handlers
};

class Kernel;

// A user process making system calls. Results are the kernel's: a value
// >= 0, or a negative errno (-EINTR where the kernel would restart the call
// after a signal). Calls of one Process are taken one at a time.
class Process {
public:
    int pid() const { return pid_; }
    const std::string& name() const { return name_; }
    UserSpace& user_space() { return *user_; }
    // The program's ABI; each file it opens knows it.
    Abi abi() const { return abi_; }

    // Opens the character device node (major, minor); a descriptor or -errno
    // (-ENXIO when no driver has the major).
    int open(unsigned major, unsigned minor, int flags = 2 /* O_RDWR */);
    int close(int fd);  // the driver's release result; -EBADF for a bad fd
    // arg and buf are addresses in this process's user space.
    long ioctl(int fd, unsigned int cmd, unsigned long arg);
    long read(int fd, unsigned long buf, unsigned long count);
    long write(int fd, unsigned long buf, unsigned long count);

    // The file's poll mask (POLLIN 0x1, POLLOUT 0x4, ...; POLLNVAL 0x20 for
    // a bad fd). With on_ready, the wait queues the driver names are armed:
    // on_ready is called once, from kernel context, when one of them wakes
    // (something may have changed: poll again, which re-arms). Keep it
    // short and do not call the kernel from it, e.g. write to an eventfd.
    unsigned poll(int fd, std::function<void()> on_ready = {});

    // Sends a signal to the process: an interruptible sleep of a call in
    // progress ends (the signal is consumed when that call returns).
    void kill(int sig);

    // Runs fn as a system call of this process (kernel code reached from
    // here sees the process as current, with its user space).
    long call(const std::function<long()>& fn);

    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

private:
    friend class Kernel;
    friend class detail::Core;
    Process(detail::Core& core, std::string_view name, std::unique_ptr<UserSpace> user, Abi abi);
    struct File;
    struct FileTable;

    detail::Core& core_;
    int pid_;
    std::string name_;
    std::unique_ptr<UserSpace> user_;
    Abi abi_;
    detail::HostTask* task_;
    std::unique_ptr<FileTable> files_;
};

class Kernel {
public:
    explicit Kernel(Options options = {});
    // shutdown(), when it has not run yet. Only one Kernel exists at a time
    // in a process.
    ~Kernel();

    // The box powering off: ends every process (closing its files), unloads
    // every module (last loaded first, each with its cleanup), removes the
    // I2C adapters still registered and stops the kernel's threads. Returns
    // what the shutdown check found the modules left behind (one line
    // each: a module that refused to go, allocations not freed, majors, I2C
    // drivers or adapters still registered, timers pending, kernel threads
    // still running); empty for a clean shutdown. Once; the Kernel takes no
    // calls afterwards. The destructor aborts on a kernel thread left
    // running (its code is gone), whoever ran the shutdown.
    std::vector<std::string> shutdown();
    Kernel(const Kernel&) = delete;
    Kernel& operator=(const Kernel&) = delete;

    // Modules. name is a module name looked up as NAME.so in the module
    // path, or a path. args as on insmod's command line: "scarts_en=3
    // probe=0,0x4c". Returns the module's init result, or a negative errno of
    // the loader: -ENOENT (no such module), -EEXIST (loaded already),
    // -ENOEXEC (not a module, unresolved symbols), -EINVAL (bad parameters).
    int insmod(std::string_view name, std::string_view args = {});
    int insmod(std::string_view name, const std::vector<std::string>& args);
    // -ENOENT (not loaded), -EBUSY (in use, used by another module, or
    // without cleanup), else 0 after its cleanup ran.
    int rmmod(std::string_view name);
    // The loaded modules, the last loaded first (as the box's lsmod).
    std::vector<ModuleInfo> lsmod();
    // Why the last insmod or rmmod failed, in insmod's words; empty after a
    // success.
    std::string last_error() const;

    // The kernel log: everything printk wrote since the last clear, level
    // prefixes such as "<3>" as the driver wrote them. Keeps the last MiB.
    std::string log() const;
    void clear_log();

    // kmalloc: the nth allocation from now (1: the next one), and the
    // count - 1 after it, return NULL.
    void fail_kmalloc(unsigned long nth, unsigned long count = 1);
    unsigned long kmalloc_calls() const;  // kmalloc calls so far
    unsigned long kmalloc_live() const;   // allocations not freed yet

    // Character devices.
    std::vector<ChrdevInfo> chrdevs();
    // Takes a major without a driver behind it (opening it succeeds, its
    // ioctls give -ENOTTY), as another driver holding it would.
    int hold_chrdev(unsigned major, std::string_view name);
    int release_chrdev(unsigned major, std::string_view name);
    // A device of the host under the major (register_chrdev's results). The
    // device must outlive its registration; files still open on it after
    // unregister_chrdev fail their calls with -ENODEV.
    int register_chrdev(unsigned major, std::string_view name, CharDevice& device);
    int unregister_chrdev(unsigned major, std::string_view name);

    // I2C: adds an adapter whose transfers go to master; drivers registered
    // with I2C_DF_NOTIFY attach to it at once. Returns the adapter number.
    int add_i2c_adapter(std::string_view name, unsigned id, I2cMaster& master);
    // Detaches its clients (their drivers' detach_client) and removes it.
    int del_i2c_adapter(int nr);
    std::vector<I2cAdapterInfo> i2c_adapters();
    std::vector<std::string> i2c_drivers();
    // The I2C core's /proc/bus/i2c: a line per adapter, "i2c-N\tKIND\tNAME\tALGORITHM"
    // (names padded to 32), as 2.4 prints it for i2cdetect -l.
    std::string i2c_proc_bus();
    // A client without a driver at the address, as another driver's client
    // would be: probes skip the address, and a full adapter refuses more.
    // in_use: the client also holds a use of the adapter, as a client
    // driver's i2c_inc_use_client does (the adapter's module stays loaded)
    // until it is released.
    int hold_i2c_client(int adapter, unsigned addr, std::string_view name, bool in_use = false);
    int release_i2c_client(int adapter, unsigned addr);
    // A transfer on the adapter as a kernel client makes it (i2c_transfer,
    // in process context): the number of messages done or a negative errno
    // (-ENODEV: no such adapter).
    int i2c_transfer(int adapter, I2cMsg* msgs, int num);

    // The SoC's internal bus behind gbus_read_uint32 and friends (null:
    // none). The bus must outlive its attachment.
    void attach_gbus(Gbus* bus);
    // llad and gbus handles the drivers have open.
    int bus_handles();

    // Processes. The default user space is this process's own memory.
    Process& spawn(std::string_view name, std::unique_ptr<UserSpace> user = nullptr, Abi abi = native_abi);
    // Closes the process's files and forgets it.
    void exit(Process& process);
    Process& init();  // pid 1

    // Interrupts. raise_irq is a pulse on the line: the handlers run in
    // interrupt context as soon as the CPU is free (at once from a test).
    // set_irq_line holds the line at a level, as an interrupt controller
    // does until its source is acknowledged: asserting it interrupts once;
    // when no handler holds the line then, or it is disabled, the
    // interrupt comes as a handler is added or the line enabled, if it is
    // still asserted. Both may be called from kernel context (a board model
    // reacting to a register write); the interrupt then comes when that
    // context allows it.
    void raise_irq(unsigned irq);
    void set_irq_line(unsigned irq, bool asserted);
    // Takes the line as another driver's handler would: request_irq then
    // gives -EBUSY. 0, -EBUSY or -EINVAL.
    int claim_irq(unsigned irq, std::string_view name);
    int release_irq(unsigned irq, std::string_view name);
    // Lines with a handler, a holder or a level.
    std::vector<IrqInfo> interrupts();

    // keventd runs another driver's task that sleeps for ticks: tasks
    // queued meanwhile wait behind it (a queued task meeting an unload).
    // 0, or -EBUSY while the last one is still queued.
    int keventd_busy(unsigned long ticks);

    // Time.
    unsigned long jiffies() const;
    // Since boot, in microseconds: with Clock::manual jiffies × 10000 plus
    // what udelay has used of the current tick. Board models read it in
    // kernel context to time what they do.
    uint64_t microseconds() const;
    void advance(unsigned long ticks);  // Clock::manual: runs the due timers tick by tick
    // Clock::manual: the timer interrupt coming in the middle of kernel
    // code, e.g. of a module's cleanup. The nth call from now that kernel
    // code makes in process context with interrupts on to del_timer (and
    // del_timer_sync), flush_scheduled_tasks, kfree or unregister_chrdev
    // is preceded by a tick: jiffies moves on by one and the due timers
    // run. 0 takes it back.
    void tick_at_call(unsigned long nth);
    void settle();  // waits until every context sleeps

    // Runs fn on the CPU in interrupt context: board models use it to change
    // their state safely against running drivers (from the daemon's threads).
    void atomically(const std::function<void()>& fn);

private:
    std::unique_ptr<detail::Core> core_;
};

}  // namespace kplat
