// The display SDK stand-in in-process: its calls' checks, the state kept
// without a folder, and the console command on the state folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "display_state.h"
#include "ruatools.h"
#include "hostns/process.h"
#include "hostns/tempdir.h"

namespace {

using displaysdk::display_command;

class Sdk : public testing::Test {
protected:
    void SetUp() override { unsetenv("VBOX_DIR"); }
    void TearDown() override { unsetenv("DISPLAY_SDK_DIR"); }
    void use_folder() { setenv("DISPLAY_SDK_DIR", dir_.c_str(), 1); }
    int console(const std::vector<std::string>& words, std::string& out) {
        out.clear();
        int status = -1;
        EXPECT_TRUE(display_command(dir_, words, out, status));
        return status;
    }
    hostns::TempDir tmp_;
    std::string dir_ = tmp_.file("display");
};

// Handles, modules and sizes are checked; the display lives as long as the
// program when there is no state folder.
TEST_F(Sdk, CallsCheckWhatTheyArePassed) {
    struct RUA* rua = nullptr;
    ASSERT_EQ(RUACreateInstance(&rua, 0), RM_OK);
    struct RUA* other = nullptr;
    EXPECT_EQ(RUACreateInstance(&other, 1), RM_NOT_FOUND);
    EXPECT_EQ(other, nullptr);
    RMuint32 v[2] = {0, 0};
    EXPECT_EQ(RUAGetProperty(nullptr, 51, 6055, v, 8), RM_INVALID_PARAMETER);
    EXPECT_EQ(RUAGetProperty(rua, 6, 6055, v, 8), RM_NOT_FOUND);
    EXPECT_EQ(RUAGetProperty(rua, 51, 6055, v, 4), RM_INVALID_PARAMETER);
    EXPECT_EQ(RUAGetProperty(rua, RUAModuleID(RUA_CATEGORY_SCALER, 1), 6011, v, 4), RM_NOT_FOUND);
    EXPECT_EQ(RUAGetProperty(rua, 51, 1234, v, 8), RM_NOT_FOUND);
    EXPECT_EQ(v[0], 0u);

    struct DCC* dcc = nullptr;
    EXPECT_EQ(DCCOpen(nullptr, &dcc), RM_INVALID_PARAMETER);
    ASSERT_EQ(DCCOpen(rua, &dcc), RM_OK);
    EXPECT_EQ(DCCSetRouteDisplayAspectRatio(dcc, 1, 16, 9), RM_NOT_FOUND);
    EXPECT_EQ(DCCSetRouteDisplayAspectRatio(dcc, 0, 16, 0), RM_INVALID_PARAMETER);
    EXPECT_EQ(DCCSetRouteDisplayAspectRatio(dcc, 0, 14, 9), RM_OK);
    EXPECT_EQ(RUAGetProperty(rua, 51, 6055, v, 8), RM_OK);
    EXPECT_EQ(v[0], 14u);
    EXPECT_EQ(v[1], 9u);
    EXPECT_EQ(DCCClose(dcc), RM_OK);

    struct DisplayContext ctx = {};
    struct DisplayOptions options = {};
    EXPECT_EQ(init_display(&ctx, &options), RM_INVALID_PARAMETER);  // no instance
    ctx.pRUA = rua;
    EXPECT_EQ(init_display(&ctx, &options), RM_INVALID_PARAMETER);  // options never set
    EXPECT_EQ(create_osdbuf(&ctx), RM_INVALID_PARAMETER);           // no size
    EXPECT_EQ(initDisplayOptions(&options), RM_OK);
    EXPECT_EQ(init_display(&ctx, &options), RM_OK);
    EXPECT_EQ(RUADestroyInstance(rua), RM_OK);

    EXPECT_STREQ(RMstatusToString(RM_PENDING), "RM_PENDING");
    EXPECT_STREQ(RMstatusToString(RM_OK), "RM_OK");
    EXPECT_STREQ(RMstatusToString(42), "RM_UNKNOWN_STATUS");
}

// Counted failures are used up across calls (and programs); the script
// file shows what is left.
TEST_F(Sdk, ScriptCountsAreUsedUp) {
    std::string out;
    ASSERT_EQ(console({"display", "fail", "RUACreateInstance", "11", "2"}, out), 0) << out;
    ASSERT_EQ(console({"display", "pending", "6055", "always"}, out), 0) << out;
    use_folder();
    struct RUA* rua = nullptr;
    EXPECT_EQ(RUACreateInstance(&rua, 0), 11);
    EXPECT_EQ(RUACreateInstance(&rua, 0), 11);
    EXPECT_EQ(rua, nullptr);
    ASSERT_EQ(RUACreateInstance(&rua, 0), RM_OK);
    RMuint32 v[2];
    for (int i = 0; i < 3; ++i) EXPECT_EQ(RUAGetProperty(rua, 51, 6055, v, 8), RM_PENDING);
    EXPECT_EQ(hostns::read_file(dir_ + "/script"), "pending 6055 always\n");
    ASSERT_EQ(console({"display", "pending", "6055", "0"}, out), 0);
    EXPECT_EQ(RUAGetProperty(rua, 51, 6055, v, 8), RM_OK);
    EXPECT_EQ(RUADestroyInstance(rua), RM_OK);
    EXPECT_EQ(hostns::lines(hostns::read_file(dir_ + "/log")),
              (std::vector<std::string>{
                  "RUACreateInstance chip=0 -> 11 (scripted)", "repeated 1 more times", "RUACreateInstance chip=0 -> 6",
                  "RUAGetProperty rua=1 module=51 property=6055 size=8 -> 7", "repeated 2 more times",
                  "RUAGetProperty rua=1 module=51 property=6055 size=8 -> 6", "RUADestroyInstance rua=1 -> 6"}))
        << "";
}

TEST_F(Sdk, ConsoleCommands) {
    std::string out;
    EXPECT_EQ(console({"display"}, out), 0);
    EXPECT_EQ(out, "aspect ratio 4:3 (route 0), source 4:3\ndisplay not set up\n");
    ASSERT_EQ(console({"display", "fail", "DCCClose", "-1"}, out), 0);
    ASSERT_EQ(console({"display", "fail", "DCCClose", "9", "3"}, out), 0);  // replaces the entry
    ASSERT_EQ(console({"display", "pending", "6011", "4"}, out), 0);
    ASSERT_EQ(console({"display", "value", "6055", "16", "9"}, out), 0);
    EXPECT_EQ(console({"display"}, out), 0);
    EXPECT_EQ(out,
              "aspect ratio 16:9 (route 0), source 4:3\ndisplay not set up\n"
              "script: fail DCCClose 9 3\nscript: pending 6011 4\n");
    ASSERT_EQ(console({"display", "clear"}, out), 0);
    EXPECT_EQ(console({"display"}, out), 0);
    EXPECT_EQ(out, "aspect ratio 16:9 (route 0), source 4:3\ndisplay not set up\n");

    const std::pair<std::vector<std::string>, const char*> bad[] = {
        {{"display", "fail", "DCCFrobnicate", "9"}, "display: unknown call 'DCCFrobnicate'\n"},
        {{"display", "fail", "DCCClose", "9x"}, "display: bad status '9x'\n"},
        {{"display", "fail", "DCCClose", "9", "0"}, "display: bad count '0'\n"},
        {{"display", "fail", "DCCClose"}, "display: usage: fail CALL STATUS [N]\n"},
        {{"display", "pending", "6000", "1"}, "display: unknown property '6000'\n"},
        {{"display", "pending", "6011", "-1"}, "display: bad count '-1'\n"},
        {{"display", "value", "6011"}, "display: '6011' takes 1 value\n"},
        {{"display", "value", "6052", "4", "99999999999"}, "display: not a 32-bit number: '99999999999'\n"},
        {{"display", "value"}, "display: unknown property\n"},
    };
    for (const auto& [words, message] : bad) {
        EXPECT_EQ(console(words, out), 2) << words[1];
        EXPECT_EQ(out, message);
    }
    EXPECT_EQ(console({"display", "frob"}, out), 2);
    EXPECT_EQ(out.rfind("usage: display ", 0), 0u);
    EXPECT_EQ(hostns::read_file(dir_ + "/script"), "");  // nothing bad was kept
    out = "x";
    int status = 5;
    EXPECT_FALSE(display_command(dir_, {"scart"}, out, status));
    EXPECT_EQ(status, 5);
}

// A hand-edited file with a bad line: the console names it, the SDK
// answers RM_ERROR and says why on standard error.
TEST_F(Sdk, BadStateFiles) {
    std::string out;
    ASSERT_EQ(console({"display", "clear"}, out), 0);
    hostns::write_file(dir_ + "/script", "fail DCCClose 9\n\n# a comment\nfail Nope 1\n");
    EXPECT_EQ(console({"display"}, out), 1);
    EXPECT_EQ(out, "display: " + dir_ + "/script:4: unknown call 'Nope'\n");
    use_folder();
    struct RUA* rua = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(RUACreateInstance(&rua, 0), RM_ERROR);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "display SDK: " + dir_ + "/script:4: unknown call 'Nope'\n");

    hostns::write_file(dir_ + "/script", "");
    hostns::write_file(dir_ + "/state", "surface 1 2\n");
    EXPECT_EQ(console({"display"}, out), 1);
    EXPECT_EQ(out, "display: " + dir_ + "/state:1: 'surface' takes 1 value\n");
    setenv("DISPLAY_SDK_DIR", tmp_.file("no/such/folder").c_str(), 1);
    EXPECT_EQ(RUACreateInstance(&rua, 0), RM_ERROR);
}

TEST(SdkState, TextFormsRoundTrip) {
    displaysdk::DisplayState s;
    s.mode[0] = 720;
    s.mode[1] = 576;
    s.osd_set = true;
    s.osd[3] = 720;
    s.layer_order = 1;
    displaysdk::DisplayState back;
    std::string error;
    ASSERT_TRUE(displaysdk::parse_state(displaysdk::format_state(s), back, error)) << error;
    EXPECT_EQ(displaysdk::format_state(back), displaysdk::format_state(s));
    EXPECT_FALSE(displaysdk::parse_state("osd 1 2 3\n", back, error));
    EXPECT_EQ(error, "1: 'osd' takes 22 values");
}

}  // namespace
