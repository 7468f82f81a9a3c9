// libqscart end to end: a program linked with the library runs inside the
// virtual box against the real st6413 driver on the virtual chip.
#include <cstdlib>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "box_session.h"

namespace {

using hostns::lines;

class Library : public testing::Test {
protected:
    void SetUp() override {
        auto r = box_.start(vboxtest::default_boot());
        ASSERT_EQ(r.status, 0) << r.out << r.err;
    }
    std::vector<std::string> probe(std::vector<std::string> ops) {
        ops.insert(ops.begin(), QSCART_PROBE_BIN);
        auto r = box_.run(ops);
        EXPECT_EQ(r.status, 0) << r.err;
        return lines(r.out);
    }
    vboxtest::BoxSession box_;
};

TEST_F(Library, ValuesReachTheDriverAndComeBack) {
    EXPECT_EQ(probe({"open", "SetVolume:33", "GetVolume", "SetVolume:64", "GetVolume", "close"}),
              (std::vector<std::string>{"open=0 errno=0", "SetVolume=0 errno=0", "GetVolume=0 errno=0 v=32",
                                        "SetVolume=1010 errno=Invalid argument", "GetVolume=0 errno=0 v=32",
                                        "close=0 errno=0"}));
    // Mute, then a new TV source: silent until unmuted, as the driver keeps it.
    EXPECT_EQ(probe({"open", "SetMute", "SetTvAudio:4", "GetTvAudio", "GetMute", "ResetMute", "GetMute"}),
              (std::vector<std::string>{"open=0 errno=0", "SetMute=0 errno=0", "SetTvAudio=0 errno=0",
                                        "GetTvAudio=0 errno=0 v=4", "GetMute=0 errno=0 v=1", "ResetMute=0 errno=0",
                                        "GetMute=0 errno=0 v=0"}));
    EXPECT_EQ(lines(box_.vbox({"scart"}).out).at(0), "STV6413 at 0x4b: 21 14 11 85 80 F4 88");
}

// Each getter names itself by its code; a null pointer is the driver's EFAULT.
TEST_F(Library, EveryGetterHasItsCode) {
    const std::pair<const char*, int> getters[] = {{"GetStatus", 1002},
                                                   {"GetMute", 1050},
                                                   {"GetTvAudio", 1051},
                                                   {"GetVcrAudio", 1052},
                                                   {"GetVolume", 1053},
                                                   {"GetTvAspectRatio", 1054},
                                                   {"GetVcrAspectRatio", 1055},
                                                   {"GetFBControl", 1056},
                                                   {"GetRGB", 1057},
                                                   {"GetTvEnableVideoOutput", 1058},
                                                   {"GetVcrCvbsEnableOutput", 1059},
                                                   {"GetRGBExtraGain", 1060},
                                                   {"GetRGBGain", 1061},
                                                   {"GetSlowBlankingMode", 1065},
                                                   {"GetTvAudioGain", 1067},
                                                   {"GetCinchAudioGain", 1024},
                                                   {"GetEncoderAdjust", 1025},
                                                   {"GetEncoderClamp", 1070},
                                                   {"GetVcrClamp", 1071},
                                                   {"GetFBActive", 1072}};
    std::vector<std::string> ops = {"open"}, want = {"open=0 errno=0"};
    for (const auto& g : getters) {
        ops.push_back(std::string(g.first) + ":null");
        want.push_back(std::string(g.first) + "=" + std::to_string(g.second) + " errno=Bad address v=-7");
    }
    EXPECT_EQ(probe(ops), want);
}

// Each setting shows in its own getter and in no other, so a getter that
// sent another's command would show even among the one-bit settings.
TEST_F(Library, EachGetterReadsItsOwnSetting) {
    const std::string getters[] = {"GetStatus",
                                   "GetMute",
                                   "GetTvAudio",
                                   "GetVcrAudio",
                                   "GetVolume",
                                   "GetTvAspectRatio",
                                   "GetVcrAspectRatio",
                                   "GetFBControl",
                                   "GetRGB",
                                   "GetTvEnableVideoOutput",
                                   "GetVcrCvbsEnableOutput",
                                   "GetRGBExtraGain",
                                   "GetRGBGain",
                                   "GetSlowBlankingMode",
                                   "GetTvAudioGain",
                                   "GetCinchAudioGain",
                                   "GetEncoderAdjust",
                                   "GetEncoderClamp",
                                   "GetVcrClamp",
                                   "GetFBActive"};
    struct Step {
        std::string op;
        std::map<std::string, int> changed;
    };
    const Step steps[] = {
        {"SetVcrAudio:2", {{"GetVcrAudio", 2}}},
        {"SetTvAudio:4", {{"GetTvAudio", 4}}},
        {"SetVolume:40", {{"GetVolume", 40}}},
        {"SetTvAspectRatio:1", {{"GetTvAspectRatio", 1}}},
        {"SetVcrAspectRatio:2", {{"GetVcrAspectRatio", 2}}},
        {"SetFBControl:3", {{"GetFBControl", 3}}},
        {"SetRGB:2", {{"GetRGB", 2}}},
        {"SetTvEnableVideoOutput:3", {{"GetTvEnableVideoOutput", 3}}},
        {"SetVcrCvbsEnableOutput:2", {{"GetVcrCvbsEnableOutput", 2}}},
        {"SetRGBExtraGain:1", {{"GetRGBExtraGain", 1}}},
        {"SetRGBGain:2", {{"GetRGBGain", 2}}},
        {"SetSlowBlankingMode:1", {{"GetSlowBlankingMode", 0xC0}}},
        {"SetTvAudioGain:1", {{"GetTvAudioGain", 1}}},
        {"SetCinchAudioGain:1", {{"GetCinchAudioGain", 1}}},
        {"SetEncoderAdjust:2", {{"GetEncoderAdjust", 2}}},
        {"SetEncoderClamp:1", {{"GetEncoderClamp", 1}}},
        {"SetVcrClamp:1", {{"GetVcrClamp", 1}}},
        {"SetFBActive:0", {{"GetFBActive", 0}}},
        {"SetMute", {{"GetMute", 1}}},  // the audio getters still tell the sources
    };
    ASSERT_EQ(box_.vbox({"scart", "status", "0x5c"}).status, 0);
    std::vector<std::string> ops = {"open"};
    auto read_all = [&] { ops.insert(ops.end(), std::begin(getters), std::end(getters)); };
    read_all();
    for (const Step& step : steps) {
        ops.push_back(step.op);
        read_all();
    }
    auto out = probe(ops);
    ASSERT_EQ(out.size(), ops.size());
    size_t at = 1;
    auto values = [&] {
        std::map<std::string, int> all;
        for (const std::string& g : getters) {
            const std::string& line = out[at++];
            std::string head = g + "=0 errno=0 v=";
            EXPECT_EQ(line.rfind(head, 0), 0u) << line;
            all[g] = std::atoi(line.c_str() + head.size());
        }
        return all;
    };
    auto expected = values();
    EXPECT_EQ(expected["GetStatus"], 0x5c);
    for (const Step& step : steps) {
        SCOPED_TRACE(step.op);
        EXPECT_EQ(out[at++], step.op.substr(0, step.op.find(':')) + "=0 errno=0");
        for (const auto& [getter, value] : step.changed) {
            EXPECT_NE(expected[getter], value) << "the step changes nothing";
            expected[getter] = value;
        }
        EXPECT_EQ(values(), expected);
    }
}

// With the chip not acknowledging, every setter fails with its own code and
// EFAULT; the composite stops after its first command.
TEST_F(Library, EverySetterHasItsCode) {
    const std::pair<const char*, int> setters[] = {{"SetTvAudio", 1008},
                                                   {"SetVcrAudio", 1009},
                                                   {"SetVolume", 1010},
                                                   {"SetTvStereo", 1020},
                                                   {"SetVcrStereo", 1021},
                                                   {"SetTvAudioGain", 1023},
                                                   {"SetCinchAudioGain", 1024},
                                                   {"SetEncoderAdjust", 1025},
                                                   {"SetTvAspectRatio", 1003},
                                                   {"SetVcrAspectRatio", 1003},
                                                   {"SetFBControl", 1004},
                                                   {"SetRGB", 1005},
                                                   {"SetTvEnableVideoOutput", 1006},
                                                   {"SetVcrCvbsEnableOutput", 1007},
                                                   {"SetInterrupt", 1013},
                                                   {"SetRGBGain", 1015},
                                                   {"SetRGBExtraGain", 1014},
                                                   {"SetTvChroma", 1016},
                                                   {"SetChromaGateOutPin", 1017},
                                                   {"SetVCRChroma", 1018},
                                                   {"SetSlowBlankingMode", 1019},
                                                   {"SetEncoderClamp", 1026},
                                                   {"SetVcrClamp", 1027},
                                                   {"SetFBActive", 1028},
                                                   {"SetStandby", 1022},
                                                   {"SetTvInputToVcrOutput", 1009}};
    ASSERT_EQ(box_.vbox({"scart", "ack", "off"}).status, 0);
    std::vector<std::string> ops = {"open"}, want = {"open=0 errno=0"};
    for (const auto& s : setters) {
        ops.push_back(std::string(s.first) + ":1");
        want.push_back(std::string(s.first) + "=" + std::to_string(s.second) + " errno=Bad address");
    }
    ops.insert(ops.end(), {"SetMute", "ResetMute"});
    want.insert(want.end(), {"SetMute=1011 errno=Bad address", "ResetMute=1012 errno=Bad address"});
    EXPECT_EQ(probe(ops), want);
}

TEST_F(Library, TvInputToVcrOutputStopsAtTheFirstFailure) {
    EXPECT_EQ(probe({"open", "SetTvInputToVcrOutput:1", "GetVcrAudio", "GetVcrCvbsEnableOutput"}),
              (std::vector<std::string>{"open=0 errno=0", "SetTvInputToVcrOutput=0 errno=0",
                                        "GetVcrAudio=0 errno=0 v=2", "GetVcrCvbsEnableOutput=0 errno=0 v=3"}));
    auto writes = [&] { return lines(box_.vbox({"scart"}).out).at(1); };
    std::string before = writes();
    ASSERT_EQ(box_.vbox({"scart", "ack", "off"}).status, 0);
    EXPECT_EQ(probe({"open", "SetTvInputToVcrOutput:0"}),
              (std::vector<std::string>{"open=0 errno=0", "SetTvInputToVcrOutput=1009 errno=Bad address"}));
    // One refused bus write: the video command was never sent.
    int n_before = std::stoi(before.substr(before.rfind(' ') + 1));
    std::string after = writes();
    EXPECT_EQ(std::stoi(after.substr(after.rfind(' ') + 1)), n_before + 1) << before << " / " << after;
}

TEST_F(Library, OpenTwiceKeepsOneDescriptorAndCloseIsFinal) {
    auto out = probe({"fds", "open", "fds", "open", "fds", "close", "fds", "GetVolume", "close"});
    ASSERT_EQ(out.size(), 9u);
    int base = std::stoi(out[0].substr(4));
    EXPECT_EQ(out[2], "fds=" + std::to_string(base + 1));
    EXPECT_EQ(out[4], out[2]);  // the second open took no descriptor
    EXPECT_EQ(out[6], out[0]);
    // After close the library no longer uses the old number.
    EXPECT_EQ(out[7], "GetVolume=1053 errno=Bad file descriptor v=-7");
    EXPECT_EQ(out[8], "close=0 errno=0");
}

TEST(LibraryWithoutNode, OpenFailsAndCloseStillSucceeds) {
    vboxtest::BoxSession box;
    ASSERT_EQ(box.start("insmod st6413\n").status, 0);
    auto r = box.run({QSCART_PROBE_BIN, "open", "GetVolume", "SetVolume:2", "close"});
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"open=1001 errno=No such file or directory",
                                                      "GetVolume=1053 errno=Bad file descriptor v=-7",
                                                      "SetVolume=1010 errno=Bad file descriptor", "close=0 errno=0"}));
}

}  // namespace
