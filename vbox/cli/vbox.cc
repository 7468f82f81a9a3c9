// vbox: the virtual box's front end. Starts and stops the box daemon, runs
// the box's programs inside it (in the box's network namespace, with the
// box's /dev; their device nodes reach the drivers in the box through the
// bridge), runs head-end programs on the other side of the box's network,
// and passes every other word to the daemon's console (dmesg, insmod, the
// board models' commands, ...).
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <sstream>

#include <string>
#include <vector>

#include "../common/admin.h"
#include "hostns/mounts.h"
#include "hostns/netns.h"
#include "vbox_config.h"

namespace {

using vbox::admin;

struct Command {
    const char* name;
    const char* args;
    const char* help;
    int (*run)(const std::string& dir, int argc, char** argv);
};

int usage(FILE* out);

std::string env_or(const char* name, const char* fallback) {
    const char* v = getenv(name);
    return v && *v ? v : fallback;
}

bool running(const std::string& dir) { return admin(dir, "status", 2000).reached; }

int not_running(const std::string& dir) {
    fprintf(stderr, "vbox: no box is running in %s (start one with 'vbox start')\n", dir.c_str());
    return 1;
}

// The box folder holds the box's socket: it must be the caller's own and
// closed to everyone else.
bool prepare_dir(const std::string& dir) {
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        fprintf(stderr, "vbox: %s: %s\n", dir.c_str(), strerror(errno));
        return false;
    }
    struct stat st;
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        fprintf(stderr, "vbox: %s is not a folder of yours\n", dir.c_str());
        return false;
    }
    if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) {
        fprintf(stderr, "vbox: %s: %s\n", dir.c_str(), strerror(errno));
        return false;
    }
    return true;
}

void print_text(const std::string& text) {
    fwrite(text.data(), 1, text.size(), stdout);
    if (!text.empty() && text.back() != '\n') putchar('\n');
}

bool valid_mac(const std::string& mac) {
    unsigned b[6];
    char end;
    return mac.size() == 17 &&
           sscanf(mac.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x%c", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &end) == 6 &&
           (b[0] & 1) == 0;
}

int cmd_start(const std::string& dir, int argc, char** argv) {
    std::string boot = env_or("VBOX_BOOT", VBOX_DEFAULT_BOOT);
    std::string mac = env_or("VBOX_MAC", "00:03:6f:00:00:01");
    for (int i = 0; i < argc; ++i) {
        if (strcmp(argv[i], "--boot") == 0 && i + 1 < argc) {
            boot = argv[++i];
        } else if (strcmp(argv[i], "--mac") == 0 && i + 1 < argc) {
            mac = argv[++i];
        } else {
            fprintf(stderr, "vbox start: unknown argument '%s'\n", argv[i]);
            return 2;
        }
    }
    if (!valid_mac(mac)) {
        fprintf(stderr, "vbox start: '%s' is not a MAC address (XX:XX:XX:XX:XX:XX, unicast)\n", mac.c_str());
        return 2;
    }
    if (access(boot.c_str(), R_OK) != 0) {
        fprintf(stderr, "vbox: boot script %s: %s\n", boot.c_str(), strerror(errno));
        return 1;
    }
    if (!prepare_dir(dir)) return 1;
    if (running(dir)) {
        fprintf(stderr, "vbox: a box is already running in %s\n", dir.c_str());
        return 1;
    }
    std::string log = dir + "/log";
    std::string vboxd = env_or("VBOXD", VBOX_VBOXD);
    pid_t pid = fork();
    if (pid < 0) {
        perror("vbox: fork");
        return 1;
    }
    if (pid == 0) {
        setsid();
        int null = open("/dev/null", O_RDONLY);
        int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (null >= 0) dup2(null, 0);
        if (out >= 0) {
            dup2(out, 1);
            dup2(out, 2);
        }
        std::string modules = env_or("VBOX_MODULES", VBOX_MODULE_DIRS);
        execl(vboxd.c_str(), "vboxd", "--dir", dir.c_str(), "--boot", boot.c_str(), "--modules", modules.c_str(),
              "--mac", mac.c_str(), static_cast<char*>(nullptr));
        fprintf(stderr, "vbox: %s: %s\n", vboxd.c_str(), strerror(errno));
        _exit(127);
    }
    // The daemon answers once it has booted; it stays in the background.
    for (int waited = 0; waited < 30000; waited += 20) {
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            fprintf(stderr, "vbox: the box did not start:\n");
            FILE* f = fopen(log.c_str(), "r");
            for (int c; f && (c = fgetc(f)) != EOF;) fputc(c, stderr);
            if (f) fclose(f);
            return 1;
        }
        auto r = admin(dir, "boot", 2000);
        if (r.reached) {
            print_text(r.text);
            printf("vbox: box started in %s (vboxd pid %d)\n", dir.c_str(), static_cast<int>(pid));
            return 0;
        }
        usleep(20000);
    }
    kill(pid, SIGTERM);
    fprintf(stderr, "vbox: the box did not answer within 30 s; see %s\n", log.c_str());
    return 1;
}

