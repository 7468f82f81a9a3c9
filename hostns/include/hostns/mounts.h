// Private mount namespaces for a child about to exec: files and folders
// that only it sees, and a /dev of its own, without ever reaching the
// host's mounts, files or device nodes. Used by the tests and by the
// virtual box (whose programs see the box's /dev).
#pragma once

#include <map>
#include <string>
#include <vector>

namespace hostns {

// Moves the calling process into a mount namespace of its own whose mounts
// never propagate back. Where "/" is no mount point (a chroot, a build
// container) its propagation cannot be changed; the process then gets a
// private copy of its root, built on a mount it can reach, with the same
// working directory. An ordinary user gets a user namespace mapping only
// their own ids. Once per process (a child forked later makes its own);
// false with error set.
bool private_mount_namespace(std::string& error);

// A character device node of a private /dev.
struct DevNode {
    std::string name;  // inside /dev ("scart-0")
    unsigned major, minor;
};

// In a private mount namespace: a fresh /dev holding the host's harmless
// nodes (null, zero, full, random, urandom, tty, the pty folder and
// ptmx), nodes: character devices on a nodev file system (so they can
// never reach the host's driver; a plain file where device nodes cannot be
// made), and binds: files bound over names inside it ("mem" -> a file
// standing for physical memory). false with error set.
bool private_dev(const std::vector<DevNode>& nodes, const std::map<std::string, std::string>& binds,
                 std::string& error);

}  // namespace hostns
