// The virtual box end to end: the real daemon booted from a script, the
// real driver on the virtual board, and programs of the box reaching it
// through the bridge, as separate processes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "box_session.h"
#include "proto.h"
#include "hostns/netns.h"
#include "hostns/process.h"
#include "testsupport/pty.h"
#include "hostns/tempdir.h"
#include "wire.h"

namespace {

using hostns::lines;
using hostns::RunOptions;
using hostns::RunResult;
using hostns::TempDir;

const char kBoot[] =
    "# the box's own start-up, and nodes for the tests\n"
    "insmod st6413 scarts_en=3\n"
    "mknod /dev/scart-0 c 61 0\n"
    "insmod vboxecho\n"
    "mknod /dev/echo c 240 0\n"
    "mknod /dev/nodriver c 99 0\n";

class Box : public testing::Test {
protected:
    void SetUp() override {
        auto r = box_.start(kBoot);
        ASSERT_EQ(r.status, 0) << r.out << r.err;
        dir_ = box_.dir();
    }

    RunOptions options() const { return box_.options(); }
    RunResult vbox(std::vector<std::string> args) { return box_.vbox(std::move(args)); }
    RunResult inside(std::vector<std::string> argv) { return box_.run(std::move(argv)); }
    RunResult probe(std::vector<std::string> ops, const std::string& node = "/dev/scart-0") {
        ops.insert(ops.begin(), {PROBE_BIN, node});
        return inside(ops);
    }
    std::string chip() { return lines(vbox({"scart"}).out).at(0); }

