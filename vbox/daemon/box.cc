#include "box.h"

#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

namespace vbox {

namespace {

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

std::string join(const std::vector<std::string>& words, size_t from) {
    std::string s;
    for (size_t i = from; i < words.size(); ++i) s += (s.empty() ? "" : " ") + words[i];
    return s;
}

bool parse_number(const std::string& s, unsigned& out) {
    char* end = nullptr;
    errno = 0;
    unsigned long v = strtoul(s.c_str(), &end, 0);
    if (s.empty() || *end || errno || v > 0xffff) return false;
    out = static_cast<unsigned>(v);
    return true;
}

// The opener's command name, as the driver would see it in current->comm.
std::string program_name(uint32_t pid) {
    std::string comm;
    if (FILE* f = fopen(("/proc/" + std::to_string(pid) + "/comm").c_str(), "r")) {
        char buf[32];
        if (fgets(buf, sizeof buf, f)) comm = buf;
        fclose(f);
    }
    while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm.empty() ? "pid" + std::to_string(pid) : comm;
}

}  // namespace

// The box's own commands, as its shell has them, and the front end's
// questions about the box (box: null for the list alone, vboxd --commands).
void Box::add_box_commands(console::Console& console, Box* box) {
    console.add({"insmod", "NAME [PARAM=VALUE...]", "load a kernel module into the box",
                 [box](console::Context& ctx, const std::vector<std::string>& w, std::string& out) {
                     if (w.size() < 2) {
                         out += "usage: insmod NAME [PARAM=VALUE...]\n";
                         return 2;
                     }
                     int r = ctx.kernel.insmod(w[1], join(w, 2));
                     if (r == 0) return 0;
                     out += box->loader_error("insmod", w[1], r);
                     return 1;
                 }});
    console.add({"rmmod", "NAME", "unload a kernel module",
                 [box](console::Context& ctx, const std::vector<std::string>& w, std::string& out) {
                     if (w.size() != 2) {
                         out += "usage: rmmod NAME\n";
                         return 2;
                     }
                     int r = ctx.kernel.rmmod(w[1]);
                     if (r == 0) return 0;
                     out += box->loader_error("rmmod", w[1], r);
                     return 1;
                 }});
    console.add({"lsmod", "", "list the loaded modules",
                 [](console::Context& ctx, const std::vector<std::string>&, std::string& out) {
                     char row[160];
                     out += "Module                  Size  Used by\n";
                     for (const auto& m : ctx.kernel.lsmod()) {
                         snprintf(row, sizeof row, "%-20s %8lu  %2ld", m.name.c_str(), m.size, m.use_count);
                         out += row;
                         if (!m.used_by.empty()) out += "  [" + join(m.used_by, 0) + "]";
                         out += "\n";
                     }
                     return 0;
                 }});
    console.add({"dmesg", "[-c]", "print the box's kernel log (-c: and clear it)",
                 [](console::Context& ctx, const std::vector<std::string>& w, std::string& out) {
                     out += ctx.kernel.log();
                     if (w.size() > 1 && w[1] == "-c") ctx.kernel.clear_log();
                     return 0;
                 }});
    console.add(
        {"mknod", "/dev/NAME c MAJOR MINOR", "add a device node to the box",
         [box](console::Context&, const std::vector<std::string>& w, std::string& out) { return box->mknod(w, out); }});
    console.add({"nodes", "", "list the device nodes the box serves",
                 [box](console::Context&, const std::vector<std::string>&, std::string& out) {
                     std::lock_guard<std::mutex> g(box->m_);
                     char row[320];
                     for (const auto& n : box->nodes_) {
                         snprintf(row, sizeof row, "%-24s %c %3u %3u\n", n.path.c_str(), n.type, n.major, n.minor);
                         out += row;
                     }
                     return 0;
                 }});
    // `vbox status` prints it; not listed (the front end has its own).
    console.add({"status", "", "", [box](console::Context& ctx, const std::vector<std::string>&, std::string& out) {
                     unsigned long j = ctx.kernel.jiffies();
                     char row[160];
                     snprintf(row, sizeof row, "running in %s, up %lu.%02lu s (jiffies %lu)\n", box->dir_.c_str(),
                              j / 100, j % 100, j);
                     out += row;
                     out += "modules:";
                     for (const auto& m : ctx.kernel.lsmod()) out += " " + m.name;
                     std::lock_guard<std::mutex> g(box->m_);
                     out += "\nnodes:";
                     for (const auto& n : box->nodes_) out += " " + n.path;
                     out += "\nnetwork: " + (box->box_ns_.empty() ? std::string("the host's (no namespace of its own)")
                                                                  : "eth0 " + box->mac_ + " in " + box->box_ns_ +
                                                                        ", head end in " + box->headend_ns_);
                     out += "\nopen files: " + std::to_string(box->files_.size()) + "\n";
                     return 0;
                 }});
    console.add({"boot", "", "", [box](console::Context&, const std::vector<std::string>&, std::string& out) {
                     out += box->boot_transcript();
                     return 0;
                 }});
    // What the front end needs to put a program into the box, one item a
    // line: "net BOX HEADEND", "node PATH MAJOR MINOR".
    console.add({"enter", "", "", [box](console::Context&, const std::vector<std::string>&, std::string& out) {
                     std::lock_guard<std::mutex> g(box->m_);
                     if (!box->box_ns_.empty()) out += "net " + box->box_ns_ + " " + box->headend_ns_ + "\n";
                     for (const auto& n : box->nodes_)
                         out += "node " + n.path + " " + std::to_string(n.major) + " " + std::to_string(n.minor) + "\n";
                     return 0;
                 }});
}

Box::Box(const std::vector<std::string>& module_dirs, const std::string& dir) : dir_(dir) {
    kplat::Options o;
    o.module_path = module_dirs;
    o.clock = kplat::Clock::wall;
    o.console = true;  // the daemon's log file keeps the kernel log too
    kernel_ = std::make_unique<kplat::Kernel>(o);
    board_ = std::make_unique<board::Board>(*kernel_);
    context_.reset(new console::Context{*kernel_, *board_, dir_, {}});
    add_box_commands(console_, this);
    console::add_contributed_words(console_);
}

Box::~Box() { shutdown(); }

std::vector<std::string> Box::shutdown() {
    if (!kernel_) return {};
    // Programs' files first; the board before its kernel, which then unloads
    // the modules, last loaded first.
    {
        std::lock_guard<std::mutex> g(m_);
        files_.clear();
    }
    context_.reset();
    board_.reset();
    auto found = kernel_->shutdown();
    kernel_.reset();
    return found;
}

void Box::set_network(const std::string& box_ns, const std::string& headend_ns, const std::string& mac) {
    std::lock_guard<std::mutex> g(m_);
    box_ns_ = box_ns;
    headend_ns_ = headend_ns;
    mac_ = mac;
}

// A failed insmod or rmmod in the loader's own words.
std::string Box::loader_error(const char* cmd, const std::string& name, int r) const {
    std::string why = kernel_->last_error();
    return (why.empty() ? std::string(cmd) + ": " + name + ": " + strerror(-r) : why) + "\n";
}

bool Box::boot(const std::string& script) {
    FILE* f = fopen(script.c_str(), "r");
    if (!f) {
        std::lock_guard<std::mutex> g(m_);
        transcript_ += "boot: " + script + ": " + strerror(errno) + "\n";
        return false;
    }
    char line[1024];
    int number = 0;
    bool ok = true;
    while (fgets(line, sizeof line, f)) {
        ++number;
        std::string text = line;
        auto hash = text.find('#');
        if (hash != std::string::npos) text.erase(hash);
        if (split(text).empty()) continue;
        std::string out;
        int status = command(text, out);
        std::lock_guard<std::mutex> g(m_);
        if (status != 0) {
            transcript_ += "boot:" + std::to_string(number) + ": " + join(split(text), 0) + "\n";
            ok = false;
        }
        transcript_ += out;
    }
    fclose(f);
    return ok;
}

std::string Box::boot_transcript() const {
    std::lock_guard<std::mutex> g(m_);
    return transcript_;
}

int Box::mknod(const std::vector<std::string>& w, std::string& out) {
    Node n;
    if (w.size() != 5 || w[2] != "c" || w[1].size() >= 256 || w[1].compare(0, 5, "/dev/") != 0 ||
        w[1].find("/../") != std::string::npos || w[1].back() == '/' || !parse_number(w[3], n.major) ||
        !parse_number(w[4], n.minor) || n.major > 255 || n.minor > 255) {
        out += "usage: mknod /dev/NAME c MAJOR MINOR\n";
        return 2;
    }
    n.path = w[1];
    n.type = 'c';
    std::lock_guard<std::mutex> g(m_);
    for (auto& old : nodes_)
        if (old.path == n.path) {
            out += "mknod: " + n.path + ": File exists\n";
            return 1;
        }
    nodes_.push_back(n);
    return 0;
}

int Box::command(const std::string& line, std::string& out, int caller_pid) {
    auto w = split(line);
    if (w.empty()) return 0;
    const console::Command* c = console_.find(w[0]);
    if (!c) {
        out += w[0] + ": unknown command\n";
        return 127;
    }
    // The caller's working folder, through its /proc entry: the same
    // folder whatever namespace the caller runs in.
    console::Context ctx{*kernel_, *board_, dir_,
                         caller_pid > 0 ? "/proc/" + std::to_string(caller_pid) + "/cwd" : std::string()};
    int status = c->run(ctx, w, out);
    publish_proc();
    return status;
}

// The box's /proc/bus as its programs see it (the front end binds the
// folder there): the I2C core's list of adapters, which i2cdetect -l
// reads. Rewritten after every console command, since an insmod or rmmod
// may add or remove an adapter; a rename, so a reader never sees half.
void Box::publish_proc() {
    std::lock_guard<std::mutex> g(proc_m_);
    std::string folder = dir_ + "/proc-bus";
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return;
    std::string text = kernel_->i2c_proc_bus();
    if (text == proc_i2c_) return;
    std::string tmp = folder + "/.i2c", path = folder + "/i2c";
    FILE* f = fopen(tmp.c_str(), "w");
    if (!f) return;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    if (fclose(f) != 0 || !ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return;
    }
    proc_i2c_ = text;
}

void Box::after_call() {
    if (++calls_ % 1024 == 0) console_.housekeeping(*context_);
}

bool Box::find_node(const std::string& path, Node& out) {
    std::lock_guard<std::mutex> g(m_);
    for (const auto& n : nodes_)
        if (n.path == path) {
            out = n;
            return true;
        }
    return false;
}

int Box::open(const Node& node, int flags, uint64_t inode, uint32_t pid, uint32_t pointer_bits,
              std::shared_ptr<OpenFile>& out) {
    auto f = std::make_shared<OpenFile>();
    auto memory = std::make_unique<CallerMemory>();
    f->memory = memory.get();
    f->path = node.path;
    kplat::Abi abi = pointer_bits == 32 ? kplat::Abi::ilp32 : kplat::Abi::lp64;
    f->proc = &kernel_->spawn(program_name(pid), std::move(memory), abi);
    // The driver sees the access mode; the file is non-blocking on the
    // kernel side because the daemon waits for the driver with poll (the
    // program's own O_NONBLOCK acts on its end of the channel).
    int fd = f->proc->open(node.major, node.minor, (flags & 03) | 04000);
    if (fd < 0) {
        kernel_->exit(*f->proc);
        return fd;
    }
    f->fd = fd;
    std::lock_guard<std::mutex> g(m_);
    files_[inode] = f;
    out = f;
    return 0;
}

std::shared_ptr<OpenFile> Box::file(uint64_t inode) {
    std::lock_guard<std::mutex> g(m_);
    auto it = files_.find(inode);
    return it == files_.end() ? nullptr : it->second;
}

void Box::close(uint64_t inode) {
    std::shared_ptr<OpenFile> f;
    {
        std::lock_guard<std::mutex> g(m_);
        auto it = files_.find(inode);
        if (it == files_.end()) return;
        f = it->second;
        files_.erase(it);
    }
    std::lock_guard<std::mutex> g(f->call);
    f->proc->close(f->fd);
    kernel_->exit(*f->proc);
    f->proc = nullptr;
}

void Box::interrupt_calls() {
    std::lock_guard<std::mutex> g(m_);
    for (auto& [inode, f] : files_)
        if (f->proc) f->proc->kill(SIGKILL);
}

}  // namespace vbox
