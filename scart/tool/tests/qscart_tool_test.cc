// qscart-api-test end to end: the real tool and library inside the virtual
// box, against the real driver on the virtual chip; stdout, exit status and
// the chip's registers.
#include <gtest/gtest.h>

#include "box_session.h"

namespace {

using hostns::lines;
using hostns::RunResult;

class Tool : public testing::Test {
protected:
    void SetUp() override {
        auto r = box_.start(vboxtest::default_boot());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    RunResult tool(std::vector<std::string> args) {
        args.insert(args.begin(), "qscart-api-test");  // found on the box's PATH
        return box_.run(args);
    }
    std::string chip() { return lines(box_.vbox({"scart"}).out).at(0).substr(17); }
    // Back to the load-time registers: unload and load the driver again.
    void reload() {
        ASSERT_EQ(box_.vbox({"rmmod", "st6413"}).status, 0);
        ASSERT_EQ(box_.vbox({"insmod", "st6413"}).status, 0);
    }
    vboxtest::BoxSession box_;
};

const char kDefault[] = "01 11 11 85 80 F4 88";

TEST_F(Tool, Examples) {
    auto r = tool({"GET", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "cmd = 0x8 \nVOLUME = 0x0\n");
    EXPECT_EQ(tool({"GET", "8", "99"}).out, "cmd = 0x8 \nVOLUME = 0x0\n");

    r = tool({"SET", "8", "300"});  // 300 is 44 in eight bits
    EXPECT_EQ(r.out, "cmd = 0x8 \nvalue = 0x2c \n QSCART_SetVolume() value = 0x2c\n");
    EXPECT_EQ(tool({"GET", "8"}).out, "cmd = 0x8 \nVOLUME = 0x2c\n");

    EXPECT_EQ(tool({"SET", "0", "5"}).out, "cmd = 0x0 \nvalue = 0x5 \n mute state = 0x5\n");
    EXPECT_EQ(tool({"GET", "0"}).out, "cmd = 0x0 \nMute state = 0x1\n");

    r = tool({"set", "8", "1"});
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.out, "ERROR: operation parameter not valid !!! \n");

    r = tool({"SET", "10", "1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "cmd = 0xa \nvalue = 0x1 \n");
    EXPECT_EQ(tool({"GET", "10"}).out, "cmd = 0xa \n");
    EXPECT_EQ(tool({"GET", "256"}).out, "cmd = 0x0 \nMute state = 0x1\n");  // low eight bits

    EXPECT_EQ(tool({"GET", "9"}).out, "cmd = 0x9 \nstatus = 0x0\n");
    ASSERT_EQ(box_.vbox({"scart", "status", "0x5a"}).status, 0);
    EXPECT_EQ(tool({"GET", "9"}).out, "cmd = 0x9 \nstatus = 0x5a\n");
    ASSERT_EQ(box_.vbox({"scart", "ack", "off"}).status, 0);  // the status read fails: -1
    EXPECT_EQ(tool({"GET", "9"}).out, "cmd = 0x9 \nstatus = 0xff\n");
}

TEST_F(Tool, UsageAndMissingValue) {
    const char usage[] =
        "\n\nusage: qscart-api-test p1 p2 p3\n\n"
        "             p1: action: SET/GET \n"
        "             p2: cmd\n"
        "             p3: value\n"
        "SET example: qscart-api-test SET  \n\n"
        "GET example: qscart-api-test GET  \n\n";
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"GET"}, {"SET", "1", "2", "3"}, {"SET", "8"}}) {
        auto r = tool(args);
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.out, usage);
    }
    EXPECT_EQ(chip(), kDefault);  // nothing was sent
}

struct SetRow {
    const char* cmd;
    const char* value;
    const char* line;  // after the cmd and value lines
    const char* regs;  // the chip afterwards, from the load-time values
};

