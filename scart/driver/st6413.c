/*
 * st6413.c - driver for the STV6413 audio/video SCART switch.
 *
 * The switch routes sound and picture between the box and its two SCART
 * connectors, TV and VCR. It sits on the SoC's I2C bus at 0x4b and is only
 * ever written as a whole: the driver keeps a shadow of the seven control
 * registers, changes fields in the shadow, and after every change sends
 * all seven to the chip in one transfer. User space reaches it through
 * "/dev/scart-0" (major 61); every command passes the address of one
 * 32-bit integer (see st6413.h).
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/types.h>
#include <linux/errno.h>
#include <linux/string.h>
#include <linux/slab.h>
#include <linux/fs.h>
#include <linux/i2c.h>
#include <asm/uaccess.h>

#include "st6413.h"

MODULE_DESCRIPTION("ST6413 Driver");
MODULE_LICENSE("GPL");

#define ST6413_MAJOR   61
#define ST6413_NAME    "st6413"
#define ST6413_I2C_ID  0xF0FF
#define ST6413_VERSION 0x107 /* 1.7 */

#define STV6413_ADDR  0x4b
#define STV6413_TYPE  2
#define STV6413_NREGS 7

/* Register map (sub-addresses) */
#define STV6413_REG_TV_AUDIO 0x00 /* TV stereo, TV audio gain, volume */
#define STV6413_REG_AUDIO_SW 0x01 /* VCR stereo, audio switches, cinch gain */
#define STV6413_REG_VIDEO_SW 0x02 /* VCR and TV video switches */
#define STV6413_REG_RGB \
	0x03 /* FB active, RGB gains and switch, fast blanking */
#define STV6413_REG_MISC 0x04
#define STV6413_REG_BLANKING \
	0x05 /* slow blanking, audio input adjust, clamps */
#define STV6413_REG_STANDBY 0x06

/* Register 0x01 without its two audio switch fields */
#define STV6413_AUDIO_SW_KEEP 0xC8

/* Mute bookkeeping: the saved audio switch while not muted */
#define AVS_NOT_MUTED 0xFF

#define AVS_CMD_SET   0x1000 /* bit 12: a set command */
#define AVS_SET_COUNT (AVSIOS_LAST - AVSIOS_FIRST + 1)
#define AVS_GET_COUNT (AVSIOG_LAST - AVSIOG_FIRST + 1)

/* Every field of the shadow: register, lowest bit, mask (unshifted) */
enum stv6413_field_id {
	F_TV_STEREO,
	F_TV_AUDIO_GAIN,
	F_VOLUME,
	F_VCR_STEREO,
	F_VCR_ASW,
	F_CINCH_GAIN,
	F_TV_ASW,
	F_VCR_VSW,
	F_TV_VSW,
	F_FB_ACTIVE,
	F_RGB_EXTRA_GAIN,
	F_RGB_GAIN,
	F_RGB_SW,
	F_FBLK,
	F_MISC7,
	F_MISC6,
	F_MISC4,
	F_MISC3,
	F_MISC0,
	F_TSB_VCR,
	F_TSB,
	F_AUDIO_ADJUST,
	F_VCR_CLAMP,
	F_ENC_CLAMP,
	F_STANDBY6,
	F_STANDBY5,
	F_STANDBY4,
	F_STANDBY2,
	F_STANDBY1,
	F_STANDBY0,
	F_COUNT
};

struct stv6413_field {
	unsigned char reg;
	unsigned char shift;
	unsigned char mask;
};

