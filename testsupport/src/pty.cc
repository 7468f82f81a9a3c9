#include "testsupport/pty.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

using hostns::now_ms;

PtySession::~PtySession() {
    if (pid_ > 0) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
}

bool PtySession::start(const std::vector<std::string>& argv_in, const hostns::RunOptions& options) {
    if (argv_in.empty()) return false;
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) || unlockpt(master_)) return false;
    const char* slave_name = ptsname(master_);
    if (!slave_name) return false;
    std::string slave = slave_name;

    hostns::ExecPlan plan = hostns::plan_exec(argv_in, options);

    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        setsid();
        int s = open(slave.c_str(), O_RDWR);
        if (s < 0) _exit(127);
        ioctl(s, TIOCSCTTY, 0);
        winsize ws = {24, 80, 0, 0};
        ioctl(s, TIOCSWINSZ, &ws);
        dup2(s, 0);
        dup2(s, 1);
        dup2(s, 2);
        if (s > 2) close(s);
        if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(127);
        plan.exec();
        dprintf(2, "testsupport: exec %s: %s\n", plan.argv[0].c_str(), strerror(errno));
        _exit(127);
    }
    return true;
}

void PtySession::send(std::string_view text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(master_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += n;
    }
}

void PtySession::send_eof() {
    termios t;
    char eof = 4;
    if (tcgetattr(master_, &t) == 0 && t.c_cc[VEOF]) eof = t.c_cc[VEOF];
    send(std::string_view(&eof, 1));
}

void PtySession::drain(int timeout_ms) {
    pollfd p = {master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return;
    char buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n > 0) out_.append(buf, n);
    else if (n < 0 && errno == EIO) usleep(timeout_ms > 10 ? 10000 : timeout_ms * 1000);  // slave side closed
}

bool PtySession::expect(std::string_view needle, int timeout_ms) {
    long long deadline = now_ms() + timeout_ms;
    while (true) {
        size_t at = out_.find(needle, seen_);
        if (at != std::string::npos) {
            seen_ = at + needle.size();
            return true;
        }
        long long left = deadline - now_ms();
        if (left <= 0) return false;
        drain(static_cast<int>(left < 50 ? left : 50));
    }
}

int PtySession::wait(int timeout_ms) {
    if (pid_ <= 0) return -1;
    long long deadline = now_ms() + timeout_ms;
    int status = 0;
    while (true) {
        drain(5);
        pid_t w = waitpid(pid_, &status, WNOHANG);
        if (w == pid_) break;
        if (now_ms() > deadline) {
            kill(-pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
            return -1;
        }
    }
    pid_ = -1;
    for (int i = 0; i < 5; ++i) drain(1);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace testsupport
