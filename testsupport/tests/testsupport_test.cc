// The test harness itself: if these break, every other test's verdict is suspect.
#include <gtest/gtest.h>
#include <unistd.h>

#include "testsupport/process.h"
#include "testsupport/pty.h"
#include "testsupport/tempdir.h"

using namespace testsupport;

TEST(Run, CapturesOutputsStatusAndInput) {
    RunOptions o;
    o.input = "abc\n";
    auto r = run({"sh", "-c", "cat; echo err >&2; exit 3"}, o);
    EXPECT_EQ(r.out, "abc\n");
    EXPECT_EQ(r.err, "err\n");
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(r.timed_out);
}

TEST(Run, LargeInputAndOutputDoNotDeadlock) {
    RunOptions o;
    o.input.assign(1 << 20, 'x');
    auto r = run({"cat"}, o);
    EXPECT_EQ(r.out.size(), size_t(1) << 20);
}

TEST(Run, TimeOutKillsTheWholeGroup) {
    RunOptions o;
    o.timeout_ms = 300;
    auto r = run({"sh", "-c", "sleep 30 & sleep 30"}, o);
    EXPECT_TRUE(r.timed_out);
    EXPECT_EQ(r.signal, SIGKILL);
}

TEST(Run, EnvironmentAndWorkingDirectory) {
    TempDir d;
    RunOptions o;
    o.env = {"STB_A=1"};
    o.unset_env = {"HOME"};
    o.cwd = d.path();
    auto r = run({"sh", "-c", "echo $STB_A ${HOME-unset}; pwd"}, o);
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"1 unset", d.path()}));
}

TEST(Run, PrivateFilesStayPrivate) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    RunOptions o;
    o.private_files["/etc/stb-testsupport-probe"] = "seen\n";
    auto r = run({"cat", "/etc/stb-testsupport-probe", "/etc/hostname"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 5), "seen\n");
    EXPECT_NE(access("/etc/stb-testsupport-probe", F_OK), 0);
}

TEST(Run, PrivateFolderHidesWhatItHeld) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    RunOptions o;
    o.before_exec = private_folder("/dev", {{"stb-probe", "decoy\n"}});
    auto r = run({"/bin/sh", "-c", "cat /dev/stb-probe; ls /dev | wc -l"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"decoy", "1"}));
    EXPECT_NE(access("/dev/stb-probe", F_OK), 0);
}

TEST(Pty, ProgramSeesATerminal) {
    PtySession s;
    ASSERT_TRUE(s.start({"sh", "-c", "test -t 0 && echo tty; read x; echo got:$x"}));
    EXPECT_TRUE(s.expect("tty"));
    s.send("hello\n");
    EXPECT_TRUE(s.expect("got:hello"));
    EXPECT_EQ(s.wait(), 0);
}

TEST(TempDir, WritesReadsAndCleansUp) {
    std::string p;
    {
        TempDir d;
        p = d.path();
        d.write("a/b.txt", "data");
        EXPECT_EQ(d.read("a/b.txt"), "data");
    }
    EXPECT_NE(access(p.c_str(), F_OK), 0);
}

// A program built by this project runs the same way on the host and, when
// the tests run for the box's processor, through the emulator.
TEST(Run, BuiltProgramWithArgumentsAndEnvironment) {
    RunOptions o;
    o.env = {"PRINT_ARGS_VAR=v1"};
    auto r = run({PRINT_ARGS_BIN, "7", "two words"}, o);
    EXPECT_EQ(r.status, 7) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"7", "two words", "var=v1"}));
    EXPECT_EQ(r.err, "");
}
