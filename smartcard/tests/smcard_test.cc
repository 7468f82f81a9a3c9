// libsmcard end to end: the test cases of smcard_cases run inside a box
// whose reader and card they script, a few groups at a time in boxes of
// their own (the library's waits are seconds long; ctest runs the groups
// side by side).
#include <dlfcn.h>

#include <cstring>

#include <string>

#include <gtest/gtest.h>

#include "box_session.h"

namespace {

void run_in_box(const std::string& filter) {
    vboxtest::BoxSession box;
    auto r = box.start(vboxtest::default_boot());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    hostns::RunOptions o;
    o.timeout_ms = 60000;
    auto p = box.run({SMCARD_CASES, "--gtest_filter=" + filter}, o);
    EXPECT_EQ(p.status, 0) << p.out << p.err;
}

TEST(SmartCardLibrary, PresenceAndLifecycle) { run_in_box("Presence.*:Lifecycle.*"); }
TEST(SmartCardLibrary, ResetAndPps) { run_in_box("Reset.*:Pps.*"); }
TEST(SmartCardLibrary, PpsWithASilentCard) { run_in_box("PpsSilent.*"); }
TEST(SmartCardLibrary, CommandExchange) { run_in_box("Command.*"); }

// `vbox card` reaches the board's card: the console contribution is in.
TEST(SmartCardLibrary, TheFrontEndDrivesTheCard) {
    vboxtest::BoxSession box;
    ASSERT_EQ(box.start(vboxtest::default_boot()).status, 0);
    EXPECT_EQ(box.vbox({"card", "insert"}).status, 0);
    auto r = box.vbox({"card"});
    EXPECT_EQ(r.out.substr(0, 20), "card: in, not reset\n");
    r = box.vbox({"card", "pps", "sometimes"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage: card "), std::string::npos) << r.err;
}

// The callbacks are bound when the library is loaded: a program without
// them cannot load it, rather than failing at its first SCARD_Status.
TEST(SmartCardLibrary, CallbacksComeFromTheLoadingProgram) {
    void* lib = dlopen(LIBSMCARD, RTLD_LAZY);
    EXPECT_EQ(nullptr, lib);
    const char* why = dlerror();
    EXPECT_TRUE(why && strstr(why, "HD_Card")) << (why ? why : "loaded");
    if (lib) dlclose(lib);
}

}  // namespace
