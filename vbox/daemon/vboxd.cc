// vboxd: the virtual box daemon. Hosts the box's kernel on the virtual
// board, boots it from a start-up script, and serves the box's device nodes
// on the Unix socket in the box folder: programs open them through the
// bridge, and their ioctls run in the kernel here, one kernel context at a
// time, with the memory copies answered by the calling program. The box's
// network (its eth0 and the head end's side) lives as long as the daemon.
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "../common/wire.h"
#include "box.h"
#include "hostns/netns.h"

namespace {

using namespace vbox;

// Physical memory of the box as seen through /dev/mem: a sparse file that
// covers the whole 32-bit physical address space.
constexpr off_t kPhysSize = off_t(1) << 32;

std::atomic<int> g_listen{-1};
int g_wake[2] = {-1, -1};        // written to end the accept loop
std::atomic<int> g_stop_fd{-1};  // the front end waiting for `stop` to finish

// The connections being served, so that a stopping box can end them.
class Connections {
public:
    void add(int fd) {
        std::lock_guard<std::mutex> g(m_);
        fds_.insert(fd);
    }
    void remove(int fd) {
        std::lock_guard<std::mutex> g(m_);
        fds_.erase(fd);
        cv_.notify_all();
    }
    // Ends every connection (its thread sees the end of the stream) and
    // waits for the threads to leave; false if some did not in time.
    bool end_all(Box& box) {
        std::unique_lock<std::mutex> g(m_);
        for (int fd : fds_) shutdown(fd, SHUT_RDWR);
        g.unlock();
        box.interrupt_calls();  // a call sleeping in a driver
        g.lock();
        return cv_.wait_for(g, std::chrono::seconds(10), [this] { return fds_.empty(); });
    }

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::set<int> fds_;
};

Connections g_connections;

void log_line(const char* fmt, const std::string& a = {}, const std::string& b = {}) {
    fprintf(stderr, fmt, a.c_str(), b.c_str());
    fputc('\n', stderr);
}

// A program's control channel: its ioctls, one after the other. Each
// request carries the window of the caller's memory; the result carries
// the driver's stores into it.
void serve_control(Box& box, int fd) {
    struct {
        IoctlReq rq;
        char window[kMaxWindow];
    } in;
    std::string stores;
    for (;;) {
        MsgHeader h;
        if (!recv_msg(fd, h, &in, sizeof in) || h.type != MSG_IOCTL || h.len < sizeof in.rq ||
            h.len - sizeof in.rq != in.rq.sent)
            break;
        const IoctlReq& rq = in.rq;
        IoctlResult res = {-EBADF, 0, 0, 0, 0};
        stores.clear();
        auto f = box.file(rq.inode);
        bool broken = false;
        if (f) {
            std::lock_guard<std::mutex> g(f->call);
            if (f->proc) {
                f->memory->attach(fd, rq.arg, in.window, rq.sent, rq.writable);
                res.ret = f->proc->ioctl(f->fd, rq.cmd, static_cast<unsigned long>(rq.arg));
                broken = f->memory->broken();
                f->memory->result(res, stores);
                f->memory->detach();
                box.after_call();
            }
        }
        // A program that died or garbled its answers mid-call gets no
        // result; the driver has finished the call with EFAULT for the copies.
        if (broken || !send_msg(fd, MSG_RESULT, &res, sizeof res, stores.data(), stores.size())) break;
    }
}

// A device's data channel: the program's read, write and poll reach the
// driver when the program makes them, one request at a time, and get the
// driver's own answer (its data, its end of file, its errors). What the
// program has not read stays in the driver. The kernel side of the file is
// non-blocking: a blocking call waits here, woken by the driver's wait
// queues, so no call sleeps in the driver and the program's ioctls are
// never kept waiting behind a read. After a poll that found nothing the
// channel carries one MSG_DATA_READY once the driver wakes with something
// the poll asked for.
class DataChannel {
public:
    DataChannel(OpenFile& f, int sock) : f_(f), sock_(sock), ev_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~DataChannel() {
        if (ev_ >= 0) close(ev_);
    }

