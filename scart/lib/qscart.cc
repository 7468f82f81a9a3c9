// libqscart: each function is one command of the st6413 driver on the
// process-wide descriptor. The driver keeps every setting; the library only
// opens the device and turns a failed command into the function's own code.
#include "qscart.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "st6413.h"

#define QSCART_API extern "C" __attribute__((visibility("default")))

namespace {

// The descriptor, -1 while the device is not open: a call made before
// QSCART_open or after QSCART_close fails with EBADF instead of reaching
// whatever file the process has under a stale number.
int scart_fd = -1;

bool closed() {
    if (scart_fd >= 0) return false;
    errno = EBADF;
    return true;
}

int set(unsigned cmd, int value, int code) {
    int v = value;  // the driver reads one 32-bit integer from our memory
    return closed() || ioctl(scart_fd, cmd, &v) < 0 ? code : 0;
}

int get(unsigned cmd, int* value, int code) { return closed() || ioctl(scart_fd, cmd, value) < 0 ? code : 0; }

}  // namespace

QSCART_API int QSCART_open(void) {
    if (scart_fd >= 0) return 0;  // opened already: keep it, leak nothing
    scart_fd = open("/dev/scart-0", O_RDONLY);
    return scart_fd < 0 ? 1001 : 0;
}

QSCART_API int QSCART_close(void) {
    if (scart_fd >= 0) close(scart_fd);
    scart_fd = -1;
    return 0;
}

#define SETTER(name, cmd, code)                                                                                        \
    QSCART_API int name(int value) { return set(cmd, value, code); }
#define GETTER(name, cmd, code)                                                                                        \
    QSCART_API int name(int* value) { return get(cmd, value, code); }

QSCART_API int QSCART_SetMute(void) { return set(AVSIOSMUTE, 1, 1011); }
QSCART_API int QSCART_ResetMute(void) { return set(AVSIOSMUTE, 0, 1012); }

SETTER(QSCART_SetTvAudio, AVSIOSASW2, 1008)
SETTER(QSCART_SetVcrAudio, AVSIOSASW0, 1009)
SETTER(QSCART_SetVolume, AVSIOSVOLUME, 1010)
SETTER(QSCART_SetTvStereo, AVSIOSTVSTEREO, 1020)
SETTER(QSCART_SetVcrStereo, AVSIOSVCRSTEREO, 1021)
SETTER(QSCART_SetTvAudioGain, AVSIOSTVAUDIOGAIN, 1023)
SETTER(QSCART_SetCinchAudioGain, AVSIOSCINCHAUDIOGAIN, 1024)
SETTER(QSCART_SetEncoderAdjust, AVSIOSAUDIOINPUTADJUST, 1025)
SETTER(QSCART_SetTvAspectRatio, AVSIOSTSB, 1003)
SETTER(QSCART_SetVcrAspectRatio, AVSIOSTSBVCR, 1003)
SETTER(QSCART_SetFBControl, AVSIOSFBLK, 1004)
SETTER(QSCART_SetRGB, AVSIOSVSW1, 1005)
SETTER(QSCART_SetTvEnableVideoOutput, AVSIOSVSW2, 1006)
SETTER(QSCART_SetVcrCvbsEnableOutput, AVSIOSVSW0, 1007)
SETTER(QSCART_SetInterrupt, AVSIOSMISC7, 1013)
SETTER(QSCART_SetRGBGain, AVSIOSRGBGAIN, 1015)
SETTER(QSCART_SetRGBExtraGain, AVSIOSRGBEXTRAGAIN, 1014)
SETTER(QSCART_SetTvChroma, AVSIOSMISC0, 1016)
SETTER(QSCART_SetChromaGateOutPin, AVSIOSMISC3, 1017)
SETTER(QSCART_SetVCRChroma, AVSIOSMISC4, 1018)
SETTER(QSCART_SetSlowBlankingMode, AVSIOSMISC6, 1019)
SETTER(QSCART_SetEncoderClamp, AVSIOSENCODERCLAMP, 1026)
SETTER(QSCART_SetVcrClamp, AVSIOSVCRCLAMP, 1027)
SETTER(QSCART_SetFBActive, AVSIOSFBACTIVE, 1028)
SETTER(QSCART_SetStandby, AVSIOSGLOBALSTANDBY, 1022)

GETTER(QSCART_GetStatus, AVSIOGSTATUS, 1002)
GETTER(QSCART_GetMute, AVSIOGMUTE, 1050)
GETTER(QSCART_GetTvAudio, AVSIOGASW2, 1051)
GETTER(QSCART_GetVcrAudio, AVSIOGASW0, 1052)
GETTER(QSCART_GetVolume, AVSIOGVOLUME, 1053)
GETTER(QSCART_GetTvAspectRatio, AVSIOGTSB, 1054)
GETTER(QSCART_GetVcrAspectRatio, AVSIOGTSBVCR, 1055)
GETTER(QSCART_GetFBControl, AVSIOGFBLK, 1056)
GETTER(QSCART_GetRGB, AVSIOGVSW1, 1057)
GETTER(QSCART_GetTvEnableVideoOutput, AVSIOGVSW2, 1058)
GETTER(QSCART_GetVcrCvbsEnableOutput, AVSIOGVSW0, 1059)
GETTER(QSCART_GetRGBExtraGain, AVSIOGRGBEXTRAGAIN, 1060)
GETTER(QSCART_GetRGBGain, AVSIOGRGBGAIN, 1061)
GETTER(QSCART_GetSlowBlankingMode, AVSIOGMISC, 1065)
GETTER(QSCART_GetTvAudioGain, AVSIOGTVAUDIOGAIN, 1067)
GETTER(QSCART_GetCinchAudioGain, AVSIOGCINCHAUDIOGAIN, 1024)
GETTER(QSCART_GetEncoderAdjust, AVSIOGAUDIOINPUTADJUST, 1025)
GETTER(QSCART_GetEncoderClamp, AVSIOGENCODERCLAMP, 1070)
GETTER(QSCART_GetVcrClamp, AVSIOGVCRCLAMP, 1071)
GETTER(QSCART_GetFBActive, AVSIOGFBACTIVE, 1072)

QSCART_API int QSCART_SetTvInputToVcrOutput(int flag) {
    int r = QSCART_SetVcrAudio(flag ? 2 : 1);
    return r ? r : QSCART_SetVcrCvbsEnableOutput(flag ? 3 : 1);
}
