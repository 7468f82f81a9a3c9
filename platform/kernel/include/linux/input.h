#ifndef _INPUT_H
#define _INPUT_H

/* The 2.4 input core: devices report events (keys, relative motion,
 * LEDs, auto-repeat settings), the core filters them by the device's
 * capabilities and key state, repeats held keys, and hands them to the
 * event device (char major 13, minors 64 and up) that user space reads. */

#include <linux/time.h>
#include <linux/timer.h>

/* What a reader of the event device gets, one record per event. */
struct input_event {
	struct timeval time;
	__u16 type;
	__u16 code;
	__s32 value;
};

#define EV_VERSION 0x010000

/* Event types. 2.4 has no EV_SYN: type 0 is the reset event. */
#define EV_RST	     0x00
#define EV_KEY	     0x01
#define EV_REL	     0x02
#define EV_ABS	     0x03
#define EV_MSC	     0x04
#define EV_LED	     0x11
#define EV_SND	     0x12
#define EV_REP	     0x14
#define EV_FF	     0x15
#define EV_PWR	     0x16
#define EV_FF_STATUS 0x17
#define EV_MAX	     0x1f

/* Keys and buttons. */
#define KEY_RESERVED	   0
#define KEY_ESC		   1
#define KEY_1		   2
#define KEY_2		   3
#define KEY_3		   4
#define KEY_4		   5
#define KEY_5		   6
#define KEY_6		   7
#define KEY_7		   8
#define KEY_8		   9
#define KEY_9		   10
#define KEY_0		   11
#define KEY_MINUS	   12
#define KEY_EQUAL	   13
#define KEY_BACKSPACE	   14
#define KEY_TAB		   15
#define KEY_Q		   16
#define KEY_W		   17
#define KEY_E		   18
#define KEY_R		   19
#define KEY_T		   20
#define KEY_Y		   21
#define KEY_U		   22
#define KEY_I		   23
#define KEY_O		   24
#define KEY_P		   25
#define KEY_LEFTBRACE	   26
#define KEY_RIGHTBRACE	   27
#define KEY_ENTER	   28
#define KEY_LEFTCTRL	   29
#define KEY_A		   30
#define KEY_S		   31
#define KEY_D		   32
#define KEY_F		   33
#define KEY_G		   34
#define KEY_H		   35
#define KEY_J		   36
#define KEY_K		   37
#define KEY_L		   38
#define KEY_SEMICOLON	   39
#define KEY_APOSTROPHE	   40
#define KEY_GRAVE	   41
#define KEY_LEFTSHIFT	   42
#define KEY_BACKSLASH	   43
#define KEY_Z		   44
#define KEY_X		   45
#define KEY_C		   46
#define KEY_V		   47
#define KEY_B		   48
#define KEY_N		   49
#define KEY_M		   50
#define KEY_COMMA	   51
#define KEY_DOT		   52
#define KEY_SLASH	   53
#define KEY_RIGHTSHIFT	   54
#define KEY_KPASTERISK	   55
#define KEY_LEFTALT	   56
#define KEY_SPACE	   57
#define KEY_CAPSLOCK	   58
#define KEY_F1		   59
#define KEY_F2		   60
#define KEY_F3		   61
#define KEY_F4		   62
#define KEY_F5		   63
#define KEY_F6		   64
#define KEY_F7		   65
#define KEY_F8		   66
#define KEY_F9		   67
#define KEY_F10		   68
#define KEY_NUMLOCK	   69
#define KEY_SCROLLLOCK	   70
#define KEY_KP7		   71
#define KEY_KP8		   72
#define KEY_KP9		   73
#define KEY_KPMINUS	   74
#define KEY_KP4		   75
#define KEY_KP5		   76
#define KEY_KP6		   77
#define KEY_KPPLUS	   78
#define KEY_KP1		   79
#define KEY_KP2		   80
#define KEY_KP3		   81
#define KEY_KP0		   82
#define KEY_KPDOT	   83
#define KEY_103RD	   84
#define KEY_F13		   85
#define KEY_102ND	   86
#define KEY_F11		   87
#define KEY_F12		   88
#define KEY_F14		   89
#define KEY_F15		   90
#define KEY_F16		   91
#define KEY_F17		   92
#define KEY_F18		   93
#define KEY_F19		   94
#define KEY_F20		   95
#define KEY_KPENTER	   96
#define KEY_RIGHTCTRL	   97
#define KEY_KPSLASH	   98
#define KEY_SYSRQ	   99
#define KEY_RIGHTALT	   100
#define KEY_LINEFEED	   101
#define KEY_HOME	   102
#define KEY_UP		   103
#define KEY_PAGEUP	   104
#define KEY_LEFT	   105
#define KEY_RIGHT	   106
#define KEY_END		   107
#define KEY_DOWN	   108
#define KEY_PAGEDOWN	   109
#define KEY_INSERT	   110
#define KEY_DELETE	   111
#define KEY_MACRO	   112
#define KEY_MUTE	   113
#define KEY_VOLUMEDOWN	   114
#define KEY_VOLUMEUP	   115
#define KEY_POWER	   116
#define KEY_KPEQUAL	   117
#define KEY_KPPLUSMINUS	   118
#define KEY_PAUSE	   119
#define KEY_F21		   120
#define KEY_F22		   121
#define KEY_F23		   122
#define KEY_F24		   123
#define KEY_KPCOMMA	   124
#define KEY_LEFTMETA	   125
#define KEY_RIGHTMETA	   126
#define KEY_COMPOSE	   127
#define KEY_STOP	   128
#define KEY_AGAIN	   129
#define KEY_PROPS	   130
#define KEY_UNDO	   131
#define KEY_FRONT	   132
#define KEY_COPY	   133
#define KEY_OPEN	   134
#define KEY_PASTE	   135
#define KEY_FIND	   136
#define KEY_CUT		   137
#define KEY_HELP	   138
#define KEY_MENU	   139
#define KEY_CALC	   140
#define KEY_SETUP	   141
#define KEY_SLEEP	   142
#define KEY_WAKEUP	   143
#define KEY_FILE	   144
#define KEY_SENDFILE	   145
#define KEY_DELETEFILE	   146
#define KEY_XFER	   147
#define KEY_PROG1	   148
#define KEY_PROG2	   149
#define KEY_WWW		   150
#define KEY_MSDOS	   151
#define KEY_COFFEE	   152
#define KEY_DIRECTION	   153
#define KEY_CYCLEWINDOWS   154
#define KEY_MAIL	   155
#define KEY_BOOKMARKS	   156
#define KEY_COMPUTER	   157
#define KEY_BACK	   158
#define KEY_FORWARD	   159
#define KEY_CLOSECD	   160
#define KEY_EJECTCD	   161
#define KEY_EJECTCLOSECD   162
#define KEY_NEXTSONG	   163
#define KEY_PLAYPAUSE	   164
#define KEY_PREVIOUSSONG   165
#define KEY_STOPCD	   166
#define KEY_RECORD	   167
#define KEY_REWIND	   168
#define KEY_PHONE	   169
#define KEY_ISO		   170
#define KEY_CONFIG	   171
#define KEY_HOMEPAGE	   172
#define KEY_REFRESH	   173
#define KEY_EXIT	   174
#define KEY_MOVE	   175
#define KEY_EDIT	   176
#define KEY_SCROLLUP	   177
#define KEY_SCROLLDOWN	   178
#define KEY_KPLEFTPAREN	   179
#define KEY_KPRIGHTPAREN   180
#define KEY_INTL1	   181
#define KEY_INTL2	   182
#define KEY_INTL3	   183
#define KEY_INTL4	   184
#define KEY_INTL5	   185
#define KEY_INTL6	   186
#define KEY_INTL7	   187
#define KEY_INTL8	   188
#define KEY_INTL9	   189
#define KEY_LANG1	   190
#define KEY_LANG2	   191
#define KEY_LANG3	   192
#define KEY_LANG4	   193
#define KEY_LANG5	   194
#define KEY_LANG6	   195
#define KEY_LANG7	   196
#define KEY_LANG8	   197
#define KEY_LANG9	   198
#define KEY_PLAYCD	   200
#define KEY_PAUSECD	   201
#define KEY_PROG3	   202
#define KEY_PROG4	   203
#define KEY_SUSPEND	   205
#define KEY_CLOSE	   206
#define KEY_PLAY	   207
#define KEY_FASTFORWARD	   208
#define KEY_BASSBOOST	   209
#define KEY_PRINT	   210
#define KEY_HP		   211
#define KEY_CAMERA	   212
#define KEY_SOUND	   213
#define KEY_QUESTION	   214
#define KEY_EMAIL	   215
#define KEY_CHAT	   216
#define KEY_SEARCH	   217
#define KEY_CONNECT	   218
#define KEY_FINANCE	   219
#define KEY_SPORT	   220
#define KEY_SHOP	   221
#define KEY_ALTERASE	   222
#define KEY_CANCEL	   223
#define KEY_BRIGHTNESSDOWN 224
#define KEY_BRIGHTNESSUP   225
#define KEY_MEDIA	   226
#define KEY_UNKNOWN	   240

