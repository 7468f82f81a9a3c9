// The built-in functions on a sparse file standing for the box's physical
// memory, reached through the device bridge's /dev/mem redirect. The test
// sets and inspects the file's bytes at the exact offsets.
#include <elf.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/resource.h>

#include <regex>
#include <string>

#include "hostns/mounts.h"
#include "vreg_run.h"

namespace {

using hostns::RunOptions;
using hostns::RunResult;
using vregtest::MemFile;

constexpr uint32_t kBase = 0x10000000;

class Builtins : public testing::Test {
protected:
    RunResult run(const std::string& script, RunOptions o = {}) {
        mem_.attach(o);
        return vregtest::run_script(script, o);
    }
    // A window of 0x1000 bytes at kBase, then the statements.
    RunResult mapped(const std::string& script) { return run("mmap(\"regs\", 0x10000000, 0x1000)\n" + script); }

    MemFile mem_;
};

struct Case {
    const char* script;
    const char* out;
    const char* err;
};

TEST_F(Builtins, ArgumentChecksInOrder) {
    const Case cases[] = {
        {"mmap(\"x\", 1)\n", "", "invalid number of arguments (required 3)\n"},
        {"mmap(\"x\", 1, 2, 3)\n", "", "invalid number of arguments (required 3)\n"},
        {"mmap(1, 2, 3)\n", "", "argument 1 wrong type, expected STRING\n"},
        {"mmap(\"x\", gl, 3)\n", "",
         "Parser:1: syntax error near token ', 3)\n'\n"
         "Parser:1: syntax error near token '3)\n'\n"
         "Parser:1: syntax error near token ')\n'\n"},
        {"mmap(\"x\", maplist(), 3)\n", "empty map list\n", "argument 2 wrong type, expected LONG\n"},
        {"mmap(\"x\", 1, )\n", "", "argument 3 wrong type, expected LONG\n"},
        // A string runs to the last double quote: this is one argument.
        {"mmap(\"x\", 1, \"y\")\n", "", "invalid number of arguments (required 3)\n"},
        {"munmap()\n", "", "invalid number of arguments (required 1)\n"},
        {"munmap(\"a\")\n", "", "argument 1 wrong type, expected LONG\n"},
        {"gb()\n", "", "invalid number of arguments (required 1)\n"},
        {"getbyte(1, 2)\n", "", "invalid number of arguments (required 1)\n"},
        {"gw(\"a\")\n", "", "argument 1 wrong type, expected LONG\n"},
        {"getword()\n", "", "invalid number of arguments (required 1)\n"},
        {"getlong()\n", "", "invalid number of arguments (required at least 1)\n"},
        {"gl(\"a\")\n", "", "argument 1 wrong type, expected LONG\n"},
        {"gl(\"a\", 1)\n", "", "argument 1 wrong type, expected LONG\n"},
        {"gl(1, \"b\")\n", "", "argument 2 wrong type, expected LONG\n"},
        {"gl(1, 2, 3)\n", "", "address 0x1 isn't mapped\n"},
        {"gl(1, 2)\n", "", "address 0x1 isn't mapped\n"},
        {"sb(1)\n", "", "invalid number of arguments (required 2)\n"},
        {"setbyte(1, 2, 3)\n", "", "invalid number of arguments (required 2)\n"},
        {"sw(\"a\", 1)\n", "", "argument 1 wrong type, expected LONG\n"},
        {"setlong(1, \"a\")\n", "", "argument 2 wrong type, expected LONG\n"},
        {"sl(1, 2)\n", "", "address 0x1 isn't mapped\n"},
        {"include()\n", "", "invalid number of arguments (required 1)\n"},
        {"include(1)\n", "", "argument 1 wrong type, expected STRING\n"},
        {"maplist()\n", "empty map list\n", ""},
    };
    for (const Case& c : cases) {
        RunResult r = run(c.script);
        EXPECT_EQ(r.out, c.out) << c.script;
        EXPECT_EQ(r.err, c.err) << c.script;
    }
}

TEST_F(Builtins, ReadsOfEachWidthAtTheirAddress) {
    mem_.put(kBase, {0x78, 0xAB, 0xEF, 0xBE});
    mem_.put32(kBase + 0xffc, 0x11223344);
    const Case cases[] = {
        {"gb(0x10000001)\n", "0x10000001: 0xAB\n", ""},
        {"getbyte(0x10000fff)\n", "0x10000fff: 0x11\n", ""},
        {"gw(0x10000002)\n", "0x10000002: 0xBEEF\n", ""},
        {"getword(0x10000ffe)\n", "0x10000ffe: 0x1122\n", ""},
        {"gl(0x10000000)\n", "0xBEEFAB78\n", ""},
        {"getlong(0x10000ffc)\n", "0x11223344\n", ""},  // the window's last word
        {"gl(0x10000ffe)\n", "", "address 0x10000ffe isn't mapped\n"},
        {"gw(0x10000fff)\n", "", "address 0x10000fff isn't mapped\n"},
        {"gb(0x10001000)\n", "", "address 0x10001000 isn't mapped\n"},
        {"gl(0x0ffffffc)\n", "", "address 0xffffffc isn't mapped\n"},
        {"print gb(0x10000001) + 1\n", "0x10000001: 172\n", ""},
        {"hex gl(0x10000ffc) >> 16\n", "0x00001122\n", ""},
        {"gl(0x10000000, 1, 2)\n", "", ""},  // three arguments: only the check
        // One access of exactly the width, so only at its natural alignment.
        {"gw(0x10000001)\n", "", "address 0x10000001 isn't aligned\n"},
        {"gl(0x10000002)\n", "", "address 0x10000002 isn't aligned\n"},
    };
    for (const Case& c : cases) {
        RunResult r = mapped(c.script);
        EXPECT_EQ(r.out, c.out) << c.script;
        EXPECT_EQ(r.err, c.err) << c.script;
    }
}

// What the processor puts on the bus for each statement: the program runs in
// the processor emulator with a plugin that writes down every access to the
// window, so that a read done as two halves, or a write merged with its
// neighbour, shows as it would on the box's registers.
TEST_F(Builtins, EachAccessIsOneOfExactlyItsWidth) {
    if (!VREG_STATIC) {
        std::printf("not checked: sanitized builds link vreg dynamically, with a runtime the emulator can't host\n");
        return;
    }
    std::string elf = hostns::read_file(VREG_BIN);
    ASSERT_GT(elf.size(), 20u);
    unsigned machine = uint8_t(elf[18]) | uint8_t(elf[19]) << 8;
    std::string emulator, arch;
    if (machine == EM_X86_64) emulator = "qemu-x86_64", arch = "x86_64";
    else if (machine == EM_MIPS) emulator = "qemu-mipsel", arch = "mips";
    else {
        std::printf("not checked: no emulator known for machine %u\n", machine);
        return;
    }
    hostns::TempDir d;
    std::string log = d.file("accesses");
    RunOptions o;
    mem_.attach(o);
    RunResult r = vregtest::run_script(
        "mmap(\"regs\", 0x10000000, 0x1000)\n"
        "gb(0x10000001)\n"
        "gw(0x10000002)\n"
        "gl(0x10000004)\n"
        "gl(0x10000010, 3)\n"
        "sb(0x10000021, 0x1A2)\n"
        "sw(0x10000022, 0x12345)\n"
        "sl(0x10000024, 1)\n"
        "gb(0x10000fff)\n"
        "sl(0x10000ffa, 1)\n",
        o, {emulator, "-plugin", std::string(VREG_ACCESS_LOG) + ",out=" + log + ",offset=0x10000000,arch=" + arch});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "address 0x10000ffa isn't aligned\n");
    EXPECT_EQ(hostns::read_file(log),
              "window 0x1000\n"
              "R1 0x1\n"
              "R2 0x2\n"
              "R4 0x4\n"
              "R4 0x10\nR4 0x14\nR4 0x18\n"
              "W1 0x21\n"
              "W2 0x22\n"
              "W4 0x24\n"
              "R1 0xfff\n");
    EXPECT_EQ(mem_.get32(kBase + 0x20), 0x2345A200u);
}