// The daemon answers once the box is down: the modules unloaded and the
// kernel's shutdown check run (what it found makes the status 1).
int cmd_stop(const std::string& dir, int, char**) {
    auto r = admin(dir, "stop", 60000);
    if (!r.reached) {
        if (!running(dir)) {
            printf("vbox: no box is running in %s\n", dir.c_str());
            return 0;
        }
        fprintf(stderr, "vbox: the box in %s did not stop; see %s/log\n", dir.c_str(), dir.c_str());
        return 1;
    }
    fwrite(r.text.data(), 1, r.text.size(), r.status == 0 ? stdout : stderr);
    return r.status;
}

int cmd_status(const std::string& dir, int, char**) {
    auto r = admin(dir, "status");
    if (!r.reached) {
        printf("vbox: not running (%s)\n", dir.c_str());
        return 3;
    }
    print_text(r.text);
    return r.status;
}

// The bridge for programs built for the box's processor, when the box
// runs them under an emulator (VBOX_EMULATOR): not for the host's own.
std::string g_emulated_preload;
// The caller's LD_PRELOAD, for the emulator itself (the host's bridge is
// for host programs, never for the emulator that runs a box program).
std::string g_caller_preload;
bool g_caller_has_preload;

bool is_mips_elf(const std::string& path);

// What the daemon tells of the box: its network namespaces (none when it
// runs without root) and its device nodes.
struct BoxInfo {
    std::string box_ns, headend_ns;
    std::vector<hostns::DevNode> nodes;
};

bool box_info(const std::string& dir, BoxInfo& info) {
    auto r = admin(dir, "enter", 5000);
    if (!r.reached || r.status != 0) return false;
    std::istringstream in(r.text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string kind, path;
        hostns::DevNode n;
        f >> kind;
        if (kind == "net") f >> info.box_ns >> info.headend_ns;
        if (kind == "node" && f >> path >> n.major >> n.minor && path.compare(0, 5, "/dev/") == 0) {
            n.name = path.substr(5);
            info.nodes.push_back(n);
        }
    }
    return true;
}

bool enter_netns(const std::string& ns) {
    std::string error;
    if (ns.empty() || hostns::enter_netns(ns, error)) return true;
    fprintf(stderr, "vbox: %s\n", error.c_str());
    return false;
}

