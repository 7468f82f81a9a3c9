// The program as a process: how it finds its input (script, run-control
// files, the line editor), its prompt, and how it ends.
#include <cstdio>
#include <elf.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "testsupport/pty.h"
#include "vreg_run.h"

namespace {

using hostns::RunOptions;
using hostns::RunResult;
using hostns::TempDir;
using vregtest::base_options;

bool root() { return geteuid() == 0; }

RunResult vreg(const TempDir& dir, std::vector<std::string> args, std::vector<std::string> env, std::string input = "",
               std::map<std::string, std::string> private_files = {}) {
    RunOptions o = base_options(dir);
    o.env.insert(o.env.end(), env.begin(), env.end());
    o.unset_env = {"SUDO_COMMAND"};
    o.input = input;
    o.private_files = private_files;
    args.insert(args.begin(), VREG_BIN);
    return hostns::run(args, o);
}

TEST(Program, ScriptModeWhenAnUnderscoreVariableNamesTheLastArgument) {
    TempDir d;
    std::string s = d.write("s.vreg", "print 99\nprint 1\nprint 2 3\n");
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> env;
        bool script;
    } cases[] = {
        {{s}, {"_=" + s}, true},
        {{"-x", s}, {"_=" + s}, true},  // the last argument counts
        {{s}, {"_X=" + s}, true},       // any variable starting with "_"
        {{s}, {"SUDO_COMMAND=" + s}, true},
        {{s}, {"SUDO_COMMANDS=" + s}, true},  // its first 12 characters
        {{s}, {"_=/usr/bin/vreg"}, false},    // the shell named the program
        {{s}, {"_=" + s + "x"}, false},
        {{s}, {"X_=" + s, "SUDO=" + s}, false},
        {{s, "other"}, {"_=" + s}, false},
    };
    for (const Case& c : cases) {
        RunResult r = vreg(d, c.args, c.env, "print 5\n");
        EXPECT_EQ(r.status, 0);
        if (c.script) {
            // The interpreter line is dropped; lines are numbered from 1; the
            // standard input is not read.
            EXPECT_EQ(r.out, "1\n") << c.args.back() << " " << c.env[0];
            EXPECT_EQ(r.err, "Parser:2: syntax error near token '3\n'\n");
        } else {
            EXPECT_EQ(r.out, "5\n") << c.args.back() << " " << c.env[0];
            EXPECT_EQ(r.err, "");
        }
    }
}

TEST(Program, OnlyTheProgramNameMeansNoScript) {
    TempDir d;
    RunResult r = vreg(d, {}, {"_=" VREG_BIN}, "print 5\n");
    EXPECT_EQ(r.out, "5\n");
}

TEST(Program, AMissingScriptIsSilentAndEndsTheRun) {
    TempDir d;
    std::string s = d.file("missing.vreg");
    RunResult r = vreg(d, {s}, {"_=" + s}, "print 5\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
}

TEST(Program, RunControlFilesComeFirstNumberedFromZero) {
    if (!root()) GTEST_SKIP() << "needs root for a private /etc";
    TempDir d;
    d.write(".vregrc", "print 2\nprint 2 2\n");
    std::string s = d.write("s.vreg", "#!/usr/bin/vreg\nprint 3\n");
    RunResult r = vreg(d, {s}, {"_=" + s}, "", {{"/etc/vregrc", "print 1 1\nprint 1\nprint 1 1\n"}});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\n2\n3\n");
    EXPECT_EQ(r.err,
              "Parser: syntax error near token '1\n'\n"
              "Parser:2: syntax error near token '1\n'\n"
              "Parser:1: syntax error near token '2\n'\n");
    // Interactive runs read them too, before the first line.
    r = vreg(d, {}, {}, "print 4\n", {{"/etc/vregrc", "print 1\n"}});
    EXPECT_EQ(r.out, "1\n2\n4\n");
}

TEST(Program, DotVregrcIsLookedUpInTheWorkingDirectory) {
    TempDir d, home;
    home.write(".vregrc", "print 8\n");
    d.write(".vregrc", "print 7\n");
    RunResult r = vreg(d, {}, {"HOME=" + home.path()}, "");
    EXPECT_EQ(r.out, "7\n");
}

// fgets-sized pieces: 16381 characters, each piece a line of its own.
TEST(Program, LongLinesAreHandledInPiecesWithTheirOwnNumbers) {
    TempDir d;
    std::string first = "print 1";
    first += std::string(16381 - first.size(), ' ');
    std::string body = "#!/usr/bin/vreg\n" + first + "print 2 2\nprint 3 3\n";
    std::string s = d.write("s.vreg", body);
    RunResult r = vreg(d, {s}, {"_=" + s});
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(r.err,
              "Parser:2: syntax error near token '2\n'\n"
              "Parser:3: syntax error near token '3\n'\n");
    // One character less and the first piece runs on into "print 2 2".
    first.pop_back();
    s = d.write("s.vreg", "#!/usr/bin/vreg\n" + first + "print 2 2\n");
    r = vreg(d, {s}, {"_=" + s});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "Parser:1: syntax error near token 'p'\n"
              "Parser:2: syntax error near token '2 2\n'\n"
              "Parser:2: syntax error near token '2\n'\n");
}