TEST_F(Builtins, WritesLandAtTheirOffsetsWithTheirWidths) {
    mem_.put(kBase + 0x10, std::vector<uint8_t>(16, 0x55));
    RunResult r = mapped(
        "sb(0x10000011, 0x1A2)\n"
        "setword(0x10000016, 0xCAFEF00D)\n"
        "sl(0x10000018, 0x01020304)\n"
        "sb(0x10000100, gb(0x10000011))\n"
        "sb(0x10000100, gb(0x10000011) + 0)\n"
        "sw(0x10000101, 1)\n"
        "sl(0x10001000, 1)\n");
    EXPECT_EQ(r.out, "0x10000011: 0x10000011: ");
    EXPECT_EQ(r.err,
              "argument 2 wrong type, expected LONG\n"
              "address 0x10000101 isn't aligned\n"
              "address 0x10001000 isn't mapped\n");
    EXPECT_EQ(mem_.get(kBase + 0x10, 16), (std::vector<uint8_t>{0x55, 0xA2, 0x55, 0x55, 0x55, 0x55, 0x0D, 0xF0, 0x04,
                                                                0x03, 0x02, 0x01, 0x55, 0x55, 0x55, 0x55}));
    EXPECT_EQ(mem_.get(kBase + 0x100, 2), (std::vector<uint8_t>{0xA2, 0x00}));
    EXPECT_EQ(mem_.get32(kBase + 0x1000), 0u);
}