// Puts this process into the box: the box's network namespace, a mount
// namespace whose /dev holds the box's nodes and its memory on "mem", the
// bridge preloaded. VBOX_TOOLS (a PATH list) replaces the built tools,
// e.g. with the box processor's builds. Returns an exit status, or -1 when
// in.
int enter_box(const std::string& dir) {
    BoxInfo info;
    if (!box_info(dir, info)) return not_running(dir);
    // The front end's own folder, read while this process still sees the
    // files as its caller does: in the private mount namespace (a copy of
    // the root, where "/" is no mount point) /proc/self/exe may name a path
    // outside the caller's root.
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string own = n > 0 ? std::string(self, n) : "";
    own = own.substr(0, own.rfind('/'));
    if (!enter_netns(info.box_ns)) return 1;
    std::string error;
    if (!hostns::private_dev(info.nodes, {{"mem", dir + "/mem"}}, error)) {
        fprintf(stderr, "vbox: the box's /dev: %s\n", error.c_str());
        return 1;
    }
    // /proc/bus as the box's kernel has it (i2cdetect -l reads /proc/bus/i2c).
    std::string proc_bus = dir + "/proc-bus";
    if (access(proc_bus.c_str(), F_OK) == 0 && mount(proc_bus.c_str(), "/proc/bus", nullptr, MS_BIND, nullptr) != 0)
        fprintf(stderr, "vbox: warning: the box's /proc/bus: %s\n", strerror(errno));
    // /sys/class/net as the box sees it: its own interfaces.
    if (!info.box_ns.empty() && mount("sysfs", "/sys", "sysfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0)
        fprintf(stderr, "vbox: warning: the box's /sys: %s\n", strerror(errno));
    // A bridge built for the box's processor serves the emulated programs
    // only (exec_program); the host's own programs in the box (evtest,
    // i2c-tools) keep this front end's bridge, built with it.
    std::string bridge = env_or("VBOX_BRIDGE", VBOX_BRIDGE);
    if (is_mips_elf(bridge)) {
        g_emulated_preload = bridge;
        bridge = VBOX_BRIDGE;
    }
    if (!is_mips_elf(bridge)) {
        const char* pre = getenv("LD_PRELOAD");
        g_caller_has_preload = pre != nullptr;
        g_caller_preload = pre ? pre : "";
        std::string preload = pre && *pre ? bridge + ":" + pre : bridge;
        setenv("LD_PRELOAD", preload.c_str(), 1);
    }
    setenv("VBOX_DIR", dir.c_str(), 1);
    // The front end itself is on the box's PATH too (`vbox scart` from the shell).
    const char* path = getenv("PATH");
    std::string p = env_or("VBOX_TOOLS", VBOX_TOOL_DIRS) + ":" + (own.empty() ? "" : own + ":") +
                    (path && *path ? path : "/usr/bin:/bin");
    setenv("PATH", p.c_str(), 1);
    return -1;
}

// The program as execvp would find it.
std::string resolve(const char* name) {
    if (strchr(name, '/')) return name;
    const char* path = getenv("PATH");
    std::string rest = path ? path : "";
    for (size_t at = 0; at <= rest.size();) {
        size_t colon = rest.find(':', at);
        if (colon == std::string::npos) colon = rest.size();
        std::string cand = rest.substr(at, colon - at) + "/" + name;
        if (access(cand.c_str(), X_OK) == 0) return cand;
        at = colon + 1;
    }
    return name;
}

bool is_mips_elf(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    unsigned char h[20] = {};
    bool mips = fd >= 0 && read(fd, h, sizeof h) == sizeof h && memcmp(h, ELFMAG, SELFMAG) == 0 &&
                (h[18] | (h[19] << 8)) == EM_MIPS;
    if (fd >= 0) close(fd);
    return mips;
}

// A program built for the box's processor, on a host without binfmt
// support: it runs under the emulator named by VBOX_EMULATOR, which gets the
// bridge for the emulated program (not for itself).
void exec_program(char** argv) {
    const char* emu = getenv("VBOX_EMULATOR");
    std::string prog = resolve(argv[0]);
    if (emu && *emu && is_mips_elf(prog)) {
        std::vector<std::string> words;
        std::string e = emu;
        for (size_t at = 0; at < e.size();) {
            size_t sp = e.find(' ', at);
            if (sp == std::string::npos) sp = e.size();
            if (sp > at) words.push_back(e.substr(at, sp - at));
            at = sp + 1;
        }
        if (!g_emulated_preload.empty()) {
            words.push_back("-E");
            words.push_back("LD_PRELOAD=" + g_emulated_preload);
        }
        words.push_back(prog);
        std::vector<char*> args;
        for (auto& w : words) args.push_back(w.data());
        for (char** a = argv + 1; *a; ++a) args.push_back(*a);
        args.push_back(nullptr);
        if (g_caller_has_preload) setenv("LD_PRELOAD", g_caller_preload.c_str(), 1);
        else unsetenv("LD_PRELOAD");
        execvp(args[0], args.data());
        return;
    }
    execvp(argv[0], argv);
}

// argv after an optional "--"; empty with a usage message when none is left.
bool program_args(const char* usage_line, int& argc, char**& argv) {
    if (argc > 0 && strcmp(argv[0], "--") == 0) {
        ++argv;
        --argc;
    }
    if (argc == 0) fprintf(stderr, "usage: %s\n", usage_line);
    return argc > 0;
}

int exec_failed(const char* name) {
    fprintf(stderr, "vbox: %s: %s\n", name, strerror(errno));
    return errno == ENOENT ? 127 : 126;
}

int cmd_run(const std::string& dir, int argc, char** argv) {
    if (!program_args("vbox run -- PROGRAM [ARGS...]", argc, argv)) return 2;
    if (int status = enter_box(dir); status >= 0) return status;
    exec_program(argv);
    return exec_failed(argv[0]);
}

// On a terminal an interactive shell; otherwise the shell reads its
// commands from standard input as a script (no prompt, no job control).
int cmd_shell(const std::string& dir, int argc, char**) {
    if (argc != 0) return usage(stderr);
    if (int status = enter_box(dir); status >= 0) return status;
    if (!isatty(0)) {
        execl("/bin/sh", "sh", "-s", static_cast<char*>(nullptr));
        return exec_failed("/bin/sh");
    }
    setenv("PS1", "vbox# ", 1);
    if (access("/bin/bash", X_OK) == 0)
        execl("/bin/bash", "bash", "--norc", "--noprofile", "-i", static_cast<char*>(nullptr));
    execl("/bin/sh", "sh", "-i", static_cast<char*>(nullptr));
    return exec_failed("/bin/sh");
}

// A host program on the head end's side of the box's network (where the
// multicast sender runs); its exit status is vbox's.
int cmd_headend(const std::string& dir, int argc, char** argv) {
    if (!program_args("vbox headend -- PROGRAM [ARGS...]", argc, argv)) return 2;
    BoxInfo info;
    if (!box_info(dir, info)) return not_running(dir);
    if (info.headend_ns.empty()) {
        fprintf(stderr, "vbox: the box in %s has no network of its own (it needs root)\n", dir.c_str());
        return 1;
    }
    if (!enter_netns(info.headend_ns)) return 1;
    const char* path = getenv("PATH");
    std::string p = std::string(VBOX_HEADEND_DIRS) + ":" + (path && *path ? path : "/usr/bin:/bin");
    setenv("PATH", p.c_str(), 1);
    exec_program(argv);
    return exec_failed(argv[0]);
}

// The daemon's console list, from the daemon program itself (so that it
// is there without a running box).
std::string console_usage() {
    std::string vboxd = env_or("VBOXD", VBOX_VBOXD) + " --commands";
    std::string text;
    if (FILE* p = popen(vboxd.c_str(), "r")) {
        char buf[512];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
        pclose(p);
    }
    return text;
}

bool console_knows(const std::string& word) {
    std::istringstream in(console_usage());
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        std::string name;
        if (f >> name && name == word) return true;
    }
    return false;
}

// A word of the box's console: the words go over as typed.
int pass_through(const std::string& dir, int argc, char** argv) {
    std::string line;
    for (int i = 0; i < argc; ++i) line += (i ? " " : "") + std::string(argv[i]);
    auto r = admin(dir, line);
    if (!r.reached) {
        if (console_knows(argv[0])) return not_running(dir);
        r.status = 127;
    }
    if (r.status == 127) {
        fprintf(stderr, "vbox: unknown command '%s'\n", argv[0]);
        return usage(stderr);
    }
    fwrite(r.text.data(), 1, r.text.size(), r.status == 0 ? stdout : stderr);
    return r.status;
}

const Command commands[] = {
    {"start", "[--boot FILE] [--mac MAC]", "boot a box in the background (default: the box's own boot script)",
     cmd_start},
    {"stop", "", "unload the modules, run the kernel's shutdown check, stop the box", cmd_stop},
    {"status", "", "tell whether the box runs; its uptime, modules, nodes and network", cmd_status},
    {"run", "-- PROGRAM [ARGS...]", "run a program inside the box; its exit status is vbox's", cmd_run},
    {"shell", "", "a shell inside the box, the built tools on PATH", cmd_shell},
    {"headend", "-- PROGRAM [ARGS...]", "run a program on the head end's side of the box's network", cmd_headend},
};

int usage(FILE* out) {
    fprintf(out,
            "usage: vbox COMMAND [ARGS...]\n"
            "The virtual set-top box: the box's kernel modules on the virtual board,\n"
            "and its programs run against them through their device nodes.\n\n"
            "Commands:\n");
    for (const auto& c : commands) {
        std::string head = std::string(c.name) + (*c.args ? " " : "") + c.args;
        if (head.size() > 28) fprintf(out, "  %s\n  %-28s %s\n", head.c_str(), "", c.help);
        else fprintf(out, "  %-28s %s\n", head.c_str(), c.help);
    }
    fprintf(out, "\nThe box's console (answered by the running box):\n%s", console_usage().c_str());
    fprintf(out,
            "\nThe box lives in $VBOX_DIR (default $XDG_RUNTIME_DIR/vbox or /tmp/vbox-UID):\n"
            "its socket, its log (daemon and kernel) and the file that stands for physical memory.\n"
            "Its eth0 has the MAC address of --mac or $VBOX_MAC (default 00:03:6f:00:00:01).\n");
    return out == stdout ? 0 : 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr);
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") return usage(stdout);
    for (const auto& c : commands)
        if (name == c.name) return c.run(vbox::box_dir(), argc - 2, argv + 2);
    if (name[0] == '-') {
        fprintf(stderr, "vbox: unknown option '%s'\n", argv[1]);
        return usage(stderr);
    }
    return pass_through(vbox::box_dir(), argc - 1, argv + 1);
}