static const struct stv6413_field stv6413_fields[F_COUNT] = {
	[F_TV_STEREO] = { STV6413_REG_TV_AUDIO, 7, 0x01 },
	[F_TV_AUDIO_GAIN] = { STV6413_REG_TV_AUDIO, 6, 0x01 },
	[F_VOLUME] = { STV6413_REG_TV_AUDIO, 1, 0x1f },
	[F_VCR_STEREO] = { STV6413_REG_AUDIO_SW, 7, 0x01 },
	[F_VCR_ASW] = { STV6413_REG_AUDIO_SW, 4, 0x03 },
	[F_CINCH_GAIN] = { STV6413_REG_AUDIO_SW, 3, 0x01 },
	[F_TV_ASW] = { STV6413_REG_AUDIO_SW, 0, 0x07 },
	[F_VCR_VSW] = { STV6413_REG_VIDEO_SW, 4, 0x07 },
	[F_TV_VSW] = { STV6413_REG_VIDEO_SW, 0, 0x07 },
	[F_FB_ACTIVE] = { STV6413_REG_RGB, 7, 0x01 },
	[F_RGB_EXTRA_GAIN] = { STV6413_REG_RGB, 6, 0x01 },
	[F_RGB_GAIN] = { STV6413_REG_RGB, 4, 0x03 },
	[F_RGB_SW] = { STV6413_REG_RGB, 2, 0x03 },
	[F_FBLK] = { STV6413_REG_RGB, 0, 0x03 },
	[F_MISC7] = { STV6413_REG_MISC, 7, 0x01 },
	[F_MISC6] = { STV6413_REG_MISC, 6, 0x01 },
	[F_MISC4] = { STV6413_REG_MISC, 4, 0x01 },
	[F_MISC3] = { STV6413_REG_MISC, 3, 0x01 },
	[F_MISC0] = { STV6413_REG_MISC, 0, 0x01 },
	[F_TSB_VCR] = { STV6413_REG_BLANKING, 6, 0x03 },
	[F_TSB] = { STV6413_REG_BLANKING, 4, 0x03 },
	[F_AUDIO_ADJUST] = { STV6413_REG_BLANKING, 2, 0x03 },
	[F_VCR_CLAMP] = { STV6413_REG_BLANKING, 1, 0x01 },
	[F_ENC_CLAMP] = { STV6413_REG_BLANKING, 0, 0x01 },
	[F_STANDBY6] = { STV6413_REG_STANDBY, 6, 0x01 },
	[F_STANDBY5] = { STV6413_REG_STANDBY, 5, 0x01 },
	[F_STANDBY4] = { STV6413_REG_STANDBY, 4, 0x01 },
	[F_STANDBY2] = { STV6413_REG_STANDBY, 2, 0x01 },
	[F_STANDBY1] = { STV6413_REG_STANDBY, 1, 0x01 },
	[F_STANDBY0] = { STV6413_REG_STANDBY, 0, 0x01 },
};

/* Slots of the state saved by global standby */
enum {
	M_STATUS, /* chip status read at load */
	M_FBLK,
	M_TV_VSW,
	M_TV_ASW,
	M_TSB,
	M_VCR_VSW,
	M_VCR_ASW,
	M_TSB_VCR,
	M_RGB_SW,
	M_STANDBY, /* 1 while global standby is in force */
	M_SLOTS
};

/* Slow-blanking modes and field values */
static const unsigned char sbmode_to_tsb[3] = { 0, 2, 3 };
static const unsigned char tsb_to_sbmode[4] = { 0, 0, 1, 2 };

/* How each set command treats its value */
enum avs_set_op {
	SET_NONE,   /* no such command */
	SET_RANGE,  /* field := v, v must be 0..max */
	SET_MASKED, /* field := v & field mask */
	SET_VOLUME,
	SET_TV_ASW,
	SET_VCR_ASW,
	SET_MUTE,
	SET_STANDBY,
	SET_GLOBAL_STANDBY,
	SET_SBMODE,
};

struct avs_set_cmd {
	unsigned char op;
	unsigned char field;
	unsigned char max;
};

#define SET(cmd, op, field, max) [(cmd)-AVSIOS_FIRST] = { op, field, max }

