// osdinit and aspectset as programs: their output lines, exit statuses and
// the calls they make, against the display SDK stand-in scripted per test
// through its state folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include "box_session.h"
#include "display_state.h"
#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace {

using hostns::lines;
using hostns::read_file;
using hostns::RunResult;

const char kOsdSettings[] =
    "0x14=1 0x18=5 0x1c=4 0x20=720 0x24=576 0x28=3 0x2c=4 0x30=3 0x34=1 0x38=1 0x3c=3 0x40=3 0x6c=0 "
    "rua+0x0c=1 0x108=255 0x10c=0 0x110=0 0x114=0 0x140=255 0x144=255 0x148=0 0x14c=0";

const char* const kOsdSteps[] = {"CreateRuaInstance...\n", "InitOsd...\n",        "init_display...\n",
                                 "create_osdbuf...\n",     "RUAGetProperty...\n", "ChangeLayerOrder...\n"};

std::string osd_progress(size_t steps) {
    std::string out;
    for (size_t i = 0; i < steps; ++i) out += kOsdSteps[i];
    return out;
}

class Display : public testing::Test {
protected:
    // A fresh display (state folder) for what follows.
    void fresh(const std::string& name) { dir_ = tmp_.file(name); }

    RunResult run(std::vector<std::string> argv, bool merge_stderr = false) {
        hostns::RunOptions o;
        o.env = {"DISPLAY_SDK_DIR=" + dir_};
        o.unset_env = {"VBOX_DIR"};
        if (merge_stderr) o.before_exec = [] { dup2(1, 2); };
        return hostns::run(argv, o);
    }
    RunResult osdinit(bool merge_stderr = false) { return run({OSDINIT_BIN}, merge_stderr); }
    RunResult aspectset(std::vector<std::string> args, bool merge_stderr = false) {
        args.insert(args.begin(), ASPECTSET_BIN);
        return run(args, merge_stderr);
    }
    // A console command on the display ("fail DCCClose 9").
    std::string console(const std::vector<std::string>& words) {
        std::vector<std::string> w{"display"};
        w.insert(w.end(), words.begin(), words.end());
        std::string out;
        int status = -1;
        EXPECT_TRUE(displaysdk::display_command(dir_, w, out, status));
        EXPECT_EQ(status, 0) << out;
        return out;
    }
    std::vector<std::string> log() { return lines(read_file(dir_ + "/log")); }
    // The calls made, by name, in order.
    std::vector<std::string> calls() {
        std::vector<std::string> names;
        for (const auto& l : log()) names.push_back(l.substr(0, l.find(' ')));
        return names;
    }

    hostns::TempDir tmp_;
    std::string dir_ = tmp_.file("display");
};

TEST_F(Display, OsdinitSetsUpTheOsd) {
    console({"value", "6011", "4000000000"});
    auto r = osdinit();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, osd_progress(6) + "Surface ID: 4000000000\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(log(), (std::vector<std::string>{
                         "CreateRuaInstance -> 0",
                         "initDisplayOptions -> 6",
                         std::string("init_display rua=1 mode=720x576 ") + kOsdSettings + " -> 6",
                         "create_osdbuf rua=1 size=720x576 -> 0",
                         "RUAGetProperty rua=1 module=4 property=6011 size=4 -> 6",
                         "ChangeLayerOrder rua=1 order=1 -> 0",
                     }));
    EXPECT_EQ(console({}), std::string("aspect ratio 4:3 (route 0), source 4:3\n"
                                       "display 720x576, OSD buffer 720x576, layer order 1, surface 4000000000\n"
                                       "OSD settings: ") +
                               kOsdSettings + "\n");

    // init_display's answer is not examined.
    fresh("init-display-fails");
    console({"fail", "init_display", "9"});
    r = osdinit();
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, osd_progress(6) + "Surface ID: 167772160\n");
    EXPECT_EQ(log().at(2), "init_display rua=1 mode=720x576 " + std::string(kOsdSettings) + " -> 9 (scripted)");
}