    void serve() {
        if (ev_ < 0) return;
        for (;;) {
            pollfd p[2] = {{sock_, POLLIN, 0}, {ev_, POLLIN, 0}};
            if (poll(p, 2, -1) < 0 && errno != EINTR) return;
            if (p[1].revents & POLLIN) {
                drain_wakes();
                if (armed_ && (driver_poll() & want_)) {
                    armed_ = false;
                    if (!send_msg(sock_, MSG_DATA_READY)) return;
                }
            }
            if ((p[0].revents & (POLLIN | POLLHUP | POLLERR)) && !request()) return;
        }
    }

private:
    static constexpr size_t kMaxWrite = kMaxMem;

    void drain_wakes() {
        uint64_t n;
        if (read(ev_, &n, sizeof n) < 0) {}
    }
    std::function<void()> waker() {
        int ev = ev_;
        return [ev] {
            uint64_t one = 1;
            if (write(ev, &one, sizeof one) < 0) {}
        };
    }
    // The driver's mask, its wait queues armed to wake this channel.
    unsigned driver_poll() {
        std::lock_guard<std::mutex> g(f_.call);
        return f_.proc ? f_.proc->poll(f_.fd, waker()) : POLLNVAL;
    }

    // One request of the program; false when the channel is done.
    bool request() {
        MsgHeader h;
        if (!read_header(sock_, h, CallerMemory::kReplyTimeoutMs)) return false;
        if (h.type == MSG_DATA_CANCEL && h.len == 0) return true;  // its call had ended already
        DataReq rq;
        if (h.len < sizeof rq || !read_full(sock_, &rq, sizeof rq, CallerMemory::kReplyTimeoutMs)) return false;
        uint32_t extra = h.len - sizeof rq;
        bool nonblock = rq.flags & kDataNonblock;
        DataDone done = {0};
        switch (h.type) {
        case MSG_DATA_READ: {
            if (extra != 0) return false;
            buf_.resize(std::min<uint32_t>(rq.count, kMaxMem));
            done.ret = wait_for(nonblock, [&] {
                return f_.proc->read(f_.fd, reinterpret_cast<unsigned long>(buf_.data()), buf_.size());
            });
            if (done.ret == kGone) return false;
            size_t n = done.ret > 0 ? static_cast<size_t>(done.ret) : 0;
            return send_msg(sock_, MSG_DATA_DONE, &done, sizeof done, buf_.data(), n);
        }
        case MSG_DATA_WRITE: {
            if (extra != rq.count || extra > kMaxWrite) return false;
            buf_.resize(extra);
            if (!read_full(sock_, buf_.data(), extra, CallerMemory::kReplyTimeoutMs)) return false;
            done.ret = wait_for(nonblock, [&] {
                return f_.proc->write(f_.fd, reinterpret_cast<unsigned long>(buf_.data()), buf_.size());
            });
            if (done.ret == kGone) return false;
            return send_msg(sock_, MSG_DATA_DONE, &done, sizeof done);
        }
        case MSG_DATA_POLL: {
            if (extra != 0) return false;
            want_ = (rq.count & 0xffff) | POLLERR | POLLHUP | POLLNVAL;
            unsigned mask = driver_poll();
            armed_ = !(mask & want_);
            done.ret = mask;
            return send_msg(sock_, MSG_DATA_DONE, &done, sizeof done);
        }
        default: return false;
        }
    }

    static constexpr long kGone = -1000000;  // the program went away during the call

    // Runs the driver's call; a blocking caller whose driver says -EAGAIN
    // waits for the driver's wake-up (or the program's cancel) and calls
    // again, as the driver's own sleep would.
    template <class Call>
    long wait_for(bool nonblock, Call call) {
        for (;;) {
            long r;
            {
                std::lock_guard<std::mutex> g(f_.call);
                if (!f_.proc) return -EBADF;
                if (!nonblock) f_.proc->poll(f_.fd, waker());  // armed before the call: no wake-up lost
                r = call();
            }
            if (r != -EAGAIN || nonblock) return r;
            pollfd p[2] = {{sock_, POLLIN, 0}, {ev_, POLLIN, 0}};
            if (poll(p, 2, -1) < 0 && errno != EINTR) return kGone;
            if (p[1].revents & POLLIN) drain_wakes();
            if (p[0].revents & (POLLIN | POLLHUP | POLLERR)) {
                MsgHeader h;
                if (!read_header(sock_, h, CallerMemory::kReplyTimeoutMs) || h.type != MSG_DATA_CANCEL || h.len != 0)
                    return kGone;  // only a cancel may come during a call
                return -EINTR;
            }
        }
    }

