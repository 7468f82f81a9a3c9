#include "stream_session.h"

#include <arpa/inet.h>
#include <linux/capability.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using hostns::RunOptions;
using hostns::RunResult;

namespace mctest {

StreamSession::StreamSession(const hostns::NetPairOptions& options) : pair_(options) {}

StreamSession::~StreamSession() {
    if (thread_.joinable()) thread_.join();
}

bool joined(const hostns::NetnsPair& pair, const std::string& group) {
    in_addr a{};
    inet_aton(group.c_str(), &a);
    char hex[16];
    snprintf(hex, sizeof hex, "%08X", a.s_addr);  // as the kernel prints it
    return pair.run_box({"cat", "/proc/net/igmp"}).out.find(hex) != std::string::npos;
}

bool StreamSession::start(const std::vector<std::string>& args, RunOptions options, const std::string& group) {
    std::vector<std::string> argv{MCFETCH_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    return start_program(argv, std::move(options), group);
}

bool StreamSession::start_program(const std::vector<std::string>& argv, RunOptions options, const std::string& group) {
    std::string record = tmp_.file("courtesy");
    unlink(record.c_str());
    options.private_files["/sbin/mcfetch_courtesy.sh"] = "#!/bin/sh\necho \"$*\" >>" + record + "\n";
    auto after = options.before_exec;
    options.before_exec = [after, raise = raise_priority]() {
        chmod("/sbin/mcfetch_courtesy.sh", 0755);
        // Without the right to raise its priority mcfetch polls at a low
        // one: on a shared test machine its busy loop at nice -20 would
        // starve the sender feeding it and the tests running beside it.
        if (!raise) {
            prctl(PR_CAPBSET_DROP, CAP_SYS_NICE, 0, 0, 0);
            setpriority(PRIO_PROCESS, 0, 10);
        }
        if (after) after();
    };
    if (options.timeout_ms == RunOptions{}.timeout_ms) options.timeout_ms = 60000;
    if (thread_.joinable()) thread_.join();  // a run not finished yet
    done_ = false;
    result_ = Fetch{};
    thread_ = std::thread([this, argv, options]() {
        result_.mcfetch = pair_.run_box(argv, options);
        done_ = true;
    });
    if (group.empty()) return true;
    // Emulated, mcfetch takes a while to get there.
    for (int i = 0; i < 1000 && !done_; ++i) {
        if (joined(pair_, group)) return true;
        usleep(20000);
    }
    return false;
}

RunResult StreamSession::send(const std::vector<std::string>& args, int timeout_ms) {
    std::vector<std::string> argv{MCSEND_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    RunOptions o;
    o.timeout_ms = timeout_ms;
    RunResult r = pair_.run_headend(argv, o);
    result_.senders.push_back(r);
    return r;
}

Fetch StreamSession::finish() {
    if (thread_.joinable()) thread_.join();
    result_.courtesy = hostns::read_file(tmp_.file("courtesy"));
    return result_;
}

Fetch StreamSession::fetch(const std::vector<std::string>& args, const std::vector<std::vector<std::string>>& senders,
                           RunOptions options) {
    if (start(args, options))
        for (const auto& s : senders) send(s);
    return finish();
}

}  // namespace mctest
