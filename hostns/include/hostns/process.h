// Running programs under test as real processes: captured output, exit
// status, a time limit, and optional private files or set-up in the child.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace hostns {

struct RunOptions {
    std::string input;                   // written to standard input, then closed
    std::vector<std::string> env;        // "NAME=value" entries added or replaced
    std::vector<std::string> unset_env;  // names removed from the environment
    bool clear_env = false;              // start from an empty environment
    std::string cwd;                     // working directory of the child
    int timeout_ms = 20000;              // the child's process group is killed after this
    // Files visible only to the child, at absolute paths (for example
    // "/etc/vregrc"): their folders are overlaid in a private mount
    // namespace, so the host's own files are never touched. Needs root.
    std::map<std::string, std::string> private_files;
    // Runs in the child just before exec (after the private files).
    std::function<void()> before_exec;
};

struct RunResult {
    int status = -1;  // exit status, or 128 + signal number
    int signal = 0;   // the terminating signal, 0 for a normal exit
    bool timed_out = false;
    std::string out;  // everything written to standard output
    std::string err;  // everything written to standard error
};

// Runs argv[0] (looked up on PATH when it has no "/") with the arguments.
// A program built for another processor is started through the emulator
// named by TESTSUPPORT_EMULATOR, when that is set.
RunResult run(const std::vector<std::string>& argv, const RunOptions& options = {});

// What to hand to execve for argv and options: the environment of this
// process with the changes of options applied, and argv behind the emulator
// when argv[0] is built for another processor (LD_PRELOAD then goes to the
// emulated program, not to the emulator).
struct ExecPlan {
    std::vector<std::string> argv;
    std::vector<std::string> env;
    // In the child after fork: execvpe of the plan; returns only on failure.
    void exec() const;
};
ExecPlan plan_exec(const std::vector<std::string>& argv, const RunOptions& options);

// A before_exec hook: in a private mount namespace, mounts an empty tmpfs
// over the folder (hiding all it holds, device nodes included) and writes
// the files, named relative to it. Needs root. For a folder such as /dev,
// where overlaying would reach the host's own device nodes.
std::function<void()> private_folder(const std::string& folder, const std::map<std::string, std::string>& files = {});

// Milliseconds on the monotonic clock, for the time limits of runs and
// sessions.
long long now_ms();

// Splits text into lines (without their newlines); a last line without a
// newline is kept.
std::vector<std::string> lines(const std::string& text);

}  // namespace hostns
