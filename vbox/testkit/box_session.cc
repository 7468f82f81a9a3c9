#include "box_session.h"

namespace vboxtest {

BoxSession::~BoxSession() { stop(); }

testsupport::RunOptions BoxSession::options() const {
    testsupport::RunOptions o;
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

testsupport::RunResult BoxSession::start(const std::string& boot_script) {
    dir_ = tmp_.file("box");
    std::string boot = tmp_.write("boot.rc", boot_script);
    auto r = vbox({"start", "--boot", boot});
    started_ = r.status == 0;
    return r;
}

testsupport::RunResult BoxSession::vbox(std::vector<std::string> args, testsupport::RunOptions o) const {
    auto base = options();
    o.env.insert(o.env.end(), base.env.begin(), base.env.end());
    args.insert(args.begin(), VBOX_BIN);
    return testsupport::run(args, o);
}

testsupport::RunResult BoxSession::run(std::vector<std::string> argv, testsupport::RunOptions o) const {
    argv.insert(argv.begin(), {"run", "--"});
    return vbox(argv, o);
}

void BoxSession::stop() {
    if (started_) vbox({"stop"});
    started_ = false;
}

std::string default_boot() { return testsupport::read_file(VBOX_DEFAULT_BOOT_SCRIPT); }

}  // namespace vboxtest