TEST(Program, EmptyLinesDoNothing) {
    TempDir d;
    RunResult r = vreg(d, {}, {}, "\n\nprint 1\n\n\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(r.err, "");
}

// Nobody types at a pipe: no prompt, and the lines read are not echoed
// between the results (a last line without its newline is read too).
TEST(Program, NoPromptAndNoEchoOnAPipe) {
    TempDir d;
    RunResult r = vreg(d, {}, {}, "print 7\nhex 8\nprint 1 2\nprint 9");
    EXPECT_EQ(r.out, "7\n0x00000008\n9\n");
    EXPECT_EQ(r.err, "Parser: syntax error near token '2'\n");
}

TEST(Program, PromptAndLineEditingOnATerminal) {
    TempDir d;
    testsupport::PtySession pty;
    RunOptions o = base_options(d);
    ASSERT_TRUE(pty.start({VREG_BIN}, o));
    ASSERT_TRUE(pty.expect("vreg> "));
    pty.send("print 7\r");
    ASSERT_TRUE(pty.expect("7\r\nvreg> "));
    pty.send("\r");  // empty: no history entry, no message
    ASSERT_TRUE(pty.expect("vreg> "));
    pty.send("\x10\r");  // ^P brings back the last non-empty line
    ASSERT_TRUE(pty.expect("7\r\nvreg> "));
    pty.send("print 1 2\r");
    ASSERT_TRUE(pty.expect("Parser: syntax error near token '2'\r\nvreg> "));
    pty.send_eof();  // at the prompt, while the editor reads
    EXPECT_EQ(pty.wait(), 0) << pty.output();
}

// vreg ships as one static program: no program interpreter, no library to
// find. The box's processor runs it with nothing beside it (qemu-mipsel
// without a library prefix).
TEST(Program, OneStaticProgram) {
    // A build property, not something the machine lacks: not a skip, which
    // CI would count as a failure.
    if (!VREG_STATIC) {
        std::printf("not checked: sanitized builds link vreg dynamically\n");
        return;
    }
    std::string elf = hostns::read_file(VREG_BIN);
    ASSERT_GT(elf.size(), 64u);
    bool wide = elf[EI_CLASS] == ELFCLASS64;
    auto field = [&](size_t at, size_t n) {
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= uint64_t(uint8_t(elf.at(at + i))) << (8 * i);  // both little-endian
        return v;
    };
    uint64_t phoff = wide ? field(32, 8) : field(28, 4);
    size_t phentsize = field(wide ? 54 : 42, 2), phnum = field(wide ? 56 : 44, 2);
    for (size_t i = 0; i < phnum; ++i) EXPECT_NE(field(phoff + i * phentsize, 4), uint64_t(PT_INTERP)) << i;
    if (!wide) {
        TempDir d;
        RunOptions o = base_options(d);
        o.unset_env = {"QEMU_LD_PREFIX"};
        o.input = "print 6 * 7\n";
        auto r = hostns::run({"qemu-mipsel", VREG_BIN}, o);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("42\n"), std::string::npos) << r.out;
    }
}

}  // namespace
