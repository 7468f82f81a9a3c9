#include "vreg_run.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "hostns/mounts.h"

namespace vregtest {

using hostns::RunOptions;
using hostns::RunResult;
using hostns::TempDir;

RunOptions base_options(const TempDir& dir) {
    RunOptions o;
    o.env = {"INPUTRC=" + dir.file("no-inputrc"), "TERM=dumb"};
    o.cwd = dir.path();
    return o;
}

namespace {

void merge(RunOptions& into, const RunOptions& from) {
    into.env.insert(into.env.end(), from.env.begin(), from.env.end());
    into.unset_env = from.unset_env;
    into.input = from.input;
    into.private_files = from.private_files;
    if (from.before_exec) into.before_exec = from.before_exec;
    if (!from.cwd.empty()) into.cwd = from.cwd;
}

}  // namespace

RunResult run_script(const std::string& body, RunOptions options, std::vector<std::string> launcher) {
    TempDir dir;
    std::string script = dir.write("test.vreg", "#!/usr/bin/vreg\n" + body);
    RunOptions o = base_options(dir);
    merge(o, options);
    o.env.push_back("_=" + script);
    launcher.push_back(VREG_BIN);
    launcher.push_back(script);
    return hostns::run(launcher, o);
}

RunResult run_stdin(const std::string& input, RunOptions options) {
    TempDir dir;
    RunOptions o = base_options(dir);
    merge(o, options);
    o.input = input;
    return hostns::run({VREG_BIN}, o);
}

// 64-bit offsets throughout: the memory file may span the whole 4 GiB,
// past what the box processor build's 32-bit off_t reaches.
MemFile::MemFile(uint64_t size) : path_(dir_.file("mem")) {
    int fd = open(path_.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        if (ftruncate64(fd, (off64_t)size) != 0) path_.clear();
        close(fd);
    }
}

void MemFile::put(uint64_t offset, const std::vector<uint8_t>& bytes) {
    int fd = open(path_.c_str(), O_WRONLY);
    if (fd < 0) return;
    if (pwrite64(fd, bytes.data(), bytes.size(), (off64_t)offset) != (ssize_t)bytes.size()) path_.clear();
    close(fd);
}

void MemFile::put32(uint64_t offset, uint32_t v) {
    put(offset, {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}

std::vector<uint8_t> MemFile::get(uint64_t offset, size_t n) const {
    std::vector<uint8_t> b(n);
    int fd = open(path_.c_str(), O_RDONLY);
    if (fd < 0) return {};
    ssize_t got = pread64(fd, b.data(), n, (off64_t)offset);
    close(fd);
    b.resize(got < 0 ? 0 : (size_t)got);
    return b;
}

uint32_t MemFile::get32(uint64_t offset) const {
    auto b = get(offset, 4);
    if (b.size() != 4) return 0xDEADDEAD;
    return b[0] | b[1] << 8 | b[2] << 16 | (uint32_t)b[3] << 24;
}

void MemFile::attach(RunOptions& o) const {
    // As in the box: a /dev of its own, the file bound on its "mem". The
    // host's memory is out of reach whatever the program opens.
    o.before_exec = [mem = path_] {
        std::string error;
        if (!hostns::private_dev({}, {{"mem", mem}}, error)) {
            dprintf(2, "vreg test: %s\n", error.c_str());
            _exit(127);
        }
    };
}

}  // namespace vregtest
