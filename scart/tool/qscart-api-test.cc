// qscart-api-test: one SCART switch operation from the shell, by number.
//   qscart-api-test SET|GET CMD [VALUE]
// Opens the device through libqscart, sets or reads the setting CMD,
// prints the outcome and closes the device.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qscart.h"

namespace {

struct SetEntry {
    unsigned char cmd;
    int (*call)(int);
    const char* fail;
    const char* done;
};

struct GetEntry {
    unsigned char cmd;
    int (*call)(int*);
    const char* fail;
    const char* done;
};

// SET 0 picks mute or unmute by the value; it has its own lines.
int set_mute(int value) { return value ? QSCART_SetMute() : QSCART_ResetMute(); }

const SetEntry set_table[] = {
    {0, set_mute, nullptr, " mute state = 0x%x\n"},
    {1, QSCART_SetVcrAudio, " QSCART_SetVcrAudio() Error !!!", " QSCART_SetVcrAudio() value = 0x%x\n"},
    {2, QSCART_SetTvAudio, " QSCART_SetTvAudio() Error !!!", " QSCART_SetTvAudio() value = 0x%x\n"},
    {3, QSCART_SetVcrCvbsEnableOutput, " QSCART_SetVcrCvbsEnableOutput() Error !!!",
     " QSCART_SetVcrCvbsEnableOutput() value = 0x%x\n"},
    {4, QSCART_SetRGB, " QSCART_SetRGB() Error !!!", " QSCART_SetRGB() value = 0x%x\n"},
    {5, QSCART_SetTvEnableVideoOutput, " QSCART_SetTvEnableVideoOutput() Error !!!",
     " QSCART_SetTvEnableVideoOutput() value = 0x%x\n"},
    {6, QSCART_SetFBControl, " QSCART_SetFBControl() Error !!!", " QSCART_SetFBControl() value = 0x%x\n"},
    {7, QSCART_SetTvAspectRatio, " QSCART_SetTvAspectRatio() Error !!!", " QSCART_SetTvAspectRatio() value = 0x%x\n"},
    {8, QSCART_SetVolume, " QSCART_SetVolume() Error !!!", " QSCART_SetVolume() value = 0x%x\n"},
    {17, QSCART_SetTvChroma, " QSCART_SetTvChroma() Error !!!", " QSCART_SetTvChroma() value = 0x%x\n"},
    {18, QSCART_SetChromaGateOutPin, " QSCART_SetChromaGateOutPin() Error !!!",
     " QSCART_SetChromaGateOutPin() value = 0x%x\n"},
    {19, QSCART_SetVCRChroma, " QSCART_SetVCRChroma() Error !!!", " QSCART_SetVCRChroma() value = 0x%x\n"},
    {20, QSCART_SetSlowBlankingMode, " QSCART_SetSlowBlankingMode() Error !!!",
     " QSCART_SetSlowBlankingMode() value = 0x%x\n"},
    {21, QSCART_SetInterrupt, " QSCART_SetInterrupt() Error !!!", " QSCART_SetInterrupt() value = 0x%x\n"},
    {22, QSCART_SetVcrAspectRatio, " QSCART_SetVcrAspectRatio() Error !!!",
     " QSCART_SetVcrAspectRatio() value = 0x%x\n"},
    {23, QSCART_SetRGBExtraGain, " QSCART_SetRGBExtraGain() Error !!!", " QSCART_SetRGBExtraGain() value = 0x%x\n"},
    {24, QSCART_SetRGBGain, " QSCART_SetRGBGain() Error !!!", " QSCART_SetRGBGain() value = 0x%x\n"},
    {30, QSCART_SetTvStereo, " QSCART_SetTvStereo() Error !!!", " QSCART_SetTvStereo() value = 0x%x\n"},
    {31, QSCART_SetVcrStereo, " QSCART_SetVcrStereo() Error !!!", " QSCART_SetVcrStereo() value = 0x%x\n"},
    {32, QSCART_SetTvAudioGain, " QSCART_SetTvAudioGain() Error !!!", " QSCART_SetTvAudioGain() value = 0x%x\n"},
    {33, QSCART_SetCinchAudioGain, " QSCART_SetCinchAudioGain() Error !!!",
     " QSCART_SetCinchAudioGain() value = 0x%x\n"},
    {34, QSCART_SetEncoderAdjust, " QSCART_SetEncoderAdjust() Error !!!", " QSCART_SetEncoderAdjust() value = 0x%x\n"},
    {35, QSCART_SetEncoderClamp, " QSCART_SetEncoderClamp() Error !!!", " QSCART_SetEncoderClamp() value = 0x%x\n"},
    {36, QSCART_SetVcrClamp, " QSCART_SetVcrClamp() Error !!!", " QSCART_SetVcrClamp() value = 0x%x\n"},
    {37, QSCART_SetFBActive, " QSCART_SetFBActive() Error !!!", " QSCART_SetFBActive() value = 0x%x\n"},
    {38, QSCART_SetStandby, " QSCART_SetStandby() Error !!!", " QSCART_SetStandby() value = 0x%x\n"},
    {39, QSCART_SetTvInputToVcrOutput, "QSCART_SetTvInputToVcrOutput() Error !!!!!!!!!!",
     " QSCART_SetTvInputToVcrOutput() value = 0x%x\n"},
};

const GetEntry get_table[] = {
    {0, QSCART_GetMute, "QSCART_GetMute() Error !!!!!!!!!!", "Mute state = 0x%x\n"},
    {1, QSCART_GetVcrAudio, "QSCART_GetVcrAudio() Error !!!!!!!!!!", "VCR AUDIO state = 0x%x\n"},
    {2, QSCART_GetTvAudio, "QSCART_GetTvAudio() Error !!!!!!!!!!", "TV AUDIO state = 0x%x\n"},
    {3, QSCART_GetVcrCvbsEnableOutput, "QSCART_GetVcrCvbsEnableOutput() Error !!!!!!!!!!",
     "QSCART_GetVcrCvbsEnableOutput() = 0x%x\n"},
    {4, QSCART_GetRGB, "QSCART_GetRGB() Error !!!!!!!!!!", "RGB VIDEO state = 0x%x\n"},
    {5, QSCART_GetTvEnableVideoOutput, "QSCART_GetTvEnableVideoOutput() Error !!!!!!!!!!",
     "QSCART_GetTvEnableVideoOutput() = 0x%x\n"},
    {6, QSCART_GetFBControl, "QSCART_GetFBControl() Error !!!!!!!!!!", "FAST BLANKING state = 0x%x\n"},
    {7, QSCART_GetTvAspectRatio, "QSCART_GetTvAspectRatio() Error !!!!!!!!!!",
     "TV ASPECT RATIO FORMAT 4/3 16/9 = 0x%x\n"},
    {8, QSCART_GetVolume, "QSCART_GetVolume() Error !!!!!!!!!!", "VOLUME = 0x%x\n"},
    {9, QSCART_GetStatus, "QSCART_GetStatus() Error !!!!!!!!!!", "status = 0x%x\n"},
    {12, QSCART_GetVcrAspectRatio, "QSCART_GetVcrAspectRatio() Error !!!!!!!!!!", "VCR ASPECT RATIO 4/3 16/9 = 0x%x\n"},
    {13, QSCART_GetRGBExtraGain, "QSCART_GetRGBExtraGain() Error !!!!!!!!!!", "rgb extra gain = 0x%x\n"},
    {14, QSCART_GetRGBGain, "QSCART_GetRGBGain() Error !!!!!!!!!!", "rgb gain = 0x%x\n"},
    {32, QSCART_GetTvAudioGain, "QSCART_GetTvAudioGain() Error !!!!!!!!!!", "QSCART_GetTvAudioGain = 0x%x\n"},
    {33, QSCART_GetCinchAudioGain, "QSCART_GetCinchAudioGain() Error !!!!!!!!!!", "QSCART_GetCinchAudioGain = 0x%x\n"},
    {34, QSCART_GetEncoderAdjust, "QSCART_GetEncoderAdjust() Error !!!!!!!!!!", "QSCART_GetEncoderAdjust = 0x%x\n"},
    {35, QSCART_GetEncoderClamp, "QSCART_GetEncoderClamp() Error !!!!!!!!!!", "QSCART_GetEncoderClamp = 0x%x\n"},
    {36, QSCART_GetVcrClamp, "QSCART_GetVcrClamp() Error !!!!!!!!!!", "QSCART_GetVcrClamp = 0x%x\n"},
    {37, QSCART_GetFBActive, "QSCART_GetFBActive() Error !!!!!!!!!!", "QSCART_GetFBActive = 0x%x\n"},
};

int usage() {
    puts("\n\nusage: qscart-api-test p1 p2 p3\n");
    puts("             p1: action: SET/GET ");
    puts("             p2: cmd");
    puts("             p3: value");
    puts("SET example: qscart-api-test SET  \n");
    puts("GET example: qscart-api-test GET  \n");
    return -1;
}

void do_set(unsigned cmd, unsigned value) {
    for (const SetEntry& e : set_table) {
        if (e.cmd != cmd) continue;
        if (e.call(static_cast<int>(value)) != 0)
            puts(e.fail ? e.fail : value ? " SCART_SetMute() Error !!!" : " QSCART_ResetMute() Error !!!");
        else printf(e.done, value);
        return;
    }
}

void do_get(unsigned cmd) {
    for (const GetEntry& e : get_table) {
        if (e.cmd != cmd) continue;
        int v = 0;
        if (e.call(&v) != 0) puts(e.fail);
        else printf(e.done, static_cast<unsigned>(v) & 0xff);
        return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) return usage();
    bool get = strcmp(argv[1], "GET") == 0;
    if (!get && strcmp(argv[1], "SET") != 0) {
        puts("ERROR: operation parameter not valid !!! ");
        return -1;
    }
    // A SET without its value would send whatever happened to be there.
    if (!get && argc != 4) return usage();
    unsigned cmd = static_cast<unsigned>(atoi(argv[2])) & 0xff;
    printf("cmd = 0x%x \n", cmd);
    unsigned value = 0;
    if (!get) {
        value = static_cast<unsigned>(atoi(argv[3])) & 0xff;
        printf("value = 0x%x \n", value);
    }
    if (QSCART_open() != 0) {
        puts(" QSCART_open() Error !!!");
    } else if (get) {
        do_get(cmd);
    } else {
        do_set(cmd, value);
    }
    while (QSCART_close() != 0) puts("QSCART_close() Error !!!");
    return 0;
}
