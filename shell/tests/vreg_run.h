// Running the real vreg program in the ways the tests need: as a script's
// interpreter, on a pipe, and with a sparse file bound on /dev/mem standing
// in for the box's physical memory.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace vregtest {

// Options every vreg run gets: no readline start-up file of the host.
hostns::RunOptions base_options(const hostns::TempDir& dir);

// Runs `body` as a script: a file whose first line is the interpreter line,
// started as `vreg FILE` with "_" set to FILE, as a shell does; through the
// program `launcher` when it is given (vreg and FILE are its last arguments).
hostns::RunResult run_script(const std::string& body, hostns::RunOptions options = {},
                             std::vector<std::string> launcher = {});

// Runs vreg with `input` on its standard input (a pipe: no prompt, no echo).
hostns::RunResult run_stdin(const std::string& input, hostns::RunOptions options = {});

// A sparse file that stands for the box's physical memory.
class MemFile {
public:
    explicit MemFile(uint64_t size = 0x10100000);
    const std::string& path() const { return path_; }
    void put(uint64_t offset, const std::vector<uint8_t>& bytes);
    void put32(uint64_t offset, uint32_t value);
    std::vector<uint8_t> get(uint64_t offset, size_t n) const;
    uint32_t get32(uint64_t offset) const;
    // Gives the child a /dev of its own (private mount namespace) whose
    // "mem" is this file.
    void attach(hostns::RunOptions& options) const;

private:
    hostns::TempDir dir_;
    std::string path_;
};

}  // namespace vregtest