    vboxtest::BoxSession box_;
    std::string dir_;
};

TEST_F(Box, BootsFromItsScriptIntoAPrivateFolder) {
    struct stat st;
    ASSERT_EQ(stat(dir_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    auto s = vbox({"status"});
    EXPECT_EQ(s.status, 0);
    EXPECT_NE(s.out.find("modules: vboxecho st6413"), std::string::npos) << s.out;
    EXPECT_NE(vbox({"dmesg"}).out.find("<6>Scart Switch Version = 1.7\n"), std::string::npos);
    EXPECT_EQ(chip(), "STV6413 at 0x4b: 01 11 11 85 80 F4 88");
    // A second box in the same folder is refused.
    auto again = vbox({"start", "--boot", box_.tmp().file("boot.rc")});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already running"), std::string::npos);
}

TEST_F(Box, ModulesComeAndGo) {
    auto r = vbox({"insmod", "nosuch"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "insmod: nosuch: no module by that name found\n");
    EXPECT_EQ(vbox({"insmod", "st6413"}).status, 1);  // loaded already
    EXPECT_EQ(vbox({"rmmod", "st6413"}).status, 0);
    EXPECT_NE(vbox({"dmesg"}).out.find("<6>st6413 unregistered\n"), std::string::npos);
    EXPECT_EQ(probe({}).out, "open: No such device or address\n");
    EXPECT_EQ(vbox({"insmod", "st6413", "scarts_en=1"}).status, 0);
    EXPECT_EQ(chip(), "STV6413 at 0x4b: 01 11 11 84 80 54 88");
    EXPECT_EQ(vbox({"rmmod", "nosuch"}).status, 1);
    EXPECT_EQ(vbox({"frobnicate"}).status, 2);
}

TEST_F(Box, IoctlReachesTheDriverAndTheChip) {
    auto r = probe({"s:0x1007:33", "g:0x2038"});
    EXPECT_EQ(r.out, "s:0x1007:33 r=0 errno=0 v=33\ng:0x2038 r=0 errno=0 v=32\n") << r.err;
    EXPECT_EQ(chip(), "STV6413 at 0x4b: 21 11 11 85 80 F4 88");  // volume 16 in bits 5-1
}

TEST_F(Box, ProcessesShareTheDriverState) {
    EXPECT_EQ(probe({"s:0x1008:1"}).status, 0);  // mute from one program
    EXPECT_EQ(probe({"g:0x2039"}).out, "g:0x2039 r=0 errno=0 v=1\n");
    EXPECT_EQ(probe({"s:0x1008:0", "g:0x2039"}).out, "s:0x1008:0 r=0 errno=0 v=0\ng:0x2039 r=0 errno=0 v=0\n");
}

TEST_F(Box, BadPointersGiveEfaultAndTheCallerLivesOn) {
    auto r = probe({"n:0x2038", "u:0x2038", "n:0x1007", "u:0x1007", "n:0x2043", "g:0x204B"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"n:0x2038 r=-1 errno=Bad address v=0", "u:0x2038 r=-1 errno=Bad address v=0",
                                        "n:0x1007 r=-1 errno=Bad address v=0", "u:0x1007 r=-1 errno=Bad address v=0",
                                        "n:0x2043 r=-1 errno=Bad address v=0", "g:0x204B r=0 errno=0 v=263"}));
}

// The caller's memory travels with the request and the driver's stores
// come back with the result, yet every copy behaves as on the box: a fault
// at any copy gives EFAULT there, the bytes stored before it land, and no
// byte the driver did not store changes. Each script runs twice: before
// and after the bridge has learned the command's footprint.
TEST_F(Box, CopiesBehaveAsOnTheBoxWhereverTheyFault) {
    struct Case {
        const char* op;
        const char* result;  // both runs
    } cases[] = {
        // Writes back more than it read.
        {"c:64:none:r0+4,w0+8", "r=68 errno=0 mem=a0a1a2a3a4a5a6a71111111111111111"},
        // Its store runs into the inaccessible page: what came before lands.
        {"c:4:none:r0+4,w0+8", "r=-1 errno=Bad address mem=a0a1a2a3"},
        // The second read faults, nothing is stored.
        {"c:4:none:r0+4,r4+4,w0+2", "r=-1 errno=Bad address mem=11111111"},
        // A first copy that faults at once.
        {"c:0:none:r0+4", "r=-1 errno=Bad address mem="},
        // A read-only argument: readable, but the store fails.
        {"c:0:ro:r0+4,w0+4", "r=-1 errno=Bad address mem=22222222222222222222222222222222"},
        // It reads what it stored, and what lies past what it stored.
        {"c:64:none:w2+2,r0+8", "r=423 errno=0 mem=1111a0a1111111111111111111111111"},
    };
    for (const Case& c : cases) {
        auto r = probe({c.op}, "/dev/echo");
        std::string line = std::string(c.op) + " " + c.result;
        EXPECT_EQ(lines(r.out), (std::vector<std::string>{line, line})) << r.err;
    }
}

TEST_F(Box, ErrnoIsTheDriversAnswer) {
    EXPECT_EQ(probe({"s:0x1007:64", "g:0x203C", "g:0x2043"}).out,
              "s:0x1007:64 r=-1 errno=Invalid argument v=64\n"
              "g:0x203C r=-1 errno=Invalid argument v=0\n"
              "g:0x2043 r=0 errno=0 v=2\n");
    ASSERT_EQ(vbox({"scart", "ack", "off"}).status, 0);
    EXPECT_EQ(probe({"s:0x1007:10", "g:0x2038"}).out,
              "s:0x1007:10 r=-1 errno=Bad address v=10\ng:0x2038 r=0 errno=0 v=10\n");
}

TEST_F(Box, NodesWithoutADriverAndPathsTheBoxDoesNotServe) {
    EXPECT_EQ(probe({}, "/dev/nodriver").out, "open: No such device or address\n");
    auto r = probe({"w:x"}, "/dev/null");  // the host's own node
    EXPECT_EQ(r.out, "w:x r=1 errno=0 v=0\n");
    EXPECT_EQ(probe({}, "/dev/no-such-node").out, "open: No such file or directory\n");
}

TEST_F(Box, ReadWriteAndPollOnAServedNode) {
    auto r = probe({"p:0", "w:hello", "p:2000", "g:1", "r:3", "r:10", "p:0"}, "/dev/echo");
    EXPECT_EQ(lines(r.out),
              (std::vector<std::string>{"p:0 r=0 in=0", "w:hello r=5 errno=0 v=0", "p:2000 r=1 in=1",
                                        "g:1 r=0 errno=0 v=5", "r:3 r=3 data=hel", "r:10 r=2 data=lo", "p:0 r=0 in=0"}))
        << r.err;
    // A node without read refuses it, as the kernel does.
    EXPECT_EQ(probe({"r:4"}).out, "r:4 Invalid argument\n");
}

TEST_F(Box, RunPassesTheExitStatusThrough) {
    EXPECT_EQ(inside({"sh", "-c", "exit 7"}).status, 7);
    EXPECT_EQ(inside({"sh", "-c", "kill -TERM $$"}).status, 128 + SIGTERM);
    auto missing = inside({"/no/such/program"});
    EXPECT_EQ(missing.status, 127);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos);
    auto env = inside({"sh", "-c", "stat -c %s /dev/mem; command -v vreg"});
    EXPECT_EQ(lines(env.out).at(0), "4294967296");
    EXPECT_EQ(lines(env.out).size(), 2u);
}

TEST_F(Box, ShellInsideTheBox) {
    testsupport::PtySession s;
    RunOptions o = options();
    o.env.push_back("SHELL=/bin/sh");
    ASSERT_TRUE(s.start({VBOX_BIN, "shell"}, o));
    ASSERT_TRUE(s.expect("vbox# ")) << s.output();
    s.send("echo in-box:$VBOX_DIR; vbox lsmod | grep -c st6413\n");
    EXPECT_TRUE(s.expect("in-box:" + dir_)) << s.output();
    EXPECT_TRUE(s.expect("\n1")) << s.output();
    s.send("exit\n");
    EXPECT_EQ(s.wait(), 0) << s.output();
}

// The box's /dev holds its nodes (character devices that reach nothing of
// the host's) and its memory; vreg, linked statically, reaches that memory
// without any preload.
TEST_F(Box, ItsDevAndItsMemoryForVreg) {
    auto ls = inside({"sh", "-c", "ls /dev/scart-0 /dev/echo /dev/mem && test -c /dev/scart-0 && echo char"});
    EXPECT_EQ(ls.out, "/dev/echo\n/dev/mem\n/dev/scart-0\nchar\n") << ls.err;
    RunOptions o;
    o.input = "mmap(\"regs\", 0x10000000, 0x1000)\nsl(0x10000010, 0xcafe)\ngl(0x10000010)\n";
    auto r = box_.run({"vreg"}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("0x0000CAFE"), std::string::npos) << r.out << r.err;
    FILE* f = fopen((dir_ + "/mem").c_str(), "rb");
    ASSERT_TRUE(f);
    uint32_t word = 0;
    fseek(f, 0x10000010, SEEK_SET);
    EXPECT_EQ(fread(&word, 4, 1, f), 1u);
    fclose(f);
    EXPECT_EQ(word, 0xcafeu);
}

// Every open entry point of glibc reaches a node the box serves.
TEST_F(Box, EveryOpenEntryPointReachesTheBox) {
    for (const char* e :
         {"open", "open64", "openat", "openat64", "__open_2", "__open64_2", "__openat_2", "__openat64_2"}) {
        auto r = inside({OPEN_PROBE_BIN, e, "/dev/scart-0"});
        EXPECT_EQ(r.out, "ok  sync=0\n") << e << " " << r.err;
    }
}

TEST_F(Box, ShellWithoutATerminalReadsAScript) {
    RunOptions o;
    o.input = "echo in-box\nvbox lsmod | grep -c st6413\nexit 3\n";
    auto r = box_.vbox({"shell"}, o);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, "in-box\n1\n");
    EXPECT_EQ(r.err, "");
}

// `vbox stop` unloads the modules, the last loaded first, each with its
// cleanup, and the shutdown check finds nothing left.
TEST_F(Box, StopUnloadsTheModulesLastLoadedFirst) {
    auto r = box_.stop();
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "vbox: box stopped\n");
    std::string log = hostns::read_file(dir_ + "/log");
    auto echo = log.find("<6>vboxecho unloaded\n"), scart = log.find("<6>st6413 unregistered\n");
    ASSERT_NE(echo, std::string::npos) << log;
    ASSERT_NE(scart, std::string::npos) << log;
    EXPECT_LT(echo, scart);
    EXPECT_EQ(log.find("shutdown check"), std::string::npos) << log;
    EXPECT_EQ(vbox({"status"}).status, 3);
}