static const struct avs_set_cmd avs_set_cmds[AVS_SET_COUNT] = {
	SET(AVSIOSVSW0, SET_RANGE, F_VCR_VSW, 3),
	SET(AVSIOSVSW1, SET_RANGE, F_RGB_SW, 2),
	SET(AVSIOSVSW2, SET_RANGE, F_TV_VSW, 3),
	SET(AVSIOSASW0, SET_VCR_ASW, F_VCR_ASW, 0),
	SET(AVSIOSASW1, SET_TV_ASW, F_TV_ASW, 0),
	SET(AVSIOSASW2, SET_TV_ASW, F_TV_ASW, 0),
	SET(AVSIOSVOLUME, SET_VOLUME, F_VOLUME, 63),
	SET(AVSIOSMUTE, SET_MUTE, 0, 0),
	SET(AVSIOSFBLK, SET_RANGE, F_FBLK, 3),
	SET(AVSIOSTSB, SET_RANGE, F_TSB, 3),
	SET(AVSIOSSTANDBY0, SET_STANDBY, F_STANDBY0, 0),
	SET(AVSIOSSTANDBY1, SET_STANDBY, F_STANDBY1, 0),
	SET(AVSIOSSTANDBY2, SET_STANDBY, F_STANDBY2, 0),
	SET(AVSIOSSTANDBY4, SET_STANDBY, F_STANDBY4, 0),
	SET(AVSIOSSTANDBY5, SET_STANDBY, F_STANDBY5, 0),
	SET(AVSIOSSTANDBY6, SET_STANDBY, F_STANDBY6, 0),
	SET(AVSIOSMISC0, SET_MASKED, F_MISC0, 0),
	SET(AVSIOSMISC3, SET_MASKED, F_MISC3, 0),
	SET(AVSIOSMISC4, SET_MASKED, F_MISC4, 0),
	SET(AVSIOSMISC6, SET_MASKED, F_MISC6, 0),
	SET(AVSIOSMISC7, SET_MASKED, F_MISC7, 0),
	SET(AVSIOSTSBVCR, SET_RANGE, F_TSB_VCR, 3),
	SET(AVSIOSRGBGAIN, SET_MASKED, F_RGB_GAIN, 0),
	SET(AVSIOSRGBEXTRAGAIN, SET_MASKED, F_RGB_EXTRA_GAIN, 0),
	SET(AVSIOSTVSTEREO, SET_MASKED, F_TV_STEREO, 0),
	SET(AVSIOSVCRSTEREO, SET_MASKED, F_VCR_STEREO, 0),
	SET(AVSIOSTVAUDIOGAIN, SET_MASKED, F_TV_AUDIO_GAIN, 0),
	SET(AVSIOSCINCHAUDIOGAIN, SET_MASKED, F_CINCH_GAIN, 0),
	SET(AVSIOSAUDIOINPUTADJUST, SET_MASKED, F_AUDIO_ADJUST, 0),
	SET(AVSIOSENCODERCLAMP, SET_MASKED, F_ENC_CLAMP, 0),
	SET(AVSIOSVCRCLAMP, SET_MASKED, F_VCR_CLAMP, 0),
	SET(AVSIOSFBACTIVE, SET_MASKED, F_FB_ACTIVE, 0),
	SET(AVSIOSGLOBALSTANDBY, SET_GLOBAL_STANDBY, 0, 0),
	SET(AVSIOSSBMODE, SET_SBMODE, F_TSB, 2),
};

/* What each read command reports */
enum avs_get_op {
	GET_NONE, /* no such command */
	GET_FIELD,
	GET_REG, /* a whole register */
	GET_VOLUME,
	GET_MUTE,
	GET_TV_ASW,
	GET_VCR_ASW,
	GET_STATUS,
	GET_SBMODE,
	GET_VERSION,
};

struct avs_get_cmd {
	unsigned char op;
	unsigned char arg; /* field or register */
};

#define GET(cmd, op, arg) [(cmd)-AVSIOG_FIRST] = { op, arg }

