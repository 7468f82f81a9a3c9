/*
 * A program of the box for the library's tests: calls libqscart functions
 * named on its command line and prints each result with errno.
 *   qscart_probe OP...
 *   open | close | fds | NAME:VALUE (setters) | NAME (getters) | NAME:null
 * NAME is the function's name without "QSCART_".
 */
#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qscart.h"

#define SET(n)                       \
	{                            \
#n, QSCART_##n, NULL \
	}
#define GET(n)                       \
	{                            \
#n, NULL, QSCART_##n \
	}

static const struct {
	const char *name;
	int (*set)(int);
	int (*get)(int *);
} fns[] = {
	SET(SetTvAudio),
	SET(SetVcrAudio),
	SET(SetVolume),
	SET(SetTvStereo),
	SET(SetVcrStereo),
	SET(SetTvAudioGain),
	SET(SetCinchAudioGain),
	SET(SetEncoderAdjust),
	SET(SetTvAspectRatio),
	SET(SetVcrAspectRatio),
	SET(SetFBControl),
	SET(SetRGB),
	SET(SetTvEnableVideoOutput),
	SET(SetVcrCvbsEnableOutput),
	SET(SetInterrupt),
	SET(SetRGBGain),
	SET(SetRGBExtraGain),
	SET(SetTvChroma),
	SET(SetChromaGateOutPin),
	SET(SetVCRChroma),
	SET(SetSlowBlankingMode),
	SET(SetEncoderClamp),
	SET(SetVcrClamp),
	SET(SetFBActive),
	SET(SetStandby),
	SET(SetTvInputToVcrOutput),
	GET(GetStatus),
	GET(GetMute),
	GET(GetTvAudio),
	GET(GetVcrAudio),
	GET(GetVolume),
	GET(GetTvAspectRatio),
	GET(GetVcrAspectRatio),
	GET(GetFBControl),
	GET(GetRGB),
	GET(GetTvEnableVideoOutput),
	GET(GetVcrCvbsEnableOutput),
	GET(GetRGBExtraGain),
	GET(GetRGBGain),
	GET(GetSlowBlankingMode),
	GET(GetTvAudioGain),
	GET(GetCinchAudioGain),
	GET(GetEncoderAdjust),
	GET(GetEncoderClamp),
	GET(GetVcrClamp),
	GET(GetFBActive),
};

static void show(const char *op, int r, int err)
{
	printf("%s=%d errno=%s", op, r, r ? strerror(err) : "0");
}

static int open_fds(void)
{
	int n = 0;
	DIR *d = opendir("/proc/self/fd");
	for (struct dirent *e; d && (e = readdir(d));)
		n += e->d_name[0] != '.';
	if (d)
		closedir(d);
	return n;
}

int main(int argc, char **argv)
{
	for (int i = 1; i < argc; i++) {
		char op[64];
		snprintf(op, sizeof op, "%s", argv[i]);
		char *arg = strchr(op, ':');
		if (arg)
			*arg++ = 0;
		int r = -1;
		errno = 0;
		if (strcmp(op, "open") == 0) {
			r = QSCART_open();
			show(op, r, errno);
		} else if (strcmp(op, "close") == 0) {
			r = QSCART_close();
			show(op, r, errno);
		} else if (strcmp(op, "fds") == 0) {
			printf("fds=%d", open_fds());
		} else if (strcmp(op, "SetMute") == 0 ||
			   strcmp(op, "ResetMute") == 0) {
			r = op[0] == 'S' ? QSCART_SetMute() :
					   QSCART_ResetMute();
			show(op, r, errno);
		} else {
			size_t k;
			for (k = 0; k < sizeof fns / sizeof fns[0]; k++)
				if (strcmp(fns[k].name, op) == 0)
					break;
			if (k == sizeof fns / sizeof fns[0]) {
				fprintf(stderr, "qscart_probe: unknown op %s\n",
					op);
				return 2;
			}
			if (fns[k].set) {
				r = fns[k].set(arg ? atoi(arg) : 0);
				show(op, r, errno);
			} else {
				int v = -7;
				r = fns[k].get(arg && strcmp(arg, "null") == 0 ?
						       NULL :
						       &v);
				show(op, r, errno);
				printf(" v=%d", v);
			}
		}
		putchar('\n');
	}
	return 0;
}