#define BTN_MISC 0x100
#define BTN_0	 0x100
#define BTN_1	 0x101
#define BTN_2	 0x102
#define BTN_3	 0x103
#define BTN_4	 0x104
#define BTN_5	 0x105
#define BTN_6	 0x106
#define BTN_7	 0x107
#define BTN_8	 0x108
#define BTN_9	 0x109

#define BTN_MOUSE   0x110
#define BTN_LEFT    0x110
#define BTN_RIGHT   0x111
#define BTN_MIDDLE  0x112
#define BTN_SIDE    0x113
#define BTN_EXTRA   0x114
#define BTN_FORWARD 0x115
#define BTN_BACK    0x116

#define KEY_MAX 0x1ff

/* Relative axes. */
#define REL_X	   0x00
#define REL_Y	   0x01
#define REL_Z	   0x02
#define REL_HWHEEL 0x06
#define REL_DIAL   0x07
#define REL_WHEEL  0x08
#define REL_MISC   0x09
#define REL_MAX	   0x0f

/* Absolute axes. */
#define ABS_X	0x00
#define ABS_Y	0x01
#define ABS_MAX 0x3f

#define MSC_SERIAL   0x00
#define MSC_PULSELED 0x01
#define MSC_MAX	     0x07

/* LEDs. */
#define LED_NUML    0x00
#define LED_CAPSL   0x01
#define LED_SCROLLL 0x02
#define LED_COMPOSE 0x03
#define LED_KANA    0x04
#define LED_SLEEP   0x05
#define LED_SUSPEND 0x06
#define LED_MUTE    0x07
#define LED_MISC    0x08
#define LED_MAX	    0x0f