// An operand that failed fails its whole statement: the report is all it
// does. A read-modify-write with a bad read must leave the register alone.
TEST_F(Builtins, AFailedOperandWritesAndPrintsNothing) {
    const std::vector<uint8_t> before(8, 0x55);
    mem_.put(kBase + 0x20, before);
    const Case cases[] = {
        {"sl(0x10000020, gl(0x20000000) | 4)\n", "", "address 0x20000000 isn't mapped\n"},
        {"sw(0x10000020, nosuch(1) + 7)\n", "", "unknown function 'nosuch'\n"},
        {"sb(0x10000020, ~gw(0x10000001))\n", "", "address 0x10000001 isn't aligned\n"},
        {"sl(0x10000020, gl(\"a\") & 1)\n", "", "argument 1 wrong type, expected LONG\n"},
        {"sl(0x10000020, gb() + 1)\n", "", "invalid number of arguments (required 1)\n"},
        {"sl(0x10000020, (gl(0x20000000, 1, 2)) + 1)\n", "", "address 0x20000000 isn't mapped\n"},
        {"sl(gl(0x20000000) + 0x10000020, 1)\n", "", "address 0x20000000 isn't mapped\n"},
        {"sl(0x10000020, include(\"/nonexistent\") | 1)\n", "",
         "can't open '/nonexistent' for input: No such file or directory\n"},
        {"sl(0x10000020, gl(0x10000ff8, 3) + 1)\n", "0x10000FF8: 0x00000000 0x00000000\n",
         "address 0x10001000 isn't mapped\n"},
        {"sl(0x10000020, mmap(\"t\", 0x10000000, 0) + 1)\n", "", "mmap: mmap failed: Invalid argument\n"},
        {"print gb(0x20000000) + 1\n", "", "address 0x20000000 isn't mapped\n"},
        {"hex ~gl(0x10000002)\n", "", "address 0x10000002 isn't aligned\n"},
    };
    for (const Case& c : cases) {
        RunResult r = mapped(c.script);
        EXPECT_EQ(r.out, c.out) << c.script;
        EXPECT_EQ(r.err, c.err) << c.script;
        EXPECT_EQ(mem_.get(kBase + 0x20, 8), before) << c.script;
    }
}

TEST_F(Builtins, DumpRowsOfFourWords) {
    for (uint32_t i = 0; i < 8; ++i) mem_.put32(kBase + 4 * i, 0xA0 + i);
    const Case cases[] = {
        {"gl(0x10000000, 6)\n",
         "0x10000000: 0x000000A0 0x000000A1 0x000000A2 0x000000A3\n0x10000010: 0x000000A4 0x000000A5", ""},
        {"getlong(0x10000004, 4)\n", "0x10000004: 0x000000A1 0x000000A2 0x000000A3 0x000000A4\n", ""},
        {"gl(0x10000000, 0)\n", "", ""},
        {"gl(0x10000000, 1)\nprint 1\n", "0x10000000: 0x000000A01\n", ""},
        // Words past the window are never read: the dump stops there.
        {"gl(0x10000ff8, 4)\n", "0x10000FF8: 0x00000000 0x00000000\n", "address 0x10001000 isn't mapped\n"},
        {"gl(0x10000ff0, 0xFFFFFFFF)\n", "0x10000FF0: 0x00000000 0x00000000 0x00000000 0x00000000\n",
         "address 0x10001000 isn't mapped\n"},
        {"gl(0x10001000, 1)\n", "", "address 0x10001000 isn't mapped\n"},
        {"gl(0x10000002, 1)\n", "", "address 0x10000002 isn't aligned\n"},
    };
    for (const Case& c : cases) {
        RunResult r = mapped(c.script);
        EXPECT_EQ(r.out, c.out) << c.script;
        EXPECT_EQ(r.err, c.err) << c.script;
    }
}