    OpenFile& f_;
    int sock_;
    int ev_;
    bool armed_ = false;
    unsigned want_ = 0;
    std::vector<char> buf_;
};

// A device's data channel: opened here, released when the program has
// closed every copy of its descriptor (or died).
void serve_open(Box& box, int fd, uint32_t len) {
    OpenReq rq;
    OpenReply rep = {OPEN_NOT_SERVED, 0};
    if (len != sizeof rq || !read_full(fd, &rq, sizeof rq, 5000)) return;
    rq.path[kMaxPath - 1] = 0;
    Node node;
    std::shared_ptr<OpenFile> file;
    if (box.find_node(rq.path, node)) {
        int r = box.open(node, static_cast<int>(rq.flags), rq.inode, rq.pid, rq.pointer_bits, file);
        rep = r == 0 ? OpenReply{OPEN_OK, 0} : OpenReply{OPEN_FAILED, -r};
    }
    if (send_msg(fd, MSG_OPEN_REPLY, &rep, sizeof rep) && rep.status == OPEN_OK) DataChannel(*file, fd).serve();
    if (file) box.close(rq.inode);
}

// A front end's command. `stop` is answered by the main thread once the
// box is down (with what the shutdown check found); returns true then, and
// the connection stays open for it.
bool serve_admin(Box& box, int fd, uint32_t len) {
    std::string line(len, '\0');
    if (!read_full(fd, line.data(), len, 5000)) return false;
    if (line == "stop") {
        int none = -1;
        if (!g_stop_fd.compare_exchange_strong(none, fd)) return false;  // stopping already
        g_connections.remove(fd);                                        // not one of those the stop ends
        if (write(g_wake[1], "x", 1) < 0) {}
        return true;
    }
    std::string out;
    ucred peer = {0, 0, 0};
    socklen_t plen = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &plen) != 0) peer.pid = 0;
    int status = box.command(line, out, peer.pid);
    AdminReply rep = {status};
    send_msg(fd, MSG_ADMIN_REPLY, &rep, sizeof rep, out.data(), out.size());
    return false;
}

void serve(Box& box, int fd) {
    MsgHeader h;
    bool keep = false;
    if (read_header(fd, h, 5000)) {
        switch (h.type) {
        case MSG_OPEN: serve_open(box, fd, h.len); break;
        case MSG_CTRL: {
            CtrlHello hello;
            if (h.len == sizeof hello && read_full(fd, &hello, sizeof hello, 5000)) serve_control(box, fd);
            break;
        }
        case MSG_ADMIN: keep = serve_admin(box, fd, h.len); break;
        default: log_line("vboxd: dropped a connection with message type %s", std::to_string(h.type)); break;
        }
    }
    g_connections.remove(fd);
    if (!keep) close(fd);
}