TEST(BoxShutdown, WhatAModuleLeavesBehindIsReported) {
    vboxtest::BoxSession box;
    ASSERT_EQ(box.start("insmod vboxecho leak=1\n").status, 0);
    box.expect_unclean_shutdown();
    auto r = box.stop();
    EXPECT_EQ(r.status, 1);
    const char* finding = "vboxd: shutdown check: 1 kmalloc allocation(s) not freed\n";
    EXPECT_NE(r.err.find(finding), std::string::npos) << r.out << r.err;
    EXPECT_NE(hostns::read_file(box.dir() + "/log").find(finding), std::string::npos);
}

TEST(BoxBoot, AFailingLineIsNamedAndTheBoxDoesNotStay) {
    vboxtest::BoxSession box;
    auto r = box.start("insmod st6413\n\ninsmod nosuch\nmknod /dev/scart-0 c 61 0\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("boot:3: insmod nosuch\ninsmod: nosuch: no module by that name found\n"), std::string::npos)
        << r.err;
    EXPECT_EQ(box.vbox({"status"}).status, 3);
}

// The box's own network: only lo and eth0 (with the box's MAC address) in
// the box, multicast reaching the head end's side, and nothing of it left
// on the host after the box stops.
TEST(BoxNetwork, EthZeroOfItsOwnJoinedToTheHeadEnd) {
    if (!hostns::netns_available()) GTEST_SKIP() << "no network namespaces here";
    std::string host_links = hostns::run({"ip", "-o", "link"}).out;
    vboxtest::BoxSession box;
    ASSERT_EQ(box.start("", {"--mac", "00:03:6f:12:34:56"}).status, 0);
    auto links = box.run({"sh", "-c", "ip -o link | cut -d' ' -f2; cat /sys/class/net/eth0/address"});
    ASSERT_EQ(lines(links.out).size(), 3u) << links.out << links.err;
    EXPECT_EQ(lines(links.out)[0], "lo:");
    EXPECT_EQ(lines(links.out)[1].substr(0, 7), "eth0@if");
    EXPECT_EQ(lines(links.out)[2], "00:03:6f:12:34:56");

    RunResult got;
    std::thread receiver([&] {
        got = box.vbox({"headend", "--", MCAST_PROBE_BIN, "recv", "239.255.7.1", "5100", "5000"});
    });
    auto sent = box.run({MCAST_PROBE_BIN, "send", "239.255.7.1", "5100", "from-the-box", "40"});
    receiver.join();
    EXPECT_EQ(sent.status, 0) << sent.err;
    EXPECT_EQ(got.out, "from-the-box from 10.77.0.2\n") << got.err;

    std::string status = box.vbox({"status"}).out;
    auto at = status.find(" in vbox-");
    ASSERT_NE(at, std::string::npos) << status;
    std::string ns = status.substr(at + 4, status.find(',', at) - at - 4);
    ASSERT_EQ(box.stop().status, 0);
    EXPECT_EQ(hostns::run({"ip", "netns", "list"}).out.find(ns), std::string::npos) << ns;
    EXPECT_EQ(hostns::run({"ip", "-o", "link"}).out, host_links);
}

// Clients that misbehave: the daemon and the driver stay sound, and the next
// program is served as if nothing had happened.
class Rogue : public Box {
protected:
    int connect_box() {
        std::string path = dir_ + "/sock";
        return vbox::connect_to(path.c_str());
    }
    void expect_box_sound() {
        EXPECT_EQ(probe({"s:0x1007:20", "g:0x2038"}).out, "s:0x1007:20 r=0 errno=0 v=20\ng:0x2038 r=0 errno=0 v=20\n");
        for (int i = 0; i < 200 && vbox({"status"}).out.find("open files: 0") == std::string::npos; ++i) usleep(10000);
        EXPECT_NE(vbox({"status"}).out.find("open files: 0"), std::string::npos);
    }
};

TEST_F(Rogue, GarbageOnTheSocket) {
    for (const std::string& junk : {std::string("hello, box"), std::string(4096, '\xff'), std::string(12, '\0')}) {
        int fd = connect_box();
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, junk.data(), junk.size()), static_cast<ssize_t>(junk.size()));
        close(fd);
    }
    // A header that promises more than the limit.
    int fd = connect_box();
    vbox::MsgHeader h = {vbox::kMagic, vbox::MSG_ADMIN, vbox::kMaxPayload + 1};
    ASSERT_EQ(write(fd, &h, sizeof h), static_cast<ssize_t>(sizeof h));
    close(fd);
    expect_box_sound();
}

