#include "box_session.h"

#include <gtest/gtest.h>

namespace vboxtest {

BoxSession::~BoxSession() { stop(); }

void BoxSession::expect_unclean_shutdown() { check_shutdown_ = false; }

hostns::RunOptions BoxSession::options() const {
    hostns::RunOptions o;
    o.env = {"VBOX_DIR=" + dir_};
    // A cross build's tests: the host's box runs this build's programs.
    std::string extra = VBOX_TEST_ENV;
    for (size_t at = 0; at < extra.size();) {
        size_t nl = extra.find('\n', at);
        if (nl == std::string::npos) nl = extra.size();
        if (nl > at) o.env.push_back(extra.substr(at, nl - at));
        at = nl + 1;
    }
    return o;
}

hostns::RunResult BoxSession::start(const std::string& boot_script, std::vector<std::string> start_args) {
    dir_ = tmp_.file("box");
    std::string boot = tmp_.write("boot.rc", boot_script);
    start_args.insert(start_args.begin(), {"start", "--boot", boot});
    auto r = vbox(start_args);
    started_ = r.status == 0;
    return r;
}

hostns::RunResult BoxSession::vbox(std::vector<std::string> args, hostns::RunOptions o) const {
    auto base = options();
    o.env.insert(o.env.end(), base.env.begin(), base.env.end());
    args.insert(args.begin(), VBOX_BIN);
    return hostns::run(args, o);
}

hostns::RunResult BoxSession::run(std::vector<std::string> argv, hostns::RunOptions o) const {
    argv.insert(argv.begin(), {"run", "--"});
    return vbox(argv, o);
}

hostns::RunResult BoxSession::stop() {
    hostns::RunResult r;
    if (!started_) return r;
    started_ = false;
    r = vbox({"stop"});
    // What the kernel's shutdown check found (a module that leaves memory,
    // a timer or a thread behind) fails the test that ran the box.
    if (r.status != 0 && check_shutdown_) ADD_FAILURE() << "vbox stop: " << r.out << r.err;
    return r;
}

std::string default_boot() { return hostns::read_file(VBOX_DEFAULT_BOOT_SCRIPT); }

}  // namespace vboxtest
