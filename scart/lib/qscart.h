/*
 * libqscart: control of the box's SCART switch through its driver
 * ("/dev/scart-0"). One process-wide device descriptor; every function is
 * one driver command. Each returns 0 on success, otherwise its own error
 * code (listed with it), and leaves errno as the failing call set it
 * (EINVAL: value refused by the driver; EFAULT: bad pointer or the chip did
 * not take the write). Values mean what the driver's fields mean.
 */
#ifndef QSCART_H
#define QSCART_H

#ifdef __cplusplus
extern "C" {
#endif

/* Opens "/dev/scart-0" read-only (1001 on failure); a second call while
   open keeps the descriptor it has. */
int QSCART_open(void);
/* Releases the descriptor; always 0. */
int QSCART_close(void);

int QSCART_SetMute(void);                     /* mutes both connectors: 1011 */
int QSCART_ResetMute(void);                   /* unmutes: 1012 */
int QSCART_SetTvAudio(int value);             /* TV audio source 1, 2, 4: 1008 */
int QSCART_SetVcrAudio(int value);            /* VCR audio source 1, 2: 1009 */
int QSCART_SetVolume(int value);              /* 0..63, in steps of two: 1010 */
int QSCART_SetTvStereo(int value);            /* 1020 */
int QSCART_SetVcrStereo(int value);           /* 1021 */
int QSCART_SetTvAudioGain(int value);         /* 1023 */
int QSCART_SetCinchAudioGain(int value);      /* 1024 */
int QSCART_SetEncoderAdjust(int value);       /* audio input adjust: 1025 */
int QSCART_SetTvAspectRatio(int value);       /* TV slow blanking 0..3: 1003 */
int QSCART_SetVcrAspectRatio(int value);      /* VCR slow blanking 0..3: 1003 */
int QSCART_SetFBControl(int value);           /* fast blanking 0..3: 1004 */
int QSCART_SetRGB(int value);                 /* RGB switch 0..2: 1005 */
int QSCART_SetTvEnableVideoOutput(int value); /* TV video switch 0..3: 1006 */
int QSCART_SetVcrCvbsEnableOutput(int value); /* VCR video switch 0..3: 1007 */
int QSCART_SetInterrupt(int value);           /* misc bit 7: 1013 */
int QSCART_SetRGBGain(int value);             /* 1015 */
int QSCART_SetRGBExtraGain(int value);        /* 1014 */
int QSCART_SetTvChroma(int value);            /* misc bit 0: 1016 */
int QSCART_SetChromaGateOutPin(int value);    /* misc bit 3: 1017 */
int QSCART_SetVCRChroma(int value);           /* misc bit 4: 1018 */
int QSCART_SetSlowBlankingMode(int value);    /* misc bit 6: 1019 */
int QSCART_SetEncoderClamp(int value);        /* 1026 */
int QSCART_SetVcrClamp(int value);            /* 1027 */
int QSCART_SetFBActive(int value);            /* 1028 */
int QSCART_SetStandby(int value);             /* global standby: 1022 */

/* Getters store the value at *value. */
int QSCART_GetStatus(int* value);              /* chip status byte, -1 if unread: 1002 */
int QSCART_GetMute(int* value);                /* 1050 */
int QSCART_GetTvAudio(int* value);             /* 1051 */
int QSCART_GetVcrAudio(int* value);            /* 1052 */
int QSCART_GetVolume(int* value);              /* 1053 */
int QSCART_GetTvAspectRatio(int* value);       /* 1054 */
int QSCART_GetVcrAspectRatio(int* value);      /* 1055 */
int QSCART_GetFBControl(int* value);           /* 1056 */
int QSCART_GetRGB(int* value);                 /* 1057 */
int QSCART_GetTvEnableVideoOutput(int* value); /* 1058 */
int QSCART_GetVcrCvbsEnableOutput(int* value); /* 1059 */
int QSCART_GetRGBExtraGain(int* value);        /* 1060 */
int QSCART_GetRGBGain(int* value);             /* 1061 */
int QSCART_GetSlowBlankingMode(int* value);    /* the whole misc register: 1065 */
int QSCART_GetTvAudioGain(int* value);         /* 1067 */
int QSCART_GetCinchAudioGain(int* value);      /* 1024 */
int QSCART_GetEncoderAdjust(int* value);       /* 1025 */
int QSCART_GetEncoderClamp(int* value);        /* 1070 */
int QSCART_GetVcrClamp(int* value);            /* 1071 */
int QSCART_GetFBActive(int* value);            /* 1072 */

/* The TV connector's input through to the VCR connector (flag non-zero:
   VCR audio 2 and VCR video 3; zero: both back to 1). Stops at the first
   failure and returns its code (1009 or 1007). */
int QSCART_SetTvInputToVcrOutput(int flag);

#ifdef __cplusplus
}
#endif

#endif