TEST_F(Rogue, ClosesEarlyOrDiesInTheMiddleOfAnIoctl) {
    close(connect_box());  // connects and goes
    // Opens the node by hand, then asks for an ioctl whose argument the
    // driver must copy in, and disappears instead of answering the copy.
    int data = connect_box();
    struct stat st;
    ASSERT_EQ(fstat(data, &st), 0);
    vbox::OpenReq rq = {};
    rq.inode = st.st_ino;
    rq.pid = getpid();
    strcpy(rq.path, "/dev/scart-0");
    ASSERT_TRUE(vbox::send_msg(data, vbox::MSG_OPEN, &rq, sizeof rq));
    vbox::MsgHeader h;
    vbox::OpenReply rep;
    ASSERT_TRUE(vbox::read_header(data, h, 5000));
    ASSERT_TRUE(vbox::read_full(data, &rep, sizeof rep, 5000));
    ASSERT_EQ(rep.status, vbox::OPEN_OK);
    int ctrl = connect_box();
    vbox::CtrlHello hello = {static_cast<uint32_t>(getpid()), 64};
    ASSERT_TRUE(vbox::send_msg(ctrl, vbox::MSG_CTRL, &hello, sizeof hello));
    vbox::IoctlReq io = {st.st_ino, 0x1007, 0, 0x1000, 0, 0};
    ASSERT_TRUE(vbox::send_msg(ctrl, vbox::MSG_IOCTL, &io, sizeof io));
    ASSERT_TRUE(vbox::read_header(ctrl, h, 5000));
    EXPECT_EQ(h.type, vbox::MSG_MEM_READ);
    close(ctrl);
    close(data);
    expect_box_sound();
    // The driver took no value from the dead caller.
    EXPECT_EQ(chip(), "STV6413 at 0x4b: 15 11 11 85 80 F4 88");
}

