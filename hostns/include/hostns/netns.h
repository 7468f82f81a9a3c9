// A pair of private network namespaces joined by a veth pair, for tests of
// the network tools and for the virtual box: the "box" side with its eth0,
// the "head-end" side where a sender runs. Nothing touches the host's own
// interfaces. Needs root (CAP_NET_ADMIN), iproute2's `ip` and `ethtool`.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "hostns/process.h"

namespace hostns {

struct NetPairOptions {
    std::string prefix = "stbt";  // namespace names: PREFIX-PID-N-box, -he
    std::string box_ifname = "eth0";
    std::string headend_ifname = "eth0";
    std::string box_addr = "10.77.0.2/24";  // empty: the interface has no IPv4 address
    std::string headend_addr = "10.77.0.1/24";
    std::string box_mac;          // empty: the kernel's random address
    bool multicast_route = true;  // 224.0.0.0/4 out of the veth on both sides
    bool gro_off = true;          // frames arrive as they were sent
};

// Whether this process may make network namespaces (tests skip otherwise).
bool netns_available();

// Moves the calling (single-threaded) process into the named namespace;
// false with error set.
bool enter_netns(const std::string& ns, std::string& error);

class NetnsPair {
public:
    explicit NetnsPair(const NetPairOptions& options = {});
    ~NetnsPair();  // removes both namespaces, and with them the veth pair
    NetnsPair(const NetnsPair&) = delete;
    NetnsPair& operator=(const NetnsPair&) = delete;

    // Empty when the pair is up; otherwise what failed.
    const std::string& error() const { return error_; }
    bool ok() const { return error_.empty(); }

    // Namespace names, as `ip netns` knows them (/run/netns/NAME).
    const std::string& box() const { return box_; }
    const std::string& headend() const { return headend_; }
    // The addresses without their prefix length ("10.77.0.2").
    std::string box_ip() const;
    std::string headend_ip() const;

    // before_exec hooks that move the child into one side (run before any
    // hook of the caller's, which then sees the namespace).
    std::function<void()> in_box() const { return enter(box_); }
    std::function<void()> in_headend() const { return enter(headend_); }

    // Runs a program on one side. options.before_exec runs after entering.
    RunResult run_box(const std::vector<std::string>& argv, RunOptions options = {}) const;
    RunResult run_headend(const std::vector<std::string>& argv, RunOptions options = {}) const;

    // Runs `ip ARGS` on one side (test set-up such as a dummy interface);
    // returns whether it succeeded, with ip's messages in error() otherwise.
    bool ip_box(const std::vector<std::string>& args);
    bool ip_headend(const std::vector<std::string>& args);

    // A before_exec hook entering the named namespace.
    static std::function<void()> enter(const std::string& ns);

private:
    bool ip(const std::string& ns, const std::vector<std::string>& args);
    std::string box_, headend_;
    NetPairOptions options_;
    std::string error_;
};

}  // namespace hostns
