#include "hostns/mounts.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "hostns/tempdir.h"

namespace hostns {

namespace {

// The process whose mount namespace is private already: a child forked
// after it gets one of its own, so its mounts never reach its parent.
pid_t g_private = 0;

bool fail(std::string& error, const std::string& what) {
    error = what + ": " + strerror(errno);
    return false;
}

// Mount points this process can see, in mount order, with their ids.
struct MountPoint {
    int id, parent;
    std::string path;
};

std::vector<MountPoint> visible_mounts() {
    std::vector<MountPoint> v;
    std::ifstream in("/proc/self/mountinfo");
    for (std::string line; std::getline(in, line);) {
        std::istringstream f(line);
        MountPoint m;
        std::string devno, root;
        if (f >> m.id >> m.parent >> devno >> root >> m.path) v.push_back(m);
    }
    return v;
}

// An ordinary user: a user namespace mapping only their own ids, in which
// they may mount.
bool own_user_namespace(std::string& error) {
    uid_t uid = geteuid();
    gid_t gid = getegid();
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return fail(error, "unshare(CLONE_NEWUSER)");
    if (!write_file("/proc/self/setgroups", "deny") ||
        !write_file("/proc/self/uid_map", std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !write_file("/proc/self/gid_map", std::to_string(gid) + " " + std::to_string(gid) + " 1"))
        return fail(error, "user namespace id maps");
    return true;
}

#if defined(SYS_open_tree) && defined(SYS_move_mount) && defined(SYS_mount_setattr)
int clone_private(const char* path, bool recursive) {
    int fd = static_cast<int>(
        syscall(SYS_open_tree, AT_FDCWD, path, OPEN_TREE_CLONE | OPEN_TREE_CLOEXEC | (recursive ? AT_RECURSIVE : 0)));
    if (fd < 0) return -1;
    mount_attr attr{};
    attr.propagation = MS_PRIVATE;
    if (syscall(SYS_mount_setattr, fd, "", AT_EMPTY_PATH | (recursive ? AT_RECURSIVE : 0), &attr, sizeof attr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool attach(int fd, const std::string& at) {
    return syscall(SYS_move_mount, fd, "", AT_FDCWD, at.c_str(), MOVE_MOUNT_F_EMPTY_PATH) == 0;
}

// "/" is no mount point: the mount it lies in is out of reach, and may
// share its mounts with the host's. Everything that can be reached is made
// private; then a private copy of "/" with private copies of the mounts
// under it is built on top of one of those (its parent is private, so
// nothing propagates), and becomes the root.
bool private_root(std::string& error) {
    auto mounts = visible_mounts();
    std::set<int> ids;
    for (const auto& m : mounts) ids.insert(m.id);
    std::vector<std::pair<std::string, int>> tops;  // mounts straight on the root's file system
    for (const auto& m : mounts) {
        mount(nullptr, m.path.c_str(), nullptr, MS_PRIVATE, nullptr);
        if (ids.count(m.parent) || m.path == "/") continue;
        int fd = clone_private(m.path.c_str(), true);
        if (fd < 0) return fail(error, "clone " + m.path);
        tops.emplace_back(m.path, fd);
    }
    if (tops.empty()) {
        errno = ENOENT;
        return fail(error, "no mount point to build a private root on");
    }
    int root = clone_private("/", false);
    std::string anchor = tops.front().first;
    if (root < 0 || !attach(root, anchor)) return fail(error, "private copy of /");
    for (const auto& [path, fd] : tops) {
        if (!attach(fd, anchor + path)) return fail(error, "private copy of " + path);
        close(fd);
    }
    close(root);
    // The working directory is kept by its path (the copy holds the same
    // folders): the runner may have set it already.
    char cwd[4096];
    bool have_cwd = getcwd(cwd, sizeof cwd) != nullptr;
    if (chdir(anchor.c_str()) != 0 || chroot(".") != 0) return fail(error, "chroot");
    if ((!have_cwd || chdir(cwd) != 0) && chdir("/") != 0) return fail(error, "chdir /");
    return true;
}
#else
bool private_root(std::string& error) {
    errno = ENOSYS;
    return fail(error, "private copy of /");
}
#endif

}  // namespace

bool private_mount_namespace(std::string& error) {
    if (g_private == getpid()) return true;
    if (geteuid() != 0) {
        if (!own_user_namespace(error)) return false;
        // The copied mounts are slaves of ours already: nothing propagates back.
        mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
        g_private = getpid();
        return true;
    }
    if (unshare(CLONE_NEWNS) != 0) return fail(error, "unshare(CLONE_NEWNS)");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        if (errno != EINVAL) return fail(error, "mount private /");
        if (!private_root(error) || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return error.empty() ? fail(error, "mount private /") : false;
    }
    g_private = getpid();
    return true;
}

bool private_dev(const std::vector<DevNode>& nodes, const std::map<std::string, std::string>& binds,
                 std::string& error) {
    if (!private_mount_namespace(error)) return false;
    // What stays reachable of the host's: nodes that reach no hardware,
    // and the terminals the program may be running on.
    static const char* const kHost[] = {"null", "zero", "full", "random", "urandom", "tty"};
    struct stat pts;
    bool have_pts = stat("/dev/pts/ptmx", &pts) == 0;
    // The host's nodes are bound from a handle opened before /dev is covered.
    int old = open("/dev", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (old < 0) return fail(error, "/dev");
    bool ok = mount("tmpfs", "/dev", "tmpfs", MS_NOSUID | MS_NODEV, "mode=0755") == 0;
    if (!ok) fail(error, "tmpfs /dev");
    auto bind = [&](const std::string& from, const std::string& name, bool dir) {
        std::string to = "/dev/" + name;
        bool made = dir ? mkdir(to.c_str(), 0755) == 0 : write_file(to, "");
        if (!made || mount(from.c_str(), to.c_str(), nullptr, MS_BIND | (dir ? MS_REC : 0), nullptr) != 0) {
            fail(error, "bind " + to);
            return false;
        }
        return true;
    };
    std::string host = "/proc/self/fd/" + std::to_string(old) + "/";
    for (const char* n : kHost)
        if (ok && access((host + n).c_str(), F_OK) == 0) ok = bind(host + n, n, false);
    if (ok && have_pts) ok = bind(host + "pts", "pts", true) && symlink("pts/ptmx", "/dev/ptmx") == 0;
    if (ok) {
        ok = symlink("/proc/self/fd", "/dev/fd") == 0 && symlink("/proc/self/fd/0", "/dev/stdin") == 0 &&
             symlink("/proc/self/fd/1", "/dev/stdout") == 0 && symlink("/proc/self/fd/2", "/dev/stderr") == 0 &&
             mkdir("/dev/shm", 01777) == 0 && mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, nullptr) == 0;
        if (!ok) fail(error, "/dev links");
    }
    close(old);
    for (const auto& n : nodes) {
        if (!ok) break;
        std::string path = "/dev/" + n.name;
        for (size_t slash = path.find('/', 5); slash != std::string::npos; slash = path.find('/', slash + 1))
            mkdir(path.substr(0, slash).c_str(), 0755);  // "input/event0"
        if (mknod(path.c_str(), S_IFCHR | 0666, makedev(n.major, n.minor)) != 0 && !write_file(path, ""))
            ok = fail(error, path);
    }
    for (const auto& [name, file] : binds)
        if (ok) ok = bind(file, name, false);
    return ok;
}

}  // namespace hostns
