// The device bridge takes every open entry point of glibc; a path that no
// box serves goes to the real function with its flags and mode unchanged.
// The probe runs with a /dev of its own holding decoys, never the host's.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace {

using hostns::RunOptions;
using hostns::TempDir;

const char* const kEntries[] = {"open",     "open64",     "openat",     "openat64",
                                "__open_2", "__open64_2", "__openat_2", "__openat64_2"};

class Bridge : public testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "needs root for a private /dev";
    }

    hostns::RunResult probe(const std::vector<std::string>& args) {
        RunOptions o;
        o.env.push_back(std::string("LD_PRELOAD=") + VBOXBRIDGE_LIB);
        const char* asan = getenv("ASAN_OPTIONS");
        o.env.push_back(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
        o.unset_env.push_back("VBOX_DIR");
        o.before_exec = hostns::private_folder("/dev", {{"mem", "decoy\n"}, {"mem0", "other\n"}});
        std::vector<std::string> argv = {OPEN_PROBE_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        return hostns::run(argv, o);
    }

    TempDir dir_;
};

TEST_F(Bridge, EveryEntryPointPassesPathAndFlags) {
    for (const char* e : kEntries) {
        auto r = probe({e, "/dev/mem"});
        EXPECT_EQ(r.out, "ok decoy sync=1\n") << e << " " << r.err;
    }
}

TEST_F(Bridge, OtherPathsAreLeftAlone) {
    struct Case {
        const char* entry;
        const char* path;
        const char* want;
    } cases[] = {
        {"open", "/dev/mem0", "ok other sync=1\n"},
        {"open", "/dev//mem", "ok decoy sync=1\n"},
        {"open", "/dev/./mem", "ok decoy sync=1\n"},
        {"openat", "mem", "ok decoy sync=1\n"},  // relative to /dev: not the name "/dev/mem"
        {"__openat_2", "mem", "ok decoy sync=1\n"},
        {"open", "/dev/nothing", "err ENOENT\n"},
    };
    for (const Case& c : cases) {
        auto r = probe({c.entry, c.path});
        EXPECT_EQ(r.out, c.want) << c.entry << " " << c.path << " " << r.err;
    }
}

TEST_F(Bridge, CreateModePassesThrough) {
    std::string target = dir_.file("made");
    auto r = probe({"open", target, "create", "0604"});
    EXPECT_EQ(r.out, "ok  sync=0\n") << r.err;
    struct stat st;
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u & ~0022u);
    r = probe({"openat64", target, "create", "0600"});
    EXPECT_EQ(r.out, "err EEXIST\n") << r.err;
}

}  // namespace