TEST_F(Display, OsdinitStopsAtTheFailingStep) {
    struct Row {
        std::vector<std::string> script;
        size_t steps;  // progress lines printed
        const char* err;
        std::vector<std::string> calls;
    };
    const Row rows[] = {
        {{"fail", "CreateRuaInstance", "9"}, 1, "Error in CreateRuaInstance\n", {"CreateRuaInstance"}},
        {{"fail", "initDisplayOptions", "9"},
         2,
         "Error initializing display options! 9\nError: InitOsd returned -1\n",
         {"CreateRuaInstance", "initDisplayOptions"}},
        // An instance creation that answers 0 but leaves no instance.
        {{"fail", "CreateRuaInstance", "0"},
         2,
         "Error: InitOsd returned -1\n",
         {"CreateRuaInstance", "initDisplayOptions"}},
        {{"fail", "create_osdbuf", "11"},
         4,
         "Error: create_osdbuf return value 11\n",
         {"CreateRuaInstance", "initDisplayOptions", "init_display", "create_osdbuf"}},
        {{"fail", "RUAGetProperty", "10"},
         5,
         "Error: cannot get property 6011, scaler 4\n",
         {"CreateRuaInstance", "initDisplayOptions", "init_display", "create_osdbuf", "RUAGetProperty"}},
        {{"fail", "ChangeLayerOrder", "-3"},
         6,
         "Error: ChangeLayerOrder returned -3\n",
         {"CreateRuaInstance", "initDisplayOptions", "init_display", "create_osdbuf", "RUAGetProperty",
          "ChangeLayerOrder"}},
    };
    int n = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.script[1] + " " + row.script[2]);
        fresh("row" + std::to_string(n++));
        console(row.script);
        auto r = osdinit();
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, osd_progress(row.steps));
        EXPECT_EQ(r.err, row.err);
        EXPECT_EQ(calls(), row.calls);
    }
    // Every progress line is out before the error lines that follow it.
    fresh("merged");
    console({"fail", "initDisplayOptions", "9"});
    EXPECT_EQ(osdinit(true).out,
              osd_progress(2) + "Error initializing display options! 9\nError: InitOsd returned -1\n");
}

TEST_F(Display, OsdinitAsksAgainWhilePending) {
    console({"pending", "6011", "3"});
    auto r = osdinit();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, osd_progress(6) + "Surface ID: 167772160\n");
    auto l = log();
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[4], "RUAGetProperty rua=1 module=4 property=6011 size=4 -> 7");
    EXPECT_EQ(l[5], "repeated 2 more times");
    EXPECT_EQ(l[6], "RUAGetProperty rua=1 module=4 property=6011 size=4 -> 6");
    EXPECT_EQ(read_file(dir_ + "/script"), "");  // the count is used up
}

// An SDK stuck at pending: the read gives up after a few seconds and the
// failure path is taken.
TEST_F(Display, OsdinitGivesUpOnAReadStuckPending) {
    console({"pending", "6011", "always"});
    auto r = osdinit();
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, osd_progress(5));
    EXPECT_EQ(r.err, "Error: cannot get property 6011, scaler 4\n");
    auto l = log();
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[4], "RUAGetProperty rua=1 module=4 property=6011 size=4 -> 7");
    EXPECT_EQ(l[5].rfind("repeated ", 0), 0u) << l[5];
}

