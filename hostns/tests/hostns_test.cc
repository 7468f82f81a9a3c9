// The process runner, temporary folders and private namespaces: every
// component's tests and the virtual box rest on them, so if these break,
// every other verdict is suspect.
#include <cstdio>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "hostns/mounts.h"
#include "hostns/netns.h"
#include "hostns/process.h"
#include "hostns/tempdir.h"

using namespace hostns;

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
    o.private_files["/etc/stb-hostns-probe"] = "seen\n";
    auto r = run({"cat", "/etc/stb-hostns-probe", "/etc/hostname"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 5), "seen\n");
    EXPECT_NE(access("/etc/stb-hostns-probe", F_OK), 0);
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

// In a chroot "/" is no mount point, so its propagation cannot be made
// private; private files and folders work there all the same.
TEST(Run, PrivateMountsWhereRootIsNoMountPoint) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a chroot";
    TempDir outer;
    pid_t pid = fork();
    if (pid == 0) {
        auto bad = [](const std::string& what) {
            dprintf(2, "%s: %s\n", what.c_str(), strerror(errno));
            _exit(100);
        };
        std::string error;
        if (!private_mount_namespace(error)) bad("ns: " + error);
        // The chroot's root is a plain folder of a tmpfs, holding the host's system.
        std::string root = outer.path() + "/r";
        if (mount("tmpfs", outer.path().c_str(), "tmpfs", 0, nullptr) != 0 || mkdir(root.c_str(), 0755) != 0)
            bad("tmpfs");
        for (const char* d : {"usr", "etc", "dev", "proc", "tmp"}) {
            std::string to = root + "/" + d;
            if (mkdir(to.c_str(), 0755) != 0 ||
                mount((std::string("/") + d).c_str(), to.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0)
                bad(to);
        }
        for (const char* l : {"bin", "lib", "lib64", "sbin"}) {
            char target[256];
            ssize_t n = readlink((std::string("/") + l).c_str(), target, sizeof target - 1);
            if (n > 0 && symlink(std::string(target, n).c_str(), (root + "/" + l).c_str()) != 0) bad(l);
        }
        if (chroot(root.c_str()) != 0 || chdir("/") != 0) bad("chroot");
        if (mount(nullptr, "/", nullptr, MS_PRIVATE, nullptr) == 0 || errno != EINVAL) bad("/ is a mount point");
        RunOptions o;
        o.private_files["/etc/stb-chroot-probe"] = "seen\n";
        o.before_exec = private_folder("/dev", {{"stb-probe", "decoy\n"}});
        auto r = run({"cat", "/etc/stb-chroot-probe", "/dev/stb-probe"}, o);
        if (r.err.find("Function not implemented") != std::string::npos) _exit(77);  // user-mode emulation
        if (r.out != "seen\ndecoy\n") {
            dprintf(2, "%s%s", r.out.c_str(), r.err.c_str());
            _exit(1);
        }
        _exit(access("/etc/stb-chroot-probe", F_OK) == 0 ? 2 : 0);
    }
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    // A property of qemu's user mode, not something CI lost: said, not skipped.
    if (WEXITSTATUS(status) == 77) {
        std::printf("not checked: the emulator lacks open_tree and move_mount\n");
        return;
    }
    EXPECT_EQ(WEXITSTATUS(status), 0);
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

// The box's side sees only its loopback and its end of the pair, with the
// asked address and the multicast route; both namespaces go with the pair
// and the host's interfaces are as they were.
TEST(NetnsPair, PrivatePairIsReachableAndRemoved) {
    if (!netns_available()) GTEST_SKIP() << "no network namespaces here";
    std::string host_links = run({"ip", "-o", "link"}).out;
    std::string box;
    {
        NetPairOptions o;
        o.box_mac = "00:03:6f:12:34:56";
        NetnsPair pair(o);
        ASSERT_TRUE(pair.ok()) << pair.error();
        box = pair.box();
        auto links = pair.run_box({"sh", "-c", "ip -o link | cut -d' ' -f2"});
        EXPECT_EQ(lines(links.out)[0], "lo:");
        ASSERT_EQ(lines(links.out).size(), 2u) << links.out;
        EXPECT_EQ(lines(links.out)[1], "eth0@if2:");
        EXPECT_NE(pair.run_box({"ip", "link", "show", "eth0"}).out.find("00:03:6f:12:34:56"), std::string::npos);
        EXPECT_NE(pair.run_headend({"ip", "route"}).out.find("224.0.0.0/4 dev eth0"), std::string::npos);
    }
    EXPECT_EQ(run({"ip", "netns", "list"}).out.find(box), std::string::npos);
    EXPECT_EQ(run({"ip", "-o", "link"}).out, host_links);
}