int listen_on(const std::string& path) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un sa;
    memset(&sa, 0, sizeof sa);
    sa.sun_family = AF_UNIX;
    if (fd < 0 || path.size() >= sizeof sa.sun_path) return -1;
    memcpy(sa.sun_path, path.c_str(), path.size());
    unlink(path.c_str());
    mode_t old = umask(077);
    int r = bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    umask(old);
    if (r != 0 || listen(fd, 64) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void on_signal(int) {
    if (write(g_wake[1], "x", 1) < 0) {}
}

int usage() {
    fprintf(stderr,
            "usage: vboxd --dir DIR --boot SCRIPT [--modules DIR[:DIR...]] [--mac MAC]\n"
            "       vboxd --commands\n");
    return 2;
}

// The box's own network: eth0 with the box's MAC address, joined to the
// head end's namespace. Needs root; without it the box shares the host's.
std::unique_ptr<hostns::NetnsPair> make_network(const std::string& mac) {
    if (geteuid() != 0) {
        fprintf(stderr, "vboxd: the box uses the host's network (a network of its own needs root)\n");
        return nullptr;
    }
    hostns::NetPairOptions o;
    o.prefix = "vbox";
    o.box_mac = mac;
    auto net = std::make_unique<hostns::NetnsPair>(o);
    if (!net->ok()) {
        fprintf(stderr, "vboxd: network: %s\n", net->error().c_str());
        return nullptr;
    }
    fprintf(stderr, "vboxd: eth0 %s (%s) in %s, head end %s in %s\n", mac.c_str(), net->box_ip().c_str(),
            net->box().c_str(), net->headend_ip().c_str(), net->headend().c_str());
    return net;
}

// Powers the box off: ends the programs' connections, unloads the modules,
// runs the kernel's shutdown check. Its findings go to the log; the status
// is 1 when there were any.
int power_off(Box& box, std::string& report) {
    if (!g_connections.end_all(box)) {
        report = "vboxd: shutdown check: a program's call did not end; the modules stay loaded\n";
        return 1;
    }
    for (const auto& line : box.shutdown()) report += "vboxd: shutdown check: " + line + "\n";
    return report.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir, boot, mac = "00:03:6f:00:00:01";
    std::vector<std::string> modules;
    if (argc == 2 && std::string(argv[1]) == "--commands") {
        // The console's list, for `vbox --help`; no box is started.
        console::Console console;
        Box::add_box_commands(console, nullptr);
        console::add_contributed_words(console);
        fputs(console.usage().c_str(), stdout);
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (i + 1 >= argc) return usage();
        if (a == "--dir") {
            dir = argv[++i];
        } else if (a == "--boot") {
            boot = argv[++i];
        } else if (a == "--mac") {
            mac = argv[++i];
        } else if (a == "--modules") {
            std::istringstream in(argv[++i]);
            for (std::string d; std::getline(in, d, ':');)
                if (!d.empty()) modules.push_back(d);
        } else {
            return usage();
        }
    }
    if (dir.empty() || boot.empty()) return usage();
    setvbuf(stderr, nullptr, _IOLBF, 0);
    signal(SIGPIPE, SIG_IGN);
    if (pipe2(g_wake, O_CLOEXEC) != 0) return 1;
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);

    std::string mem = dir + "/mem";
    // Fresh at every boot, as the box's memory after power-up.
    int memfd = open(mem.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (memfd < 0 || ftruncate(memfd, kPhysSize) != 0) {
        fprintf(stderr, "vboxd: %s: %s\n", mem.c_str(), strerror(errno));
        return 1;
    }
    close(memfd);

    // Made while the daemon has no threads yet (ip runs as a child).
    auto net = make_network(mac);
    if (geteuid() == 0 && !net) return 1;
    Box box(modules, dir);
    if (net) box.set_network(net->box(), net->headend(), mac);
    bool booted = box.boot(boot);
    std::string transcript = box.boot_transcript();
    fputs(transcript.c_str(), stderr);
    if (!booted) {
        std::string report;
        power_off(box, report);
        fprintf(stderr, "%svboxd: the boot script failed; box stopped\n", report.c_str());
        return 1;
    }

    // Only now do clients reach the box: `vbox start` waits for this.
    int lfd = listen_on(dir + "/sock");
    if (lfd < 0) {
        fprintf(stderr, "vboxd: %s/sock: %s\n", dir.c_str(), strerror(errno));
        return 1;
    }
    g_listen = lfd;
    fprintf(stderr, "vboxd: serving %s/sock\n", dir.c_str());
    for (;;) {
        pollfd p[2] = {{lfd, POLLIN, 0}, {g_wake[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) break;
        if (p[1].revents) break;
        if (!(p[0].revents & POLLIN)) continue;
        int c = accept4(lfd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0) continue;
        g_connections.add(c);
        std::thread(serve, std::ref(box), c).detach();
    }
    unlink((dir + "/sock").c_str());
    close(lfd);
    std::string report;
    int status = power_off(box, report);
    fputs(report.c_str(), stderr);
    if (status != 0 && report.find("did not end") != std::string::npos) {
        fflush(stderr);
        _exit(1);  // threads are still inside the kernel: no unwinding under them
    }
    net.reset();  // the namespaces go, and with them the veth pair
    fprintf(stderr, "vboxd: stopped\n");
    if (int fd = g_stop_fd.load(); fd >= 0) {
        std::string text = "vbox: box stopped\n" + report;
        AdminReply rep = {status};
        send_msg(fd, MSG_ADMIN_REPLY, &rep, sizeof rep, text.data(), text.size());
        close(fd);
    }
    return status;
}
