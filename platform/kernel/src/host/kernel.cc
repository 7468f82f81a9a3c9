// The platform's C++ face: Kernel and Process.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core.h"
#include "../seam.h"

extern "C" volatile unsigned long jiffies;

namespace kplat {

namespace {

constexpr long EBADF_ = 9;
constexpr long EINTR_ = 4;

// A call of the kernel half made by the platform itself, as init: its result.
template <typename Fn>
int kernel_call(detail::Core& core, Fn fn) {
    return static_cast<int>(core.init()->call([&]() -> long { return fn(); }));
}

// Results a process sees: a restarted call after a signal shows as EINTR.
long user_result(long r) {
    if (r == -512 || r == -513 || r == -514) return -EINTR_;
    return r;
}

}  // namespace

// ---- Process ----

struct Process::FileTable {
    struct Open {
        struct file* file;
        detail::HostTask* notifier = nullptr;  // armed by poll
    };
    std::mutex call;          // one call at a time
    std::map<int, Open> fds;  // under call

    // The open file behind fd, null for a bad descriptor (under call).
    struct file* find(int fd) const {
        auto it = fds.find(fd);
        return it == fds.end() ? nullptr : it->second.file;
    }
};

namespace {

// Closes one file of a process, on the CPU.
long close_file(detail::Core& core, struct file* file, detail::HostTask* notifier) {
    long r = h2k_file_release(file);
    if (notifier) core.drop_task(notifier);
    return r;
}

}  // namespace

Process::Process(detail::Core& core, std::string_view name, std::unique_ptr<UserSpace> user, Abi abi)
    : core_(core), pid_(core.new_pid()), name_(name), user_(std::move(user)), abi_(abi),
      files_(std::make_unique<FileTable>()) {
    if (!user_) user_ = std::make_unique<LocalUserSpace>();
    task_ = core_.make_task(this, pid_, name_.c_str());
}

Process::~Process() { core_.drop_task(task_); }

long Process::call(const std::function<long()>& fn) {
    std::lock_guard<std::mutex> g(files_->call);
    return core_.run_as(task_, fn);
}

int Process::open(unsigned major, unsigned minor, int flags) {
    return static_cast<int>(call([&]() -> long {
        struct file* f = nullptr;
        int bits = abi_ == Abi::lp64 ? 64 : 32;
        int r = h2k_chrdev_open(major, minor, static_cast<unsigned>(flags), bits, &f);
        if (r < 0) return user_result(r);
        int fd = 3;
        while (files_->fds.count(fd)) ++fd;
        files_->fds[fd] = {f};
        return fd;
    }));
}

int Process::close(int fd) {
    return static_cast<int>(call([&]() -> long {
        auto it = files_->fds.find(fd);
        if (it == files_->fds.end()) return -EBADF_;
        FileTable::Open open = it->second;
        files_->fds.erase(it);
        return user_result(close_file(core_, open.file, open.notifier));
    }));
}

long Process::ioctl(int fd, unsigned int cmd, unsigned long arg) {
    return call([&]() -> long {
        struct file* f = files_->find(fd);
        return f ? user_result(h2k_file_ioctl(f, cmd, arg)) : -EBADF_;
    });
}

long Process::read(int fd, unsigned long buf, unsigned long count) {
    return call([&]() -> long {
        struct file* f = files_->find(fd);
        return f ? user_result(h2k_file_read(f, buf, count)) : -EBADF_;
    });
}

long Process::write(int fd, unsigned long buf, unsigned long count) {
    return call([&]() -> long {
        struct file* f = files_->find(fd);
        return f ? user_result(h2k_file_write(f, buf, count)) : -EBADF_;
    });
}

unsigned Process::poll(int fd, std::function<void()> on_ready) {
    return static_cast<unsigned>(call([&]() -> long {
        auto it = files_->fds.find(fd);
        if (it == files_->fds.end()) return 0x20;  // POLLNVAL
        task_struct* notifier = nullptr;
        if (on_ready) {
            if (!it->second.notifier) it->second.notifier = core_.make_task(nullptr, -1, "poll");
            it->second.notifier->on_wake = std::move(on_ready);
            notifier = it->second.notifier->kt;
        }
        return static_cast<long>(h2k_file_poll(it->second.file, notifier));
    }));
}

void Process::kill(int sig) {
    task_struct* kt = task_->kt;
    core_.post([kt, sig] { h2k_signal(kt, sig); });
    if (core_.opt.clock == Clock::manual) core_.settle();
}

namespace detail {

Process& Core::spawn(std::string_view name, std::unique_ptr<UserSpace> user, Abi abi) {
    std::unique_ptr<Process> p(new Process(*this, name, std::move(user), abi));
    Process* raw = p.get();
    std::lock_guard<std::mutex> g(procs_m_);
    procs_.push_back(std::move(p));
    return *raw;
}

void Core::exit(Process& p) {
    // Its open files are closed as at the end of a process on the box.
    p.call([&]() -> long {
        for (auto& [fd, open] : p.files_->fds) close_file(*this, open.file, open.notifier);
        p.files_->fds.clear();
        return 0;
    });
    std::unique_ptr<Process> gone;
    {
        std::lock_guard<std::mutex> g(procs_m_);
        auto it = std::find_if(procs_.begin(), procs_.end(), [&](auto& q) { return q.get() == &p; });
        if (it == procs_.end()) return;
        gone = std::move(*it);
        procs_.erase(it);
    }
}

std::vector<std::string> Core::shutdown() {
    std::vector<std::string> found;
    if (down_) return found;
    down_ = true;
    if (clock_thread_.joinable()) {
        {
            std::lock_guard<std::mutex> g(clock_m_);
            clock_stop_ = true;
        }
        clock_cv_.notify_all();
        clock_thread_.join();
    }

    std::vector<Process*> others;
    {
        std::lock_guard<std::mutex> g(procs_m_);
        for (auto& p : procs_)
            if (p.get() != init_) others.push_back(p.get());
    }
    for (Process* p : others) exit(*p);

    // Every module goes, the last loaded first; one that refuses is
    // reported and taken out all the same.
    while (!modules_.empty()) {
        std::string name = lsmod().front().name;
        if (rmmod(name) != 0) {
            found.push_back(last_error());
            rmmod(name, true);
        }
    }

    init_->call([&]() -> long {
        const char* name;
        unsigned id;
        int clients;
        for (int nr = 0; nr < I2C_ADAP_MAX; nr++)
            if (h2k_i2c_adapter(nr, &name, &id, &clients)) {
                found.push_back(std::string("I2C adapter ") + name + " still registered");
                h2k_i2c_del_master(nr);
            }
        for (int i = 0; h2k_i2c_driver(i, &name); i++)
            found.push_back(std::string("I2C driver ") + name + " still registered");
        for (unsigned major = 0; major < MAX_CHRDEV; major++)
            if (const char* chr = h2k_chrdev_name(major))
                found.push_back("major " + std::to_string(major) + " (" + chr + ") still registered");
        for (unsigned irq = 0; irq < NR_IRQS; irq++)
            for (int i = 0; h2k_irq_action(irq, i, &name); i++)
                found.push_back("IRQ " + std::to_string(irq) + " still requested (" + name + ")");
        h2k_shutdown();
        unsigned long expires;
        if (h2k_next_timer(&expires))
            found.push_back("a timer is still pending (expires at jiffy " + std::to_string(expires) + ")");
        return 0;
    });
    if (unsigned long live = kmalloc_live()) found.push_back(std::to_string(live) + " kmalloc allocation(s) not freed");

    // Kernel threads still running belong to modules that are gone.
    {
        std::lock_guard<std::mutex> g(m_);
        for (auto& t : tasks_)
            if (t->kthread && !t->exited) {
                found.push_back("kernel thread pid " + std::to_string(t->pid) + " still running");
                threads_left_ = true;
            }
    }
    if (threads_left_) return found;
    reap_threads();
    exit(*init_);
    h2k_reset();
    return found;
}

}  // namespace detail

// ---- Kernel ----

Kernel::Kernel(Options options) : core_(std::make_unique<detail::Core>(std::move(options))) {
    core_->init_ = &core_->spawn("init", nullptr, native_abi);
    core_->init_->call([]() -> long {
        h2k_boot();
        return 0;
    });
    if (core_->opt.clock == Clock::wall) core_->clock_thread_ = std::thread([this] { core_->clock_main(); });
}

Kernel::~Kernel() {
    core_->shutdown();
    for (auto& t : core_->tasks_)
        if (t->kthread && !t->exited)
            std::fprintf(stderr, "kplat: kernel thread pid %d still running at shutdown\n", t->pid);
    if (core_->threads_left_) std::abort();
}

std::vector<std::string> Kernel::shutdown() { return core_->shutdown(); }

int Kernel::insmod(std::string_view name, std::string_view args) {
    std::vector<std::string> list;
    size_t i = 0;
    while (i < args.size()) {
        while (i < args.size() && (args[i] == ' ' || args[i] == '\t' || args[i] == '\n')) ++i;
        size_t j = i;
        while (j < args.size() && args[j] != ' ' && args[j] != '\t' && args[j] != '\n') ++j;
        if (j > i) list.emplace_back(args.substr(i, j - i));
        i = j;
    }
    return core_->insmod(name, list);
}

int Kernel::insmod(std::string_view name, const std::vector<std::string>& args) { return core_->insmod(name, args); }

int Kernel::rmmod(std::string_view name) { return core_->rmmod(name); }

std::vector<ModuleInfo> Kernel::lsmod() { return core_->lsmod(); }

std::string Kernel::last_error() const { return core_->last_error(); }

std::string Kernel::log() const { return core_->log_text(); }

void Kernel::clear_log() { core_->clear_log(); }

void Kernel::fail_kmalloc(unsigned long nth, unsigned long count) { core_->fail_kmalloc(nth, count); }

unsigned long Kernel::kmalloc_calls() const { return core_->kmalloc_calls(); }

unsigned long Kernel::kmalloc_live() const { return core_->kmalloc_live(); }

std::vector<ChrdevInfo> Kernel::chrdevs() {
    std::vector<ChrdevInfo> out;
    core_->run_irq([&] {
        for (unsigned major = 0; major < MAX_CHRDEV; major++)
            if (const char* name = h2k_chrdev_name(major)) out.push_back({major, name});
    });
    return out;
}

int Kernel::hold_chrdev(unsigned major, std::string_view name) {
    return kernel_call(*core_, [&] { return h2k_chrdev_hold(major, std::string(name).c_str()); });
}

int Kernel::release_chrdev(unsigned major, std::string_view name) {
    return kernel_call(*core_, [&] { return h2k_chrdev_unhold(major, std::string(name).c_str()); });
}

int Kernel::register_chrdev(unsigned major, std::string_view name, CharDevice& device) {
    return kernel_call(*core_, [&] { return h2k_chrdev_register_host(major, std::string(name).c_str(), &device); });
}

int Kernel::unregister_chrdev(unsigned major, std::string_view name) {
    return kernel_call(*core_, [&] { return h2k_chrdev_unregister_host(major, std::string(name).c_str()); });
}

int Kernel::add_i2c_adapter(std::string_view name, unsigned id, I2cMaster& master) {
    return kernel_call(*core_, [&] { return h2k_i2c_add_master(std::string(name).c_str(), id, &master); });
}

int Kernel::del_i2c_adapter(int nr) {
    return kernel_call(*core_, [&] { return h2k_i2c_del_master(nr); });
}

std::vector<I2cAdapterInfo> Kernel::i2c_adapters() {
    std::vector<I2cAdapterInfo> out;
    core_->run_irq([&] {
        const char* name;
        unsigned id;
        int count;
        for (int nr = 0; nr < I2C_ADAP_MAX; nr++) {
            if (!h2k_i2c_adapter(nr, &name, &id, &count)) continue;
            I2cAdapterInfo a{nr, name, id, {}};
            const char* cname;
            const char* driver;
            unsigned addr;
            for (int i = 0; i < I2C_CLIENT_MAX; i++)
                if (h2k_i2c_client(nr, i, &cname, &addr, &driver)) a.clients.push_back({cname, addr, driver});
            out.push_back(std::move(a));
        }
    });
    return out;
}

std::vector<std::string> Kernel::i2c_drivers() {
    std::vector<std::string> out;
    core_->run_irq([&] {
        const char* name;
        for (int i = 0; i < I2C_DRIVER_MAX; i++)
            if (h2k_i2c_driver(i, &name)) out.push_back(name);
    });
    return out;
}

std::string Kernel::i2c_proc_bus() {
    char buf[I2C_ADAP_MAX * 128 + 1];
    unsigned long n = 0;
    core_->run_irq([&] { n = h2k_i2c_proc_bus(buf, sizeof buf); });
    return std::string(buf, n);
}

int Kernel::hold_i2c_client(int adapter, unsigned addr, std::string_view name, bool in_use) {
    return kernel_call(*core_,
                       [&] { return h2k_i2c_hold_client(adapter, addr, std::string(name).c_str(), in_use ? 1 : 0); });
}

int Kernel::release_i2c_client(int adapter, unsigned addr) {
    return kernel_call(*core_, [&] { return h2k_i2c_unhold_client(adapter, addr); });
}

int Kernel::i2c_transfer(int adapter, I2cMsg* msgs, int num) {
    // The same layout: see core.h.
    return kernel_call(*core_, [&] { return h2k_i2c_transfer(adapter, reinterpret_cast<kplat_i2c_msg*>(msgs), num); });
}

void Kernel::attach_gbus(Gbus* bus) {
    core_->run_irq([&] { core_->gbus = bus; });
}

int Kernel::bus_handles() {
    int n = 0;
    core_->run_irq([&] { n = h2k_bus_handles(); });
    return n;
}

Process& Kernel::spawn(std::string_view name, std::unique_ptr<UserSpace> user, Abi abi) {
    return core_->spawn(name, std::move(user), abi);
}

void Kernel::exit(Process& process) {
    if (&process == core_->init()) return;
    core_->exit(process);
}

Process& Kernel::init() { return *core_->init(); }

void Kernel::raise_irq(unsigned irq) {
    core_->post([irq] { h2k_do_irq(irq); });
    if (core_->opt.clock == Clock::manual) core_->settle();
}

void Kernel::set_irq_line(unsigned irq, bool asserted) {
    core_->run_irq([&] { h2k_irq_line(irq, asserted ? 1 : 0); });
}

int Kernel::claim_irq(unsigned irq, std::string_view name) {
    return kernel_call(*core_, [&] { return h2k_irq_hold(irq, std::string(name).c_str()); });
}

int Kernel::release_irq(unsigned irq, std::string_view name) {
    return kernel_call(*core_, [&] { return h2k_irq_unhold(irq, std::string(name).c_str()); });
}

std::vector<IrqInfo> Kernel::interrupts() {
    std::vector<IrqInfo> out;
    core_->run_irq([&] {
        for (unsigned irq = 0; irq < NR_IRQS; irq++) {
            IrqInfo info{irq, {}, false, false, 0};
            int enabled, asserted;
            h2k_irq_state(irq, &enabled, &asserted, &info.count);
            info.enabled = enabled != 0;
            info.asserted = asserted != 0;
            const char* name;
            for (int i = 0; h2k_irq_action(irq, i, &name); i++) info.handlers.push_back(name);
            if (!info.handlers.empty() || info.asserted) out.push_back(std::move(info));
        }
    });
    return out;
}

int Kernel::keventd_busy(unsigned long ticks) {
    return kernel_call(*core_, [&] { return h2k_keventd_busy(ticks); });
}

void Kernel::tick_at_call(unsigned long nth) {
    kernel_call(*core_, [&] {
        core_->tick_at_call(nth);
        return 0;
    });
}

unsigned long Kernel::jiffies() const { return ::jiffies; }

uint64_t Kernel::microseconds() const { return core_->microseconds(); }

void Kernel::advance(unsigned long ticks) { core_->advance(ticks); }

void Kernel::settle() { core_->settle(); }

void Kernel::atomically(const std::function<void()>& fn) { core_->run_irq(fn); }

}  // namespace kplat
