// A virtual box for tests: booted from a script in a folder of its own,
// stopped at the end of scope. Programs of the box run inside it as real
// processes, through the real front end.
#pragma once

#include <string>
#include <vector>

#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace vboxtest {

class BoxSession {
public:
    BoxSession() = default;
    ~BoxSession();
    BoxSession(const BoxSession&) = delete;
    BoxSession& operator=(const BoxSession&) = delete;

    // Boots the box from the given script text; the front end's result.
    hostns::RunResult start(const std::string& boot_script, std::vector<std::string> start_args = {});
    // The front end with args ("dmesg", "scart", ...).
    hostns::RunResult vbox(std::vector<std::string> args, hostns::RunOptions options = {}) const;
    // A program run inside the box (`vbox run -- argv...`).
    hostns::RunResult run(std::vector<std::string> argv, hostns::RunOptions options = {}) const;
    // Options that reach this box (VBOX_DIR), for a runner of one's own.
    hostns::RunOptions options() const;
    const std::string& dir() const { return dir_; }
    const hostns::TempDir& tmp() const { return tmp_; }
    // Stops the box; a test fails when the shutdown check found anything,
    // unless it expects that.
    hostns::RunResult stop();
    void expect_unclean_shutdown();

private:
    hostns::TempDir tmp_;
    std::string dir_;
    bool started_ = false;
    bool check_shutdown_ = true;
};

// The default boot script of the box, as the repository keeps it.
std::string default_boot();

}  // namespace vboxtest