TEST_F(Rogue, AProgramKilledWhileHoldingTheDevice) {
    RunOptions o = options();
    o.timeout_ms = 300;
    auto r = hostns::run({VBOX_BIN, "run", "--", PROBE_BIN, "/dev/echo", "sleep:5000"}, o);
    EXPECT_TRUE(r.timed_out);
    expect_box_sound();
}

// Concurrent programs are served one kernel context at a time: every
// request gets its own answer, none is lost or answered twice.
TEST_F(Box, ConcurrentProgramsEachGetTheirOwnAnswers) {
    std::vector<std::thread> threads;
    std::vector<RunResult> results(8);
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            results[i] = probe({"l:300:0x204B:263", "l:300:0x2043:2", "l:300:0x204B:263"});
        });
    for (auto& t : threads) t.join();
    for (auto& r : results)
        EXPECT_EQ(r.out, "l:300:0x204B:263 bad=0\nl:300:0x2043:2 bad=0\nl:300:0x204B:263 bad=0\n") << r.err;
}

TEST(BoxFrontEnd, WithoutARunningBox) {
    TempDir tmp;
    RunOptions o;
    o.env = {"VBOX_DIR=" + tmp.file("none")};
    auto r = hostns::run({VBOX_BIN, "run", "--", "true"}, o);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no box is running"), std::string::npos);
    EXPECT_EQ(hostns::run({VBOX_BIN, "status"}, o).status, 3);
    auto help = hostns::run({VBOX_BIN, "--help"}, o);
    EXPECT_EQ(help.status, 0);
    for (const char* c : {"start", "stop", "status", "run", "shell", "headend", "dmesg", "insmod", "rmmod", "lsmod",
                          "scart [status BYTE|ack on|off]"})
        EXPECT_NE(help.out.find(std::string("  ") + c), std::string::npos) << c;
    EXPECT_EQ(hostns::run({VBOX_BIN, "frobnicate"}, o).status, 2);
    EXPECT_EQ(hostns::run({VBOX_BIN, "scart"}, o).status, 1);  // a word of the box's: no box
}

}  // namespace

// `make run` without a terminal: the scripted tour through the box.
TEST(BoxFrontEnd, MakeRunTourWithoutATerminal) {
    TempDir tmp;
    RunOptions o;
    o.env = {"VBOX_DIR=" + tmp.file("box")};
    o.timeout_ms = 60000;
    auto r = hostns::run({RUN_BOX_SCRIPT, VBOX_BIN}, o);
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* want : {"<6>Scart Switch Version = 1.7", "vbox# vbox run -- qscart-api-test GET 8",
                             "VOLUME = 0x28", "Mute state = 0x1", "0x0000CAFF", "tour done"})
        EXPECT_NE(r.out.find(want), std::string::npos) << want << "\n" << r.out;
    EXPECT_EQ(hostns::run({VBOX_BIN, "status"}, o).status, 3);  // stopped again
}