static const struct avs_get_cmd avs_get_cmds[AVS_GET_COUNT] = {
	GET(AVSIOGVSW0, GET_FIELD, F_VCR_VSW),
	GET(AVSIOGVSW1, GET_FIELD, F_RGB_SW),
	GET(AVSIOGVSW2, GET_FIELD, F_TV_VSW),
	GET(AVSIOGASW0, GET_VCR_ASW, 0),
	GET(AVSIOGASW1, GET_TV_ASW, 0),
	GET(AVSIOGASW2, GET_TV_ASW, 0),
	GET(AVSIOGVOLUME, GET_VOLUME, 0),
	GET(AVSIOGMUTE, GET_MUTE, 0),
	GET(AVSIOGFBLK, GET_FIELD, F_FBLK),
	GET(AVSIOGTSB, GET_FIELD, F_TSB),
	GET(AVSIOGSTATUS, GET_STATUS, 0),
	GET(AVSIOGSBMODE, GET_SBMODE, 0),
	GET(AVSIOGSTANDBY, GET_REG, STV6413_REG_STANDBY),
	GET(AVSIOGMISC, GET_REG, STV6413_REG_MISC),
	GET(AVSIOGTSBVCR, GET_FIELD, F_TSB_VCR),
	GET(AVSIOGRGBGAIN, GET_FIELD, F_RGB_GAIN),
	GET(AVSIOGRGBEXTRAGAIN, GET_FIELD, F_RGB_EXTRA_GAIN),
	GET(AVSIOGDRVVERSION, GET_VERSION, 0),
	GET(AVSIOGTVSTEREO, GET_FIELD, F_TV_STEREO),
	GET(AVSIOGVCRSTEREO, GET_FIELD, F_VCR_STEREO),
	GET(AVSIOGTVAUDIOGAIN, GET_FIELD, F_TV_AUDIO_GAIN),
	GET(AVSIOGCINCHAUDIOGAIN, GET_FIELD, F_CINCH_GAIN),
	GET(AVSIOGAUDIOINPUTADJUST, GET_FIELD, F_AUDIO_ADJUST),
	GET(AVSIOGENCODERCLAMP, GET_FIELD, F_ENC_CLAMP),
	GET(AVSIOGVCRCLAMP, GET_FIELD, F_VCR_CLAMP),
	GET(AVSIOGFBACTIVE, GET_FIELD, F_FB_ACTIVE),
};

/* The driver's state, shared by every opener of the device */
static struct avs_state {
	unsigned char stv6413_data[STV6413_NREGS]; /* register shadow */
	unsigned char tc_asc;	      /* TV audio switch saved by mute */
	unsigned char v_asc;	      /* VCR audio switch saved by mute */
	unsigned char m_reg[M_SLOTS]; /* routing saved by global standby */
	int m_standbyFlag;
	int client_registered;
	int *st6413_data; /* type word of the attached client */
} avs;

/* Module parameters */
static int scarts_en = 3;
static int type = STV6413_TYPE;
MODULE_PARM(scarts_en, "i");
MODULE_PARM(type, "i");

static unsigned short normal_i2c[] = { STV6413_ADDR, I2C_CLIENT_END };
static unsigned short normal_i2c_range[] = { STV6413_ADDR, STV6413_ADDR,
					     I2C_CLIENT_END };
I2C_CLIENT_INSMOD;

static const char avs_types[3][32] = { "STV6413", "STV6413", "STV6413" };

static int avs_probe(struct i2c_adapter *adap);
static int avs_detach(struct i2c_client *client);
static int avs_command(struct i2c_client *client, unsigned int cmd, void *arg);

static struct i2c_driver avs_i2c_driver = {
	.name = "st6413 driver",
	.id = ST6413_I2C_ID,
	.flags = I2C_DF_NOTIFY,
	.attach_adapter = avs_probe,
	.detach_client = avs_detach,
	.command = avs_command,
};

/* Every register transfer goes through this record. */
static struct i2c_client client_template = {
	.name = "AVS",
	.id = ST6413_I2C_ID,
	.flags = 0,
	.driver = &avs_i2c_driver,
};

/* ---- The shadow ---- */

static unsigned int field_get(int f)
{
	const struct stv6413_field *fd = &stv6413_fields[f];

	return (avs.stv6413_data[fd->reg] >> fd->shift) & fd->mask;
}

static void field_put(int f, unsigned int value)
{
	const struct stv6413_field *fd = &stv6413_fields[f];
	unsigned char *reg = &avs.stv6413_data[fd->reg];

	*reg = (*reg & ~(fd->mask << fd->shift)) |
	       ((value & fd->mask) << fd->shift);
}

/* Sends the whole shadow, starting at sub-address 0. */
static int stv6413_set(struct i2c_client *client)
{
	unsigned char buf[STV6413_NREGS + 1];

	if (!client->adapter)
		return -EFAULT;
	buf[0] = 0x00;
	memcpy(buf + 1, avs.stv6413_data, STV6413_NREGS);
	if (i2c_master_send(client, (char *)buf, sizeof(buf)) != sizeof(buf))
		return -EFAULT;
	return 0;
}

