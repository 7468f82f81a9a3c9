#include "hostns/netns.h"

#include <fcntl.h>
#include <sched.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <atomic>

namespace hostns {

namespace {

std::atomic<int> pair_count{0};

std::string without_prefix_length(const std::string& cidr) { return cidr.substr(0, cidr.find('/')); }

}  // namespace

bool netns_available() {
    if (geteuid() != 0) return false;
    return run({"ip", "netns", "list"}).status == 0;
}

bool enter_netns(const std::string& ns, std::string& error) {
    int fd = open(("/run/netns/" + ns).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || setns(fd, CLONE_NEWNET) != 0) {
        error = "enter network namespace " + ns + ": " + strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    close(fd);
    return true;
}

std::function<void()> NetnsPair::enter(const std::string& ns) {
    return [ns]() {
        std::string error;
        if (!enter_netns(ns, error)) {
            dprintf(2, "hostns: %s\n", error.c_str());
            _exit(127);
        }
    };
}

// `ip` runs inside the namespace, joined before exec: `ip -n NS` would
// make its own mount namespace and `mount --make-rslave /`, which a root
// that is no mount point (a chroot, a build container) refuses.
bool NetnsPair::ip(const std::string& ns, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"ip"};
    argv.insert(argv.end(), args.begin(), args.end());
    RunOptions o;
    o.before_exec = enter(ns);
    RunResult r = run(argv, o);
    if (r.status == 0) return true;
    std::string cmd = "ip -n " + ns;
    for (size_t i = 1; i < argv.size(); ++i) cmd += " " + argv[i];
    error_ = cmd + ": " + r.err;
    return false;
}

bool NetnsPair::ip_box(const std::vector<std::string>& args) { return ip(box_, args); }
bool NetnsPair::ip_headend(const std::vector<std::string>& args) { return ip(headend_, args); }

NetnsPair::NetnsPair(const NetPairOptions& options) : options_(options) {
    std::string stem = options.prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(pair_count++);
    box_ = stem + "-box";
    headend_ = stem + "-he";
    for (const auto& ns : {box_, headend_}) {
        RunResult r = run({"ip", "netns", "add", ns});
        if (r.status != 0) {
            error_ = "ip netns add " + ns + ": " + r.err;
            return;
        }
    }
    // Made inside the namespaces directly, so the names never meet the host's.
    RunResult r = run({"ip", "link", "add", options.box_ifname, "netns", box_, "type", "veth", "peer", "name",
                       options.headend_ifname, "netns", headend_});
    if (r.status != 0) {
        error_ = "ip link add veth: " + r.err;
        return;
    }
    struct Side {
        std::string ns, ifname, addr, mac;
    };
    for (const Side& s : {Side{box_, options.box_ifname, options.box_addr, options.box_mac},
                          Side{headend_, options.headend_ifname, options.headend_addr, ""}}) {
        if (!s.mac.empty() && !ip(s.ns, {"link", "set", s.ifname, "address", s.mac})) return;
        if (!s.addr.empty() && !ip(s.ns, {"addr", "add", s.addr, "dev", s.ifname})) return;
        if (!ip(s.ns, {"link", "set", "lo", "up"}) || !ip(s.ns, {"link", "set", s.ifname, "multicast", "on", "up"}))
            return;
        if (options.multicast_route && !ip(s.ns, {"route", "add", "224.0.0.0/4", "dev", s.ifname})) return;
        if (options.gro_off) {
            // ethtool runs natively even when the tests run emulated (the
            // emulator does not pass SIOCETHTOOL on).
            RunOptions o;
            o.before_exec = enter(s.ns);
            RunResult g = run({"ethtool", "-K", s.ifname, "gro", "off"}, o);
            if (g.status != 0) {
                error_ = "gro off on " + s.ns + ": " + g.out + g.err;
                return;
            }
        }
    }
}

NetnsPair::~NetnsPair() {
    // Deleting a namespace takes its end of the veth pair, and with it the other.
    for (const auto& ns : {box_, headend_})
        if (!ns.empty()) run({"ip", "netns", "del", ns});
}

std::string NetnsPair::box_ip() const { return without_prefix_length(options_.box_addr); }
std::string NetnsPair::headend_ip() const { return without_prefix_length(options_.headend_addr); }

namespace {

RunResult run_in(const std::function<void()>& enter_ns, const std::vector<std::string>& argv, RunOptions options) {
    auto after = options.before_exec;
    options.before_exec = [enter_ns, after]() {
        enter_ns();
        if (after) after();
    };
    return run(argv, options);
}

}  // namespace

RunResult NetnsPair::run_box(const std::vector<std::string>& argv, RunOptions options) const {
    return run_in(in_box(), argv, std::move(options));
}

RunResult NetnsPair::run_headend(const std::vector<std::string>& argv, RunOptions options) const {
    return run_in(in_headend(), argv, std::move(options));
}

}  // namespace hostns