// Every SET row once, from the load-time registers.
TEST_F(Tool, EverySetRow) {
    const SetRow rows[] = {
        {"0", "5", " mute state = 0x5", "01 00 11 85 80 F4 88"},
        {"1", "2", " QSCART_SetVcrAudio() value = 0x2", "01 21 11 85 80 F4 88"},
        {"2", "4", " QSCART_SetTvAudio() value = 0x4", "01 14 11 85 80 F4 88"},
        {"3", "3", " QSCART_SetVcrCvbsEnableOutput() value = 0x3", "01 11 31 85 80 F4 88"},
        {"4", "2", " QSCART_SetRGB() value = 0x2", "01 11 11 89 80 F4 88"},
        {"5", "0", " QSCART_SetTvEnableVideoOutput() value = 0x0", "01 11 10 85 80 F4 88"},
        {"6", "2", " QSCART_SetFBControl() value = 0x2", "01 11 11 86 80 F4 88"},
        {"7", "1", " QSCART_SetTvAspectRatio() value = 0x1", "01 11 11 85 80 D4 88"},
        {"8", "300", " QSCART_SetVolume() value = 0x2c", "2D 11 11 85 80 F4 88"},
        {"17", "1", " QSCART_SetTvChroma() value = 0x1", "01 11 11 85 81 F4 88"},
        {"18", "1", " QSCART_SetChromaGateOutPin() value = 0x1", "01 11 11 85 88 F4 88"},
        {"19", "1", " QSCART_SetVCRChroma() value = 0x1", "01 11 11 85 90 F4 88"},
        {"20", "1", " QSCART_SetSlowBlankingMode() value = 0x1", "01 11 11 85 C0 F4 88"},
        {"21", "0", " QSCART_SetInterrupt() value = 0x0", "01 11 11 85 00 F4 88"},
        {"22", "1", " QSCART_SetVcrAspectRatio() value = 0x1", "01 11 11 85 80 74 88"},
        {"23", "1", " QSCART_SetRGBExtraGain() value = 0x1", "01 11 11 C5 80 F4 88"},
        {"24", "3", " QSCART_SetRGBGain() value = 0x3", "01 11 11 B5 80 F4 88"},
        {"30", "1", " QSCART_SetTvStereo() value = 0x1", "81 11 11 85 80 F4 88"},
        {"31", "1", " QSCART_SetVcrStereo() value = 0x1", "01 91 11 85 80 F4 88"},
        {"32", "1", " QSCART_SetTvAudioGain() value = 0x1", "41 11 11 85 80 F4 88"},
        {"33", "1", " QSCART_SetCinchAudioGain() value = 0x1", "01 19 11 85 80 F4 88"},
        {"34", "2", " QSCART_SetEncoderAdjust() value = 0x2", "01 11 11 85 80 F8 88"},
        {"35", "1", " QSCART_SetEncoderClamp() value = 0x1", "01 11 11 85 80 F5 88"},
        {"36", "1", " QSCART_SetVcrClamp() value = 0x1", "01 11 11 85 80 F6 88"},
        {"37", "0", " QSCART_SetFBActive() value = 0x0", "01 11 11 05 80 F4 88"},
        {"38", "1", " QSCART_SetStandby() value = 0x1", "01 22 33 8B C0 34 A9"},
        {"39", "1", " QSCART_SetTvInputToVcrOutput() value = 0x1", "01 21 31 85 80 F4 88"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string("SET ") + row.cmd + " " + row.value);
        auto r = tool({"SET", row.cmd, row.value});
        EXPECT_EQ(r.status, 0);
        unsigned cmd = std::stoi(row.cmd) & 0xff, value = std::stoi(row.value) & 0xff;
        char head[64];
        snprintf(head, sizeof head, "cmd = 0x%x \nvalue = 0x%x \n", cmd, value);
        EXPECT_EQ(r.out, std::string(head) + row.line + "\n");
        EXPECT_EQ(chip(), row.regs);
        reload();
    }
}

TEST_F(Tool, EveryGetRow) {
    const std::pair<const char*, const char*> rows[] = {
        {"0", "Mute state = 0x0"},
        {"1", "VCR AUDIO state = 0x1"},
        {"2", "TV AUDIO state = 0x1"},
        {"3", "QSCART_GetVcrCvbsEnableOutput() = 0x1"},
        {"4", "RGB VIDEO state = 0x1"},
        {"5", "QSCART_GetTvEnableVideoOutput() = 0x1"},
        {"6", "FAST BLANKING state = 0x1"},
        {"7", "TV ASPECT RATIO FORMAT 4/3 16/9 = 0x3"},
        {"8", "VOLUME = 0x0"},
        {"9", "status = 0x0"},
        {"12", "VCR ASPECT RATIO 4/3 16/9 = 0x3"},
        {"13", "rgb extra gain = 0x0"},
        {"14", "rgb gain = 0x0"},
        {"32", "QSCART_GetTvAudioGain = 0x0"},
        {"33", "QSCART_GetCinchAudioGain = 0x0"},
        {"34", "QSCART_GetEncoderAdjust = 0x1"},
        {"35", "QSCART_GetEncoderClamp = 0x0"},
        {"36", "QSCART_GetVcrClamp = 0x0"},
        {"37", "QSCART_GetFBActive = 0x1"},
    };
    for (const auto& row : rows) {
        auto r = tool({"GET", row.first});
        char head[32];
        snprintf(head, sizeof head, "cmd = 0x%x \n", std::stoi(row.first));
        EXPECT_EQ(r.out, std::string(head) + row.second + "\n") << "GET " << row.first;
        EXPECT_EQ(r.status, 0);
    }
}

TEST_F(Tool, FailureLines) {
    EXPECT_EQ(tool({"SET", "8", "64"}).out, "cmd = 0x8 \nvalue = 0x40 \n QSCART_SetVolume() Error !!!\n");
    EXPECT_EQ(tool({"SET", "4", "3"}).out, "cmd = 0x4 \nvalue = 0x3 \n QSCART_SetRGB() Error !!!\n");
    ASSERT_EQ(box_.vbox({"scart", "ack", "off"}).status, 0);
    EXPECT_EQ(tool({"SET", "0", "1"}).out, "cmd = 0x0 \nvalue = 0x1 \n SCART_SetMute() Error !!!\n");
    EXPECT_EQ(tool({"SET", "0", "0"}).out, "cmd = 0x0 \nvalue = 0x0 \n QSCART_ResetMute() Error !!!\n");
    EXPECT_EQ(tool({"SET", "39", "1"}).out,
              "cmd = 0x27 \nvalue = 0x1 \nQSCART_SetTvInputToVcrOutput() Error !!!!!!!!!!\n");
    // No driver behind the node: the open fails, the run still ends with 0.
    ASSERT_EQ(box_.vbox({"rmmod", "st6413"}).status, 0);
    auto r = tool({"GET", "8"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "cmd = 0x8 \n QSCART_open() Error !!!\n");
}

}  // namespace
