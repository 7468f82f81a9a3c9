// A program under test on a real pseudo-terminal, driven as a user would.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "hostns/process.h"

namespace testsupport {

class PtySession {
public:
    PtySession() = default;
    ~PtySession();
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    // Starts the program with its standard input, output and error on the
    // terminal; options.env, unset_env, clear_env and cwd apply.
    bool start(const std::vector<std::string>& argv, const hostns::RunOptions& options = {});
    // Types text at the terminal.
    void send(std::string_view text);
    // Types the end-of-file character (^D) at the start of a line.
    void send_eof();
    // Reads until everything read so far contains needle after position
    // `from`, or the time runs out. Returns whether it was seen.
    bool expect(std::string_view needle, int timeout_ms = 10000);
    // Everything the program has written so far (with the terminal's CR LF).
    const std::string& output() const { return out_; }
    // Waits for the program to end; returns its status (128 + signal when
    // killed, -1 on time-out, after which it is killed).
    int wait(int timeout_ms = 10000);

private:
    void drain(int timeout_ms);
    int master_ = -1;
    pid_t pid_ = -1;
    std::string out_;
    size_t seen_ = 0;
};

}  // namespace testsupport
