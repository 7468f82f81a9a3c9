#include "hostns/process.h"

#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <mutex>
#include <set>
#include <sstream>

#include "hostns/mounts.h"
#include "hostns/tempdir.h"

extern char** environ;

namespace hostns {

long long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

namespace {

[[noreturn]] void child_fail(const char* what) {
    dprintf(2, "hostns: %s: %s\n", what, strerror(errno));
    _exit(127);
}

void enter_private_mounts() {
    std::string error;
    if (!private_mount_namespace(error)) {
        dprintf(2, "hostns: %s\n", error.c_str());
        _exit(127);
    }
}

// Overlays each folder that holds a private file with a writable layer kept
// on a tmpfs, then writes the files. Runs in the child only.
void install_private_files(const std::map<std::string, std::string>& files, const std::string& scratch) {
    enter_private_mounts();
    if (mount("tmpfs", scratch.c_str(), "tmpfs", 0, "mode=0700") != 0) child_fail("mount tmpfs");
    std::set<std::string> dirs;
    for (const auto& f : files) {
        auto slash = f.first.rfind('/');
        dirs.insert(slash == 0 ? "/" : f.first.substr(0, slash));
    }
    int n = 0;
    for (const auto& d : dirs) {
        std::string upper = scratch + "/u" + std::to_string(n), work = scratch + "/w" + std::to_string(n);
        ++n;
        mkdir(upper.c_str(), 0755);
        mkdir(work.c_str(), 0755);
        std::string opts = "lowerdir=" + d + ",upperdir=" + upper + ",workdir=" + work;
        if (mount("overlay", d.c_str(), "overlay", 0, opts.c_str()) != 0) child_fail(("overlay " + d).c_str());
    }
    for (const auto& f : files)
        if (!write_file(f.first, f.second, 0644)) child_fail(("write " + f.first).c_str());
}

}  // namespace

std::function<void()> private_folder(const std::string& folder, const std::map<std::string, std::string>& files) {
    return [folder, files]() {
        enter_private_mounts();
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "mode=0755") != 0) child_fail(("tmpfs " + folder).c_str());
        for (const auto& f : files)
            if (!write_file(folder + "/" + f.first, f.second, 0644)) child_fail(("write " + f.first).c_str());
    };
}

namespace {

bool is_foreign_elf(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    unsigned char h[20] = {};
    ssize_t n = read(fd, h, sizeof h);
    close(fd);
    if (n < 20 || memcmp(h, ELFMAG, SELFMAG) != 0) return false;
    unsigned machine = h[18] | (h[19] << 8);
    return machine == EM_MIPS;
}

}  // namespace

namespace {

std::vector<std::string> child_environment(const RunOptions& options) {
    std::vector<std::string> env;
    if (!options.clear_env)
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
    auto drop = [&env](const std::string& name) {
        for (auto it = env.begin(); it != env.end();)
            if (it->compare(0, name.size() + 1, name + "=") == 0) it = env.erase(it);
            else ++it;
    };
    for (const auto& name : options.unset_env) drop(name);
    for (const auto& entry : options.env) {
        auto eq = entry.find('=');
        drop(eq == std::string::npos ? entry : entry.substr(0, eq));
        env.push_back(entry);
    }
    return env;
}

}  // namespace

