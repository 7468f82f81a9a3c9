// Fuzzes the line handler: lexer, parser, evaluator and the built-in
// functions, with a memory device that can be mapped and command files
// that can be included.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include "vreg.h"

namespace {

// A sparse memory file exactly as large as the 32-bit physical address
// space stands in for the box's memory: a window mmap accepts never runs
// past its end, and an access beyond would end the run with SIGBUS.
// Windows are kept small so a dump stays quick. It is emptied after each
// input.
constexpr off_t kMemSize = 0x100000000LL;
int mem_fd = -1;
char mem_path[64];

bool allowed(const char* path) {
    return strcmp(path, "a.vreg") == 0 || strcmp(path, "self.vreg") == 0 || strcmp(path, "bad.vreg") == 0;
}

char work_dir[] = "/tmp/vreg-fuzz-XXXXXX";

void clean_up() {
    for (const char* f : {"a.vreg", "self.vreg", "bad.vreg"}) unlink((std::string(work_dir) + "/" + f).c_str());
    rmdir(work_dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!mkdtemp(work_dir) || chdir(work_dir) != 0) abort();
    atexit(clean_up);
    auto put = [](const char* name, const char* text) {
        FILE* f = fopen(name, "w");
        if (!f) abort();
        fputs(text, f);
        fclose(f);
    };
    put("a.vreg", "mmap(\"inc\", 0x10000000, 0x100)\nsl(0x10000000, 0x12345678)\ngl(0x10000000, 3)\n");
    put("self.vreg", "print 1\ninclude(\"self.vreg\")\n");
    put("bad.vreg", "print 1 2\ngl(\n\"x\nprint (((1\n");
    mem_fd = memfd_create("vreg-fuzz-mem", 0);
    if (mem_fd < 0 || ftruncate(mem_fd, kMemSize) != 0) abort();
    snprintf(mem_path, sizeof mem_path, "/proc/self/fd/%d", mem_fd);
    builtin_env.mem_path = mem_path;
    builtin_env.map_limit = 0x10000;
    builtin_env.include_allowed = allowed;
    if (!freopen("/dev/null", "w", stdout)) abort();
    vreg_report_stream = fopen("/dev/null", "w");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Lexer lx = {};
    Parser* p = parser_create(malloc);
    if (!p) return 0;
    // Lines as fgets hands them over: at most 4093 characters, newline kept.
    std::string text(reinterpret_cast<const char*>(data), size);
    size_t at = 0;
    for (int line = 1; at < text.size(); ++line) {
        size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        if (end - at > 4093) end = at + 4093;
        std::string piece = text.substr(at, end - at);
        line_handler(piece.c_str(), &lx, p, line % 3 ? line : 0);
        at = end;
    }
    parser_release(p, free);
    map_list_release();
    if (ftruncate(mem_fd, 0) != 0 || ftruncate(mem_fd, kMemSize) != 0) abort();
    return 0;
}