TEST_F(Display, AspectsetUsage) {
    for (auto args : std::vector<std::vector<std::string>>{{"4"}, {}}) {
        auto r = aspectset(args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, "Error: too few arguments\nUsage: aspectset X Y\n");
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(read_file(dir_ + "/log"), "");  // the SDK was not called
}

std::string ratios(const char* display, const char* source, const char* set) {
    return std::string("Calling RUAGetProperty...\nRMGenericPropertyID_DisplayAspectRatio ") + display +
           "\nCalling RUAGetProperty...\nRMGenericPropertyID_SourceDisplayAspectRatio " + source +
           "\nCalling DCCSetRouteDisplayAspectRatio " + set + "...\n";
}

TEST_F(Display, AspectsetShowsAndSets) {
    auto r = aspectset({"16", "9"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, ratios("4 3", "4 3", "16 9"));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(log(), (std::vector<std::string>{
                         "RUACreateInstance chip=0 -> 6",
                         "DCCOpen rua=1 -> 6",
                         "RUAGetProperty rua=1 module=51 property=6055 size=8 -> 6",
                         "RUAGetProperty rua=1 module=6 property=6052 size=8 -> 6",
                         "DCCSetRouteDisplayAspectRatio dcc=1 route=0 x=16 y=9 -> 6",
                         "DCCClose dcc=1 -> 6",
                         "RUADestroyInstance rua=1 -> 6",
                     }));

    // Eight bits of each number reach the SDK; the next run reads them back.
    console({"value", "6052", "16", "9"});
    r = aspectset({"300", "9"});
    EXPECT_EQ(r.out, ratios("16 9", "16 9", "300 9"));
    EXPECT_EQ(log().at(11), "DCCSetRouteDisplayAspectRatio dcc=1 route=0 x=44 y=9 -> 6");
    r = aspectset({"4", "3"});
    EXPECT_EQ(r.out, ratios("44 9", "16 9", "4 3"));

    // Text that is not a number is 0, which the SDK refuses; not examined.
    r = aspectset({"abc", "9x", "extra"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, ratios("4 3", "16 9", "0 9"));
    auto l = log();
    EXPECT_EQ(l.at(l.size() - 3), "DCCSetRouteDisplayAspectRatio dcc=1 route=0 x=0 y=9 -> 9");
    EXPECT_EQ(aspectset({"-1", "5000000001"}).out, ratios("4 3", "16 9", "-1 705032705"));
    EXPECT_EQ(aspectset({"1", "1"}).out, ratios("255 1", "16 9", "1 1"));
}

TEST_F(Display, AspectsetPassesOverFailedReads) {
    console({"fail", "RUAGetProperty", "10"});
    auto r = aspectset({"16", "9"}, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "Calling RUAGetProperty...\nCannot set SD aspect ratio: RM_NOT_FOUND\n"
              "RMGenericPropertyID_DisplayAspectRatio 0 0\n"
              "Calling RUAGetProperty...\nCannot get SD aspect ratio: RM_NOT_FOUND\n"
              "RMGenericPropertyID_SourceDisplayAspectRatio 0 0\n"
              "Calling DCCSetRouteDisplayAspectRatio 16 9...\n");
    EXPECT_EQ(calls().back(), "RUADestroyInstance");

    // Pending reads are asked again until they answer.
    fresh("pending");
    console({"pending", "6055", "2"});
    console({"pending", "6052", "5"});
    r = aspectset({"16", "9"});
    EXPECT_EQ(r.out, ratios("4 3", "4 3", "16 9"));
    EXPECT_EQ(r.err, "");
}

TEST_F(Display, AspectsetFailures) {
    struct Row {
        const char* call;
        const char* err;
        size_t calls;  // made, up to the failing one
    };
    const Row rows[] = {
        {"RUACreateInstance", "Error creating RUA instance! 9\n", 1},
        {"DCCOpen", "Error Opening DCC! 9\n", 2},
        {"DCCClose", "Cannot close DCC 9\n", 6},
        {"RUADestroyInstance", "Cannot destroy RUA instance 9\n", 7},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.call);
        fresh(row.call);
        console({"fail", row.call, "9"});
        auto r = aspectset({"16", "9"});
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.err, row.err);
        auto c = calls();
        EXPECT_EQ(c.size(), row.calls);
        EXPECT_EQ(c.back(), row.call);
        EXPECT_EQ(r.out, row.calls > 2 ? ratios("4 3", "4 3", "16 9") : "");
    }
}

// Both programs name the SDK's libraries, as on the box.
TEST_F(Display, ProgramsNeedTheSdkLibraries) {
    for (const char* bin : {OSDINIT_BIN, ASPECTSET_BIN}) {
        auto r = hostns::run({"readelf", "-d", bin});
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char* lib : {"libRuaTools.so", "librua.so", "libdcc.so", "libllad.so"})
            EXPECT_NE(r.out.find(std::string("Shared library: [") + lib + "]"), std::string::npos) << bin << " " << lib;
    }
}

// In the virtual box the display lives in the box's folder: the tools run
// with the box's own environment and a console command scripts the SDK.
TEST(DisplayInBox, ToolsKeepTheDisplayInTheBox) {
    vboxtest::BoxSession box;
    auto r = box.start(vboxtest::default_boot());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    r = box.run({OSDINIT_BIN});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, osd_progress(6) + "Surface ID: 167772160\n");
    EXPECT_EQ(box.run({ASPECTSET_BIN, "16", "9"}).status, 0);
    EXPECT_EQ(box.run({ASPECTSET_BIN, "4", "3"}).out, ratios("16 9", "4 3", "4 3"));

    ASSERT_EQ(box.vbox({"display", "fail", "DCCClose", "9", "1"}).status, 0);  // `vbox display`
    r = box.run({ASPECTSET_BIN, "16", "9"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.err, "Cannot close DCC 9\n");
    EXPECT_EQ(box.run({ASPECTSET_BIN, "16", "9"}).status, 0);  // once only
    std::string out = box.vbox({"display"}).out;
    EXPECT_EQ(lines(out).at(0), "aspect ratio 16:9 (route 0), source 4:3");
    EXPECT_EQ(lines(out).at(1), "display 720x576, OSD buffer 720x576, layer order 1, surface 167772160");
}

}  // namespace