/* The chip's status byte, or -1 when it could not be read. */
static int stv6413_get_status(struct i2c_client *client)
{
	unsigned char status;

	if (!client->adapter ||
	    i2c_master_recv(client, (char *)&status, 1) != 1)
		return -1;
	return status;
}

static void stv6413_show_scart_switch_registers(void)
{
	unsigned char *r = avs.stv6413_data;

	printk("Scart Switch Registers:       \n \t                     Reg "
	       "0x00 = 0x%x  \n \t\t             Reg 0x01 = 0x%x  \n \t\t      "
	       "       Reg 0x02 = 0x%x  \n \t\t             Reg 0x03 = 0x%x  "
	       "\n \t\t             Reg 0x04 = 0x%x  \n \t\t             Reg "
	       "0x05 = 0x%x  \n \t\t             Reg 0x06 = 0x%x  \n",
	       r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
}

static int stv6413_init(struct i2c_client *client, int p)
{
	int ret;

	memset(avs.stv6413_data, 0, sizeof(avs.stv6413_data));
	avs.stv6413_data[STV6413_REG_TV_AUDIO] = 0x01;
	avs.stv6413_data[STV6413_REG_AUDIO_SW] = 0x11;
	avs.stv6413_data[STV6413_REG_VIDEO_SW] = 0x11;
	avs.stv6413_data[STV6413_REG_RGB] = 0x84 | (p >= 2 ? 0x01 : 0x00);
	avs.stv6413_data[STV6413_REG_MISC] = 0x80;
	avs.stv6413_data[STV6413_REG_BLANKING] =
		((p & 3) << 6) | ((p & 3) << 4) | 0x04;
	avs.stv6413_data[STV6413_REG_STANDBY] = 0x88;
	avs.tc_asc = AVS_NOT_MUTED;
	avs.v_asc = AVS_NOT_MUTED;

	ret = stv6413_set(client);
	stv6413_show_scart_switch_registers();
	return ret;
}

/* ---- Audio: mute and the mute-aware switches ---- */

/* While muted the connector stays silent and takes the source at unmute. */
static void stv6413_set_tv_audio(unsigned int source)
{
	if (avs.tc_asc == AVS_NOT_MUTED)
		field_put(F_TV_ASW, source);
	else
		avs.tc_asc = source;
}

static void stv6413_set_vcr_audio(unsigned int source)
{
	if (avs.v_asc == AVS_NOT_MUTED)
		field_put(F_VCR_ASW, source);
	else
		avs.v_asc = source;
}

static void stv6413_mute(void)
{
	unsigned char *reg = &avs.stv6413_data[STV6413_REG_AUDIO_SW];

	if (avs.tc_asc != AVS_NOT_MUTED)
		return;
	avs.tc_asc = field_get(F_TV_ASW);
	avs.v_asc = field_get(F_VCR_ASW);
	*reg &= STV6413_AUDIO_SW_KEEP;
}

static void stv6413_unmute(void)
{
	unsigned char *reg = &avs.stv6413_data[STV6413_REG_AUDIO_SW];

	if (avs.tc_asc == AVS_NOT_MUTED)
		return;
	*reg = (*reg & STV6413_AUDIO_SW_KEEP) | (avs.tc_asc & 7) |
	       ((avs.v_asc & 3) << 4);
	avs.tc_asc = AVS_NOT_MUTED;
	avs.v_asc = AVS_NOT_MUTED;
}

/* ---- Global standby ---- */

/* The routing in force: what leaving standby brings back. */
static void stv6413_save_routing(void)
{
	unsigned char *m = avs.m_reg;

	m[M_FBLK] = field_get(F_FBLK);
	m[M_TV_VSW] = field_get(F_TV_VSW);
	m[M_TV_ASW] =
		avs.tc_asc != AVS_NOT_MUTED ? avs.tc_asc : field_get(F_TV_ASW);
	m[M_TSB] = field_get(F_TSB);
	m[M_VCR_VSW] = field_get(F_VCR_VSW);
	m[M_VCR_ASW] =
		avs.v_asc != AVS_NOT_MUTED ? avs.v_asc : field_get(F_VCR_ASW);
	m[M_TSB_VCR] = field_get(F_TSB_VCR);
	m[M_RGB_SW] = field_get(F_RGB_SW);
}

static int stv6413_enter_standby(struct i2c_client *client)
{
	unsigned char *m = avs.m_reg;

	/* Already in standby, the routing in force is the standby one: the
	 * user's stays saved from the first entry. */
	if (!m[M_STANDBY])
		stv6413_save_routing();

	/* Each step reaches the chip on its own; only the last result counts. */
	field_put(F_FBLK, 3);
	stv6413_set(client);
	field_put(F_MISC6, 1);
	stv6413_set(client);
	field_put(F_TSB_VCR, 0);
	stv6413_set(client);
	stv6413_set_tv_audio(2);
	stv6413_set(client);
	field_put(F_TV_VSW, 3);
	stv6413_set(client);
	field_put(F_RGB_SW, 2);
	stv6413_set(client);
	stv6413_set_vcr_audio(2);
	stv6413_set(client);
	field_put(F_VCR_VSW, 3);
	stv6413_set(client);

	m[M_STANDBY] = 1;
	return stv6413_set(client);
}

static int stv6413_leave_standby(struct i2c_client *client)
{
	unsigned char *m = avs.m_reg;

	if (m[M_FBLK] < 4) {
		field_put(F_FBLK, m[M_FBLK]);
		stv6413_set(client);
	}
	field_put(F_MISC6, 0);
	stv6413_set(client);
	if (m[M_TSB] < 4) {
		field_put(F_TSB, m[M_TSB]);
		stv6413_set(client);
	}
	if (m[M_TSB_VCR] < 4) {
		field_put(F_TSB_VCR, m[M_TSB_VCR]);
		stv6413_set(client);
	}
	if (m[M_TV_ASW] == 1 || m[M_TV_ASW] == 2 || m[M_TV_ASW] == 4) {
		stv6413_set_tv_audio(m[M_TV_ASW]);
		stv6413_set(client);
	}
	if (m[M_TV_VSW] == 0) {
		printk("Video scart TV in a wrong state !!!\n");
		field_put(F_TV_VSW, 1);
		stv6413_set(client);
	} else if (m[M_TV_VSW] <= 3) {
		field_put(F_TV_VSW, m[M_TV_VSW]);
		stv6413_set(client);
	}
	if (m[M_RGB_SW] < 3) {
		field_put(F_RGB_SW, m[M_RGB_SW]);
		stv6413_set(client);
	}
	if (m[M_VCR_ASW] == 1 || m[M_VCR_ASW] == 2) {
		stv6413_set_vcr_audio(m[M_VCR_ASW]);
		stv6413_set(client);
	}
	if (m[M_VCR_VSW] == 0) {
		printk("Video scart VCR in a wrong state !!!\n");
		field_put(F_VCR_VSW, 1);
		stv6413_set(client);
	} else if (m[M_VCR_VSW] <= 3) {
		field_put(F_VCR_VSW, m[M_VCR_VSW]);
		stv6413_set(client);
	}

	m[M_STANDBY] = 0;
	return stv6413_set(client);
}

/*
 * m_standbyFlag also follows the single standby bits, so it cannot tell
 * whether the routing was saved: slot 9 does. A request equal to the flag
 * is ignored, except a leave while the routing is saved (the single bits
 * may have cleared the flag since the entry). Leaving without an entry
 * only clears standby bits 0 and 5: there is no routing to bring back.
 */
static int stv6413_set_global_standby(struct i2c_client *client, int request)
{
	int entered = avs.m_reg[M_STANDBY];

	printk("stv6413_set_global_standby type = 0x%x type\n", request);
	if (request == avs.m_standbyFlag && (request != 0 || !entered))
		return 0;
	avs.m_standbyFlag = request != 0;
	field_put(F_STANDBY0, request & 1);
	field_put(F_STANDBY5, request & 1);
	if (request)
		return stv6413_enter_standby(client);
	if (entered)
		return stv6413_leave_standby(client);
	return stv6413_set(client);
}

/* ---- Commands ---- */

static int stv6413_set_cmd(struct i2c_client *client,
			   const struct avs_set_cmd *c, int v)
{
	unsigned int u = (unsigned int)v;

	switch (c->op) {
	case SET_RANGE:
		if (u > c->max)
			return -EINVAL;
		field_put(c->field, u);
		break;
	case SET_MASKED:
		field_put(c->field, u & stv6413_fields[c->field].mask);
		break;
	case SET_VOLUME:
		if (u > c->max)
			return -EINVAL;
		field_put(F_VOLUME, u >> 1);
		break;
	case SET_TV_ASW:
		if (u != 1 && u != 2 && u != 4)
			return -EINVAL;
		stv6413_set_tv_audio(u);
		break;
	case SET_VCR_ASW:
		if (u != 1 && u != 2)
			return -EINVAL;
		stv6413_set_vcr_audio(u);
		break;
	case SET_MUTE:
		if (u == 1)
			stv6413_mute();
		else if (u == 0)
			stv6413_unmute();
		else
			return -EINVAL;
		break;
	case SET_STANDBY:
		field_put(c->field, u & 1);
		avs.m_standbyFlag = v != 0;
		break;
	case SET_GLOBAL_STANDBY:
		return stv6413_set_global_standby(client, v);
	case SET_SBMODE:
		if (u > c->max)
			return -EINVAL;
		field_put(F_TSB, sbmode_to_tsb[u]);
		break;
	default:
		return -EINVAL;
	}
	return stv6413_set(client);
}

static int stv6413_get_cmd(struct i2c_client *client,
			   const struct avs_get_cmd *c, void *arg)
{
	int value;

	switch (c->op) {
	case GET_FIELD:
		value = field_get(c->arg);
		break;
	case GET_REG:
		value = avs.stv6413_data[c->arg];
		break;
	case GET_VOLUME:
		value = field_get(F_VOLUME) * 2;
		break;
	case GET_MUTE:
		value = avs.tc_asc != AVS_NOT_MUTED ||
			avs.v_asc != AVS_NOT_MUTED;
		break;
	case GET_TV_ASW:
		value = avs.tc_asc != AVS_NOT_MUTED ? avs.tc_asc :
						      field_get(F_TV_ASW);
		break;
	case GET_VCR_ASW:
		value = avs.v_asc != AVS_NOT_MUTED ? avs.v_asc :
						     field_get(F_VCR_ASW);
		break;
	case GET_STATUS:
		value = stv6413_get_status(client);
		break;
	case GET_SBMODE:
		value = tsb_to_sbmode[field_get(F_TSB)];
		break;
	case GET_VERSION:
		value = ST6413_VERSION;
		break;
	default:
		return -EINVAL;
	}
	if (verify_area(VERIFY_WRITE, arg, sizeof(int)) ||
	    put_user(value, (int *)arg))
		return -EFAULT;
	return 0;
}

static int stv6413_command(struct i2c_client *client, unsigned int cmd,
			   void *arg)
{
	int value;

	if (cmd & AVS_CMD_SET) {
		/* The value comes first, before the command is looked at. */
		if (get_user(value, (int *)arg))
			return -EFAULT;
		if (cmd - AVSIOS_FIRST >= AVS_SET_COUNT)
			return -EINVAL;
		return stv6413_set_cmd(
			client, &avs_set_cmds[cmd - AVSIOS_FIRST], value);
	}
	if (cmd - AVSIOG_FIRST >= AVS_GET_COUNT)
		return -EINVAL;
	return stv6413_get_cmd(client, &avs_get_cmds[cmd - AVSIOG_FIRST], arg);
}

/* ---- I2C ---- */

static int avs_attach(struct i2c_adapter *adap, int addr, int kind)
{
	struct i2c_client *client;
	int *data;
	int ret = -ENOMEM;

	(void)kind;
	if (avs.client_registered > 0) {
		printk("st6413: attach failed\n");
		return -1;
	}
	printk("st6413: chip found @ 0x%x\n", addr << 1);

	client = kmalloc(sizeof(*client), GFP_KERNEL);
	if (!client) {
		printk("st6413: attach nomem 1\n");
		return -ENOMEM;
	}
	client_template.addr = addr;
	client_template.adapter = adap;
	memcpy(client, &client_template, sizeof(*client));

	data = kmalloc(sizeof(*data), GFP_KERNEL);
	if (!data) {
		printk("st6413: attach nomem 2\n");
		goto err_client;
	}

	*data = type;
	client->data = data;
	strncpy(client->name, avs_types[type], sizeof(client->name));
	client->name[sizeof(client->name) - 1] = '\0';
	printk("st6413: client->name = %s\n", client->name);
	/* Counted only once the core has the client: a refused one would be
	 * a registered chip the core never detaches, and leak. */
	ret = i2c_attach_client(client);
	if (ret) {
		printk(KERN_ERR "st6413: i2c_attach_client failed (%d)\n", ret);
		kfree(data);
		goto err_client;
	}
	avs.client_registered++;
	avs.st6413_data = data;
	printk("st6413: attach final ok\n");
	return 0;

err_client:
	/* No transfer may go to a chip that is not ours. */
	client_template.adapter = NULL;
	kfree(client);
	return ret;
}

static int avs_probe(struct i2c_adapter *adap)
{
	return i2c_probe(adap, &addr_data, avs_attach);
}

static int avs_detach(struct i2c_client *client)
{
	/* The adapter going away takes the chip with it: no transfer may use
	 * it after this. */
	if (client->adapter == client_template.adapter &&
	    client->addr == client_template.addr) {
		client_template.adapter = NULL;
		avs.st6413_data = NULL;
		avs.client_registered = 0;
	}
	i2c_detach_client(client);
	kfree(client->data);
	kfree(client);
	printk("st6413: detach ok \n");
	return 0;
}

static int avs_command(struct i2c_client *client, unsigned int cmd, void *arg)
{
	if (type != STV6413_TYPE)
		return -EINVAL;
	return stv6413_command(client, cmd, arg);
}

/* ---- Character device ---- */

static int avs_ioctl(struct inode *inode, struct file *file, unsigned int cmd,
		     unsigned long arg)
{
	(void)inode;
	(void)file;
	if (cmd == AVSIOGTYPE) {
		printk("avs_ioctl: AVSIOGTYPE\n");
		if (verify_area(VERIFY_WRITE, (void *)arg, sizeof(int)) ||
		    put_user(type, (int *)arg))
			return -EFAULT;
		return 0;
	}
	return avs_command(&client_template, cmd, (void *)arg);
}

static struct file_operations avs_fops = {
	.owner = THIS_MODULE,
	.ioctl = avs_ioctl,
};

/* ---- Module ---- */

static int __init ST6413_init(void)
{
	int ret;

	type = STV6413_TYPE;
	printk("ST6413_init\n");

	ret = i2c_add_driver(&avs_i2c_driver);
	if (ret) {
		printk("ST6413_init: i2c add driver failed\n");
		return ret;
	}
	if (avs.client_registered == 0) {
		printk(KERN_ERR "ST6413_init: no client found\n");
		ret = -EIO;
		goto err_driver;
	}

	stv6413_init(&client_template, scarts_en);
	avs.m_reg[M_STATUS] = stv6413_get_status(&client_template) & 0xff;

	if (register_chrdev(ST6413_MAJOR, ST6413_NAME, &avs_fops) < 0) {
		printk(KERN_INFO "Error registering st6413 device\n");
		ret = -ENODEV;
		goto err_driver;
	}

	avs.m_reg[M_FBLK] = 1;
	avs.m_reg[M_TV_VSW] = 1;
	avs.m_reg[M_TV_ASW] = 1;
	avs.m_reg[M_TSB] = 1;
	avs.m_reg[M_VCR_VSW] = 1;
	avs.m_reg[M_VCR_ASW] = 1;
	avs.m_reg[M_TSB_VCR] = 3;
	avs.m_reg[M_RGB_SW] = 1;
	avs.m_reg[M_STANDBY] = 0;

	printk(KERN_INFO "Scart Switch Version = %d.%d\n", ST6413_VERSION >> 8,
	       ST6413_VERSION & 0xff);
	return 0;

err_driver:
	i2c_del_driver(&avs_i2c_driver);
	return ret;
}

static void __exit ST6413_exit(void)
{
	unregister_chrdev(ST6413_MAJOR, ST6413_NAME);
	i2c_del_driver(&avs_i2c_driver);
	printk(KERN_INFO "st6413 unregistered\n");
}

module_init(ST6413_init);
module_exit(ST6413_exit);