// Each window holds a descriptor of the memory device until it is unmapped.
// With at most 16 descriptors, 20 windows mapped and unmapped in turn run
// out of them unless munmap closes each one.
TEST_F(Builtins, MapListAndExactPhysUnmap) {
    std::string churn;
    for (int i = 0; i < 20; ++i) churn += "mmap(\"x\", 0x10004000, 0x100)\nmunmap(0x10004000)\n";
    RunOptions o;
    mem_.attach(o);
    o.before_exec = [dev = o.before_exec] {
        dev();
        struct rlimit few = {16, 16};
        if (setrlimit(RLIMIT_NOFILE, &few) != 0) _exit(126);
    };
    RunResult r = vregtest::run_script(
        "maplist()\n"
        "mmap(\"a\", 0x10000000, 0x1000)\n"
        "mmap(\"b\", 0x10000800, 0x1000)\n"
        "mmap(\"c\", 0x10000000, 0x2000)\n"
        "maplist()\n"
        "munmap(0x10000004)\n"
        "munmap(0x10000000)\n" +
            churn +
            "maplist()\n"
            "munmap(0x10000800)\n"
            "maplist()\n",
        o);
    EXPECT_EQ(r.err, "");
    std::string hex = "0x[0-9a-f]+";
    std::regex want(
        "empty map list\n"
        "N.   \tphy       \tmapped   \tsize       \tname\n"
        "\\[000\\]\t0x10000000\t" +
        hex +
        "\t0x00001000\ta\n"
        "\\[001\\]\t0x10000800\t" +
        hex +
        "\t0x00001000\tb\n"
        "\\[002\\]\t0x10000000\t" +
        hex +
        "\t0x00002000\tc\n"
        "N.   \tphy       \tmapped   \tsize       \tname\n"
        "\\[000\\]\t0x10000800\t" +
        hex +
        "\t0x00001000\tb\n"
        "empty map list\n");
    EXPECT_TRUE(std::regex_match(r.out, want)) << r.out;
}

TEST_F(Builtins, TheEarliestOverlappingWindowTranslates) {
    // "a" ends at 0x10001000; "b" covers beyond it. The dump goes through
    // "a" and stops at its end although "b" would hold more.
    RunResult r =
        run("mmap(\"a\", 0x10000000, 0x1000)\n"
            "mmap(\"b\", 0x10000000, 0x2000)\n"
            "gl(0x10000ffc, 2)\n"
            "gl(0x10001000)\n"
            "munmap(0x10000000)\n"
            "gl(0x10000000)\n");
    EXPECT_EQ(r.out, "0x10000FFC: 0x00000000\n0x00000000\n");
    EXPECT_EQ(r.err, "address 0x10001000 isn't mapped\naddress 0x10000000 isn't mapped\n");
}

TEST_F(Builtins, UnalignedWindowsReachExactlyTheNamedAddress) {
    mem_.put32(kBase + 0x10, 0xDDCCBBAA);
    mem_.put32(kBase + 0x14, 0x44332211);
    RunResult r =
        run("mmap(\"u\", 0x10000014, 0x8)\n"
            "gl(0x10000014)\n"
            "gb(0x10000015)\n"
            "sl(0x10000018, 0x12345678)\n"
            "gl(0x10000010)\n"
            "gl(0x1000001c)\n");
    EXPECT_EQ(r.out, "0x44332211\n0x10000015: 0x22\n");
    EXPECT_EQ(r.err, "address 0x10000010 isn't mapped\naddress 0x1000001c isn't mapped\n");
    EXPECT_EQ(mem_.get32(kBase + 0x18), 0x12345678u);
    EXPECT_EQ(mem_.get32(kBase + 0x10), 0xDDCCBBAAu);
}

