// mcfetch on the box's side of a private namespace pair and the head-end's
// sender on the other, both real programs on real sockets. The courtesy
// script is a recording one at "/sbin/mcfetch_courtesy.sh", seen only by
// mcfetch (a private mount namespace). Used by the tests and the benchmark.
#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "hostns/netns.h"
#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace mctest {

struct Fetch {
    hostns::RunResult mcfetch;
    std::vector<hostns::RunResult> senders;
    std::string courtesy;  // the script's arguments, one call a line
};

class StreamSession {
public:
    explicit StreamSession(const hostns::NetPairOptions& options = {});
    ~StreamSession();

    hostns::NetnsPair& pair() { return pair_; }
    const hostns::TempDir& tmp() const { return tmp_; }

    // Starts mcfetch ARGS in the box (options.timeout_ms bounds it) and
    // waits until it has joined GROUP or ended; false if it ended first.
    bool start(const std::vector<std::string>& args, hostns::RunOptions options = {},
               const std::string& group = "239.113.1.74");
    // The same for any program in mcfetch's place (an empty group: no wait).
    bool start_program(const std::vector<std::string>& argv, hostns::RunOptions options, const std::string& group);
    // Whether mcfetch may raise its priority as on the box (the benchmark);
    // tests keep it at an ordinary one so it can't starve the sender.
    bool raise_priority = false;
    // The sender with ARGS on the head-end side (its program comes first).
    hostns::RunResult send(const std::vector<std::string>& args, int timeout_ms = 30000);
    // Waits for mcfetch to end.
    Fetch finish();

    // start(), each sender in turn once mcfetch listens, finish().
    Fetch fetch(const std::vector<std::string>& args, const std::vector<std::vector<std::string>>& senders,
                hostns::RunOptions options = {});

private:
    hostns::NetnsPair pair_;
    hostns::TempDir tmp_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    Fetch result_;
};

// Whether the group is joined in the box's namespace (/proc/net/igmp).
bool joined(const hostns::NetnsPair& pair, const std::string& group);

}  // namespace mctest