void ExecPlan::exec() const {
    std::vector<char*> cargv, cenv;
    for (auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    for (auto& e : env) cenv.push_back(const_cast<char*>(e.c_str()));
    cenv.push_back(nullptr);
    execvpe(cargv[0], cargv.data(), cenv.data());
}

ExecPlan plan_exec(const std::vector<std::string>& argv, const RunOptions& options) {
    ExecPlan plan;
    plan.env = child_environment(options);
    const char* emu = getenv("TESTSUPPORT_EMULATOR");
    if (!argv.empty() && emu && *emu && is_foreign_elf(argv[0])) {
        std::istringstream in(emu);
        for (std::string w; in >> w;) plan.argv.push_back(w);
        for (auto it = plan.env.begin(); it != plan.env.end();) {
            if (it->compare(0, 11, "LD_PRELOAD=") == 0) {
                plan.argv.push_back("-E");
                plan.argv.push_back(*it);
                it = plan.env.erase(it);
            } else {
                ++it;
            }
        }
    }
    plan.argv.insert(plan.argv.end(), argv.begin(), argv.end());
    return plan;
}

// A test that runs programs from two threads forks while the other thread
// may be inside the allocator, and the child allocates before its exec
// (the private files, the namespaces it enters). glibc's allocator is made
// ready for that at fork; the sanitizers' allocator of clang 14 is not, and
// the child then waits for its lock for good. So every run allocates under
// this lock and forks under it, and lets go only while it waits.
std::mutex& fork_lock() {
    static std::mutex m;
    return m;
}

RunResult run(const std::vector<std::string>& argv_in, const RunOptions& options) {
    std::unique_lock<std::mutex> lock(fork_lock());
    RunResult result;
    if (argv_in.empty()) return result;
    ExecPlan plan = plan_exec(argv_in, options);

    TempDir scratch;  // mount point for the private files' layers
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return result;

    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        setpgid(0, 0);
        dup2(in[0], 0);
        dup2(out[1], 1);
        dup2(err[1], 2);
        signal(SIGPIPE, SIG_DFL);
        if (!options.private_files.empty()) install_private_files(options.private_files, scratch.path());
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) child_fail(("chdir " + options.cwd).c_str());
        if (options.before_exec) options.before_exec();
        plan.exec();
        child_fail(("exec " + plan.argv[0]).c_str());
    }
    setpgid(pid, pid);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    int infd = in[1];
    fcntl(infd, F_SETFL, O_NONBLOCK);
    size_t written = 0;
    if (options.input.empty()) {
        close(infd);
        infd = -1;
    }
    int outfd = out[0], errfd = err[0];
    long long deadline = now_ms() + options.timeout_ms;
    auto old_pipe = signal(SIGPIPE, SIG_IGN);
    while (outfd >= 0 || errfd >= 0) {
        pollfd fds[3];
        int n = 0;
        if (outfd >= 0) fds[n++] = {outfd, POLLIN, 0};
        if (errfd >= 0) fds[n++] = {errfd, POLLIN, 0};
        if (infd >= 0) fds[n++] = {infd, POLLOUT, 0};
        long long left = deadline - now_ms();
        if (left <= 0) {
            result.timed_out = true;
            kill(-pid, SIGKILL);
            break;
        }
        lock.unlock();
        int r = poll(fds, n, static_cast<int>(left));
        lock.lock();
        if (r < 0 && errno != EINTR) break;
        for (int i = 0; i < n; ++i) {
            if (!fds[i].revents) continue;
            int fd = fds[i].fd;
            if (fd == infd) {
                ssize_t w = write(infd, options.input.data() + written, options.input.size() - written);
                if (w > 0) written += w;
                if (w < 0 && errno != EAGAIN) written = options.input.size();
                if (written >= options.input.size()) {
                    close(infd);
                    infd = -1;
                }
                continue;
            }
            char buf[65536];
            ssize_t got = read(fd, buf, sizeof buf);
            if (got > 0) {
                (fd == outfd ? result.out : result.err).append(buf, got);
            } else if (got == 0 || errno != EINTR) {
                close(fd);
                (fd == outfd ? outfd : errfd) = -1;
            }
        }
    }
    signal(SIGPIPE, old_pipe);
    if (infd >= 0) close(infd);
    if (outfd >= 0) close(outfd);
    if (errfd >= 0) close(errfd);
    int status = 0;
    while (true) {
        pid_t w = waitpid(pid, &status, result.timed_out ? 0 : WNOHANG);
        if (w == pid) break;
        if (w < 0 && errno != EINTR) return result;
        if (w == 0) {
            if (now_ms() > deadline) {
                result.timed_out = true;
                kill(-pid, SIGKILL);
            } else {
                lock.unlock();
                usleep(1000);
                lock.lock();
            }
        }
    }
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
        result.status = 128 + result.signal;
    }
    return result;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> v;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) {
            v.push_back(text.substr(start));
            break;
        }
        v.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return v;
}

}  // namespace hostns