TEST_F(Builtins, FailedMapsLeaveTheListAlone) {
    RunResult r =
        run("mmap(\"z\", 0x10000000, 0)\n"
            "maplist()\n");
    EXPECT_EQ(r.out, "empty map list\n");
    EXPECT_EQ(r.err, "mmap: mmap failed: Invalid argument\n");

    RunOptions o;  // a /dev without "mem"
    o.before_exec = [] {
        std::string error;
        if (!hostns::private_dev({}, {}, error)) _exit(127);
    };
    r = vregtest::run_script("mmap(\"x\", 0x10000000, 0x1000)\nmaplist()\n", o);
    EXPECT_EQ(r.out, "empty map list\n");
    EXPECT_EQ(r.err, "mmap: open /dev/mem failed: No such file or directory\n");
}

// The memory file spans the whole 32-bit physical space, as in the box: a
// window may end at 0xFFFFFFFF but not beyond, and nothing past its end is
// touched (a mapped page past the file would end the program with SIGBUS).
TEST(BuiltinsTop, WindowsEndAtTheTopOfTheAddressSpace) {
    MemFile mem(uint64_t(1) << 32);
    mem.put32(0xFFFFFFF8, 0x11223344);
    mem.put32(0xFFFFFFFC, 0xA1B2C3D4);
    RunOptions o;
    mem.attach(o);
    RunResult r = vregtest::run_script(
        "mmap(\"t\", 0xFFFFFFF0, 0x20)\n"
        "mmap(\"huge\", 0x1000, 0xFFFFFFFF)\n"
        "mmap(\"wrap\", 0xFFFFFFFF, 2)\n"
        "maplist()\n"
        "mmap(\"top\", 0xFFFFFFF0, 0x10)\n"
        "gl(0xFFFFFFF8, 8)\n"
        "gb(0xFFFFFFFF)\n"
        "gw(0xFFFFFFFE)\n"
        "sl(0xFFFFFFF8, 0x55667788)\n"
        "gl(0xFFFFFFF0, 0xFFFFFFFF)\n"
        "mmap(\"last\", 0xFFFFFFFF, 1)\n"
        "gb(0xFFFFFFFF)\n"
        "print 1\n",
        o);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "empty map list\n"
              "0xFFFFFFF8: 0x11223344 0xA1B2C3D4\n"
              "0xffffffff: 0xA1\n"
              "0xfffffffe: 0xA1B2\n"
              "0xFFFFFFF0: 0x00000000 0x00000000 0x55667788 0xA1B2C3D4\n"
              "0xffffffff: 0xA1\n"
              "1\n");
    EXPECT_EQ(r.err,
              "mmap: window at 0xfffffff0 of 0x20 bytes runs past 0xFFFFFFFF\n"
              "mmap: window at 0x1000 of 0xFFFFFFFF bytes runs past 0xFFFFFFFF\n"
              "mmap: window at 0xffffffff of 0x2 bytes runs past 0xFFFFFFFF\n"
              "dump stops at 0xFFFFFFFF, the end of the address space\n"
              "dump stops at 0xFFFFFFFF, the end of the address space\n");
    EXPECT_EQ(mem.get32(0xFFFFFFF8), 0x55667788u);
}

TEST_F(Builtins, IncludeRunsCommandFilesThatShareTheMapList) {
    hostns::TempDir d;
    d.write("map.vreg", "mmap(\"inc\", 0x10000000, 0x100)\nsl(0x10000000, 0xA5A5)\n");
    d.write("outer.vreg", "print 1\ninclude(\"inner.vreg\")\nprint 1 2\n");
    d.write("inner.vreg", "\nprint 3 4\nprint 5\n");
    d.write("self.vreg", "include(\"self.vreg\")\n");
    RunOptions o;
    o.cwd = d.path();
    RunResult r =
        run("include(\"map.vreg\")\n"
            "gl(0x10000000)\n"
            "include(\"outer.vreg\")\n"
            "include(\"/nonexistent/file\")\n"
            "include(\"self.vreg\")\n"
            "print 6\n",
            o);
    EXPECT_EQ(r.out, "0x0000A5A5\n1\n5\n6\n");
    EXPECT_EQ(r.err,
              "Parser:2: syntax error near token '4\n'\n"
              "Parser:3: syntax error near token '2\n'\n"
              "can't open '/nonexistent/file' for input: No such file or directory\n"
              "include 'self.vreg' refused: more than 16 nested includes\n");
    EXPECT_EQ(mem_.get32(kBase), 0xA5A5u);
}

}  // namespace