/* Auto-repeat settings, in ticks. */
#define REP_DELAY  0x00
#define REP_PERIOD 0x01
#define REP_MAX	   0x01

#define SND_CLICK 0x00
#define SND_BELL  0x01
#define SND_MAX	  0x07

#define FF_MAX 0x7f

/* Bus types of the device id. */
#define BUS_PCI	     0x01
#define BUS_ISAPNP   0x02
#define BUS_USB	     0x03
#define BUS_ISA	     0x10
#define BUS_I8042    0x11
#define BUS_XTKBD    0x12
#define BUS_RS232    0x13
#define BUS_GAMEPORT 0x14
#define BUS_PARPORT  0x15
#define BUS_AMIGA    0x16
#define BUS_ADB	     0x17
#define BUS_I2C	     0x18

#ifdef __KERNEL__

#define NBITS(x) (((x) / BITS_PER_LONG) + 1)
#define BIT(x)	 (1UL << ((x) % BITS_PER_LONG))
#define LONG(x)	 ((x) / BITS_PER_LONG)

#define INPUT_KEYCODE(dev, scancode)                        \
	((dev->keycodesize == 1) ?                          \
		 ((u8 *)dev->keycode)[scancode] :           \
		 ((dev->keycodesize == 2) ?                 \
			  ((u16 *)dev->keycode)[scancode] : \
			  (((u32 *)dev->keycode)[scancode])))

struct input_handle;
struct file;

struct input_dev {
#ifdef __cplusplus
	void *private_; /* the platform's C++ kernel half cannot spell it */
#else
	void *private;
#endif

	int number; /* minor 64 + number of the event device */
	char *name;
	char *phys;
	char *uniq;
	unsigned short idbus;
	unsigned short idvendor;
	unsigned short idproduct;
	unsigned short idversion;

	unsigned long evbit[NBITS(EV_MAX)];
	unsigned long keybit[NBITS(KEY_MAX)];
	unsigned long relbit[NBITS(REL_MAX)];
	unsigned long absbit[NBITS(ABS_MAX)];
	unsigned long mscbit[NBITS(MSC_MAX)];
	unsigned long ledbit[NBITS(LED_MAX)];
	unsigned long sndbit[NBITS(SND_MAX)];
	unsigned long ffbit[NBITS(FF_MAX)];
	int ff_effects_max;

	unsigned int keycodemax;
	unsigned int keycodesize;
	void *keycode;

	/* Auto-repeat of the last key pressed, by the core. */
	unsigned int repeat_key;
	struct timer_list timer;

	int state;
	int sync;

	int abs[ABS_MAX + 1];
	int rep[REP_MAX + 1];

	/* What is down or lit now. */
	unsigned long key[NBITS(KEY_MAX)];
	unsigned long led[NBITS(LED_MAX)];
	unsigned long snd[NBITS(SND_MAX)];

	int absmax[ABS_MAX + 1];
	int absmin[ABS_MAX + 1];
	int absfuzz[ABS_MAX + 1];
	int absflat[ABS_MAX + 1];

	int (*open)(struct input_dev *dev);
	void (*close)(struct input_dev *dev);
	int (*accept)(struct input_dev *dev, struct file *file);
	int (*flush)(struct input_dev *dev, struct file *file);
	int (*event)(struct input_dev *dev, unsigned int type,
		     unsigned int code, int value);

	struct input_handle *handle;
	struct input_dev *next;
};

/* Registration sets the core's repeat defaults (rep[REP_DELAY] HZ/4,
 * rep[REP_PERIOD] HZ/33, in ticks); a driver replaces them afterwards. */
void input_register_device(struct input_dev *);
void input_unregister_device(struct input_dev *);

void input_event(struct input_dev *dev, unsigned int type, unsigned int code,
		 int value);

static inline void input_report_key(struct input_dev *dev, unsigned int code,
				    int value)
{
	input_event(dev, EV_KEY, code, !!value);
}

static inline void input_report_rel(struct input_dev *dev, unsigned int code,
				    int value)
{
	input_event(dev, EV_REL, code, value);
}

static inline void input_report_abs(struct input_dev *dev, unsigned int code,
				    int value)
{
	input_event(dev, EV_ABS, code, value);
}

static inline void input_report_ff(struct input_dev *dev, unsigned int code,
				   int value)
{
	input_event(dev, EV_FF, code, value);
}

#endif /* __KERNEL__ */

#endif
