/*
 * irkbd.c - remote control and keyboard input driver.
 *
 * A small micro-controller on the board (I2C 0x32) receives the operator's
 * infrared remote control, a keyboard with its pointing device, and the
 * front-panel keys. It queues what it receives as frames and raises an
 * interrupt on GPIO 9 (IRQ 22 once routed) for each one. The interrupt
 * handler only wakes the "IR thread", which fetches the frame over I2C,
 * parses it and reports keys, mouse buttons and motion through the input
 * device "IR-Remote Control".
 *
 * The micro-controller reports presses only: the driver releases keys
 * itself, release_time ticks after the last interrupt or press (250 ticks
 * for a real modifier key), and mouse buttons 1000 / time_click_simula
 * ticks after the last frame with a button down. Keyboard chords become
 * synthetic modifier presses around the key. The activity LED (GPIO 14,
 * lit when low) blinks for 55 ticks on a press and is lit steadily in
 * stand-by, when only the power-type keys pass.
 *
 * The control device "RemoteRWD" (major 201) sets stand-by, injects remote
 * scancodes, reads the micro-controller's version and sets its reboot
 * timeout.
 *
 * Locking: key_lock (interrupts off) serialises last_key, mod_state and
 * btn_state between the thread, the ioctl path and the timers; micro_sem
 * keeps the client from going while the thread or an ioctl talks to it.
 */
#include <linux/module.h>
#include <linux/kernel.h>
#include <linux/init.h>
#include <linux/types.h>
#include <linux/errno.h>
#include <linux/string.h>
#include <linux/slab.h>
#include <linux/fs.h>
#include <linux/sched.h>
#include <linux/interrupt.h>
#include <linux/timer.h>
#include <linux/completion.h>
#include <linux/spinlock.h>
#include <linux/i2c.h>
#include <linux/input.h>
#include <asm/bitops.h>
#include <asm/uaccess.h>
#include <asm/system.h>
#include <asm/semaphore.h>
#include <asm/tango2/gbus.h>

#include "irkbd_keymaps.h"

MODULE_DESCRIPTION("Vimora Remote Control/Keyboard Driver for SMP8634 I2C HW "
		   "Master bus adapter");
MODULE_LICENSE("LGPL");

static int debug = 0;
static int release_time = 250;
static int repeat_delay = 500;
static int repeat_rate = 125;
/* Accepted so that start-up scripts passing it still load; it sets
 * nothing (the core's auto-repeat follows repeat_delay and repeat_rate). */
static int remote_control_repeat_delay = 0;

MODULE_PARM(debug, "i");
MODULE_PARM_DESC(debug, "debug level -> 0 off; 1 normal; 2 max");
MODULE_PARM(release_time, "i");
MODULE_PARM_DESC(release_time, "Key Synthetic-Release time");
MODULE_PARM(repeat_delay, "i");
MODULE_PARM_DESC(repeat_delay, "Repeat delay");
MODULE_PARM(repeat_rate, "i");
MODULE_PARM_DESC(repeat_rate, "Repeat rate");
MODULE_PARM(remote_control_repeat_delay, "i");
MODULE_PARM_DESC(remote_control_repeat_delay, "Remote Control Repeat rate");

#define DBG1(fmt, args...)                   \
	do {                                 \
		if (debug >= 1)              \
			printk(fmt, ##args); \
	} while (0)
#define DBG2(fmt, args...)                   \
	do {                                 \
		if (debug >= 2)              \
			printk(fmt, ##args); \
	} while (0)

#define IR_NAME	      "vimora_remote_control"
#define IR_MAJOR      201
#define IR_DEVNAME    "RemoteRWD"
#define IR_IRQ	      22
#define IR_IOCTL_LAST 8

/* The micro-controller and its commands */
#define MICRO_ADDR	      0x32
#define MICRO_CMD_READ	      0x00
#define MICRO_CMD_VERSION     0x01
#define MICRO_CMD_REBOOT      0x02
#define MICRO_FRAME_LEN	      7
#define MICRO_NOTHING	      0xFF /* an empty reply */
#define MICRO_NOTHING_V1      0x0A /* also empty, versions 1 and 2 */
#define MICRO_VERSION_UNKNOWN 100
#define MICRO_VERSION_TRIES   10 /* queries before giving up at attach */
#define MICRO_VERSION_RETRY   10 /* ticks between them */

/* Registers on the SoC's bus */
#define SYS_gpio_dir	     0x10500
#define SYS_gpio_data	     0x10504
#define SYS_gpio_int	     0x10508
#define GPIO_dir_16_31	     0x2710c
#define CPU_edge_status	     0x6e204 /* write: acknowledge */
#define CPU_edge_config_rise 0x6e208
#define CPU_edge_config_fall 0x6e20c
#define CPU_edge_rise_set    0x6e214
#define CPU_edge_fall_set    0x6e218

#define GPIO_INT_FIELD	 0x0000ff00 /* GPIO interrupt source 1 */
#define GPIO_INT_MICRO	 0x00000900 /* ... is GPIO 9 */
#define GPIO9_INPUT	 0x02000000
#define GPIO14_OUTPUT	 0x40004000
#define GPIO27_29_OUTPUT 0x38003800
#define LED_ON		 0x40000000 /* GPIO 14 low */
#define LED_OFF		 0x40004000 /* GPIO 14 high */
#define IR_EDGE_BIT	 0x4000	    /* source 1: bit 14 */

/* Timing, in ticks */
#define LED_BLINK	 55
#define MODIFIER_RELEASE 250
#define CLICK_BASE	 1000
#define CLICK_DEFAULT	 7
#define STARTUP_WAIT	 250

/* Frame fields */
#define SRC_KEYBOARD	    0
#define SRC_MOUSE	    1
#define SRC_REMOTE	    2
#define SRC_PANEL	    3
#define CUSTOM_PANEL	    3
#define LEN_STOP	    10
#define LEN_MOTION	    15
#define LEN_MOTION_REVERSED 14
#define LEN_KEYBOARD	    19
#define LEN_TWO_KEYS	    27
#define LEN_THREE_KEYS	    35
#define REVERSED_ID_LOW	    0x05
#define REVERSED_ID_HIGH    0x85

#define KEY_QUANDOR_POWER  229 /* the box's own power-type key */
#define ORIGIN_PANEL	   1
#define MASK_NOT_MODIFIERS 0x3c1 /* bits 0, 6, 7, 8, 9 */

/* handle_remote's and handle_keyboard's tables */
enum {
	TABLE_V0 = 0,
	TABLE_REVERSED = 1,
	TABLE_NORMAL = 2
};

/* ---- Keymaps ---- */

#define KEYMAP_ENTRY(scancode, keycode) [scancode] = keycode,

static const unsigned char keymapVelamorRemoteC_prov[REMOTE_C_PROV_SIZE] = {
	REMOTE_C_PROV(KEYMAP_ENTRY)
};
static const unsigned char keymapVelamorRemoteCR7[REMOTE_CR7_SIZE] = {
	REMOTE_CR7(KEYMAP_ENTRY)
};
static const unsigned char
	keymapVelamorRemoteCR7_reversed[REMOTE_CR7_REVERSED_SIZE] = {
		REMOTE_CR7_REVERSED(KEYMAP_ENTRY)
	};
static const unsigned char keymapFrontpanelR7[FRONTPANEL_R7_SIZE] = {
	FRONTPANEL_R7(KEYMAP_ENTRY)
};
static const unsigned char keymapvelamorKeyboardR7[KEYBOARD_R7_SIZE] = {
	KEYBOARD_R7(KEYMAP_ENTRY)
};
static const unsigned char
	keymapvelamorKeyboardR7_reversed[KEYBOARD_R7_REVERSED_SIZE] = {
		KEYBOARD_R7_REVERSED(KEYMAP_ENTRY)
	};

/* A scancode at or beyond a table's length is not mapped. */
#define KEYMAP(map, scancode) \
	((unsigned int)(scancode) < sizeof(map) ? (map)[scancode] : 0)

struct mod_entry {
	unsigned short keycode;
	unsigned short bit;
};

/* Also the order in which modifier events are sent. */
static const struct mod_entry kb_modifiers[] = {
	{ KEY_LEFTCTRL, 0x02 },	 { KEY_LEFTALT, 0x08 },
	{ KEY_RIGHTALT, 0x04 },	 { KEY_RIGHTSHIFT, 0x10 },
	{ KEY_LEFTSHIFT, 0x20 }, { 0, 0 }
};

static const struct mod_entry mouse_modifiers[] = {
	{ BTN_LEFT, 0x01 }, { BTN_MIDDLE, 0x04 }, { BTN_RIGHT, 0x02 }, { 0, 0 }
};

/* ---- State ---- */

struct micro_calls {
	void (*myi2c_read)(void);		      /* fetch one frame */
	void (*handle_packet)(unsigned char *keybuf); /* parse it */
};

static unsigned char micro_version = MICRO_VERSION_UNKNOWN;
static struct micro_calls Micro_calls;
static int first_read;
static unsigned char standBy;
static unsigned char emulateMouse;
static int min_mouse_delta;
static int time_click_simula = CLICK_DEFAULT;
static int last_key;
static unsigned int mod_state;
static unsigned int btn_state;
static int led_active;
static unsigned long led_laston;
static long irq_ir_count;
static int client_registered;
static struct i2c_client *new_client;
static unsigned char error_dev;
static int ir_thread_pid;
static u32 saved_gpio_int;
static struct input_dev button_dev;
static struct timer_list release_timer, release_click_mouse_timer, led_timer;
static DECLARE_WAIT_QUEUE_HEAD(ir_wait);
static struct completion on_exit_ir;

static struct llad *pllad;
static struct gbus *pgbus;
static int irq_held;	     /* request_irq succeeded */
static atomic_t irq_pending; /* interrupts whose frame is not read yet */
static int micro_ready;	     /* attached, version and read routine known */
static int input_ready;	     /* button_dev registered: keys may be reported */
static unsigned long isr_jiffies; /* tick of the last interrupt */
static spinlock_t key_lock;
static DECLARE_MUTEX(micro_sem);

static struct i2c_driver vimora_i2c_hw_driver;

/* ---- The micro-controller ---- */

/*
 * One exchange: the command byte, then a read of len bytes after a
 * repeated start. The reply is preset to "nothing", so a failed transfer
 * never hands on what an earlier one read.
 */
static int micro_query(struct i2c_client *client, unsigned char cmd,
		       unsigned char *reply, int len)
{
	struct i2c_msg msgs[2];
	int ret;

	memset(reply, MICRO_NOTHING, len);
	msgs[0].addr = client->addr;
	msgs[0].flags = 0;
	msgs[0].len = 1;
	msgs[0].buf = &cmd;
	msgs[1].addr = client->addr;
	msgs[1].flags = I2C_M_RD;
	msgs[1].len = len;
	msgs[1].buf = reply;
	ret = i2c_transfer(client->adapter, msgs, 2);
	if (ret != 2) {
		memset(reply, MICRO_NOTHING, len);
		return ret < 0 ? ret : -EIO;
	}
	return 0;
}

static int micro_version_query(struct i2c_client *client,
			       unsigned char *version)
{
	return micro_query(client, MICRO_CMD_VERSION, version, 1);
}

/* Asks until a version of 0 to 2 comes, a bounded number of times. */
static int micro_detect(struct i2c_client *client)
{
	unsigned char reply;
	int tries = 0;

	while (micro_version >= 3) {
		if (tries == MICRO_VERSION_TRIES) {
			printk(KERN_ERR "v-ir: no valid microIR version after "
					"%d queries\n",
			       tries);
			return -ENODEV;
		}
		if (tries++) {
			set_current_state(TASK_UNINTERRUPTIBLE);
			schedule_timeout(MICRO_VERSION_RETRY);
		}
		micro_version_query(client, &reply);
		printk("microIR version is %d\n", reply);
		micro_version = reply;
	}
	return 0;
}

/* ---- Activity LED ---- */

static void led_set(int lit)
{
	unsigned long flags;

	local_irq_save(flags);
	gbus_write_uint32(pgbus, SYS_gpio_data, lit ? LED_ON : LED_OFF);
	local_irq_restore(flags);
}

static void led_timer_on(void)
{
	led_set(1);
	led_active = 1;
	mod_timer(&led_timer, jiffies + LED_BLINK);
}

static void led_timer_off(unsigned long unused)
{
	(void)unused;
	led_set(0);
	led_laston = jiffies;
	led_active = 0;
	if (standBy)
		led_set(1);
}

/* A press (not from the front panel) blinks, unless a blink runs, the
 * last one ended less than 55 ticks ago, or the box is in stand-by. */
static void led_activity(void)
{
	if (!led_active && (long)(jiffies - led_laston) >= LED_BLINK &&
	    !standBy)
		led_timer_on();
}

/* ---- Keys ---- */

static void report_key(unsigned int code, int value)
{
	input_report_key(&button_dev, code, value);
}

static const struct mod_entry *find_modifier(int keycode)
{
	const struct mod_entry *m;

	for (m = kb_modifiers; m->keycode; m++)
		if (m->keycode == keycode)
			return m;
	return NULL;
}

/* Called with key_lock held. */
static void release_key_locked(void)
{
	if (last_key) {
		report_key(last_key, 0);
		last_key = 0;
	}
}

/*
 * Brings the keys of a table (modifiers or mouse buttons) to the wanted
 * bits, in table order: each entry whose bit differs is pressed or
 * released, and logged at the given level. Called with key_lock held.
 */
static void keys_follow(const struct mod_entry *table, unsigned int *state,
			unsigned int wanted, int level, const char *fmt)
{
	const struct mod_entry *m;

	for (m = table; m->keycode; m++) {
		int down = (wanted & m->bit) != 0;

		if (down == ((*state & m->bit) != 0))
			continue;
		report_key(m->keycode, down);
		*state ^= m->bit;
		if (debug >= level)
			printk(fmt, m->keycode, down);
	}
}

static void handle_keypress(int keycode, int press, unsigned int mask,
			    int origin)
{
	const struct mod_entry *m;
	unsigned long flags;

	spin_lock_irqsave(&key_lock, flags);
	if (origin != ORIGIN_PANEL && press)
		led_activity();

	/* A real modifier key: held until 250 ticks after its last press. */
	m = find_modifier(keycode);
	if (m) {
		if (press) {
			mod_timer(&release_timer, jiffies + MODIFIER_RELEASE);
			if (!(mod_state & m->bit)) {
				report_key(m->keycode, 1);
				mod_state |= m->bit;
			}
		} else if (mod_state & m->bit) {
			report_key(m->keycode, 0);
			mod_state &= ~m->bit;
		}
		spin_unlock_irqrestore(&key_lock, flags);
		return;
	}

	/* The chord's modifiers, pressed or released to match the mask. */
	DBG2("mod_mask = %x  ,  mod_state = %x  \n", mask, mod_state);
	if (mask != mod_state)
		keys_follow(kb_modifiers, &mod_state, mask, 1,
			    "Attention: synthetic modifier %d %d\n");

	if (press) {
		mod_timer(&release_timer, jiffies + release_time);
		DBG2("setting mod_timer 2 in handle_keypress  \n");
		if (last_key && last_key != keycode)
			release_key_locked();
		if (!last_key) {
			report_key(keycode, 1);
			DBG1("^______^!!!!!!!!!!!!!!Key %d was successfully "
			     "sent to kernel!!!!!!!!!!!!!\n",
			     keycode);
			last_key = keycode;
		}
	} else if (last_key == keycode) {
		release_key_locked();
	}
	DBG2("ISR_STOP_jiffies=%ld \n", (long)jiffies);
	DBG2("TOTAL_TIME_IN_ISR=%ld \n",
	     (long)(jiffies - isr_jiffies) * 1000 / HZ);
	spin_unlock_irqrestore(&key_lock, flags);
}

static void handle_remote(int scancode, int press, int table)
{
	unsigned char keycode;

	if (table == TABLE_V0) {
		DBG2("keymap is keymapVelamorRemoteC_prov with Quandor "
		     "Keycodes\n");
		keycode = KEYMAP(keymapVelamorRemoteC_prov, scancode);
	} else {
		DBG2("keymap is keymapVelamorRemoteCR7 with Quandor "
		     "Keycodes\n");
		keycode = table == TABLE_REVERSED ?
				  KEYMAP(keymapVelamorRemoteCR7_reversed,
					 scancode) :
				  KEYMAP(keymapVelamorRemoteCR7, scancode);
	}
	if (keycode)
		handle_keypress(keycode, press, 0, 0);
	else
		DBG1("Attention: cannot handle remote scancode %d\n", scancode);
}

static unsigned char keyboard_keycode(int scancode, int table)
{
	return table == TABLE_REVERSED ?
		       KEYMAP(keymapvelamorKeyboardR7_reversed, scancode) :
		       KEYMAP(keymapvelamorKeyboardR7, scancode);
}

static void handle_keyboard(int scancode, int press, unsigned int mask,
			    int table)
{
	unsigned char keycode = keyboard_keycode(scancode, table);

	mask &= ~MASK_NOT_MODIFIERS;
	if (keycode)
		handle_keypress(keycode, press, mask, 0);
	else
		DBG1(": cannot handle keyboard scancode %d\n", scancode);
}

static void handle_mouse(int dx, int dy, unsigned int buttons)
{
	unsigned long flags;

	spin_lock_irqsave(&key_lock, flags);
	led_activity();
	if (dx) {
		DBG2("X_rel IS %d \n", dx);
		input_report_rel(&button_dev, REL_X, dx);
	}
	if (dy) {
		DBG2("Y_rel IS %d \n", -dy);
		input_report_rel(&button_dev, REL_Y, -dy);
	}
	if (buttons != btn_state)
		keys_follow(mouse_modifiers, &btn_state, buttons, 2,
			    ": mouse btn %d %d\n");
	if (btn_state)
		mod_timer(&release_click_mouse_timer,
			  jiffies + CLICK_BASE / time_click_simula);
	spin_unlock_irqrestore(&key_lock, flags);
}

/* The release timer: the held key, then the modifiers in table order. */
static void release_timer_callback(unsigned long unused)
{
	unsigned long flags;

	(void)unused;
	spin_lock_irqsave(&key_lock, flags);
	if (last_key) {
		release_key_locked();
		DBG1("^o^!!!!!!!!!!!!!!Key was successfully "
		     "released!!!!!!!!!!!!!\n");
	}
	keys_follow(kb_modifiers, &mod_state, 0, 1,
		    "Attenzione: synthetic modifier released %d %d\n");
	spin_unlock_irqrestore(&key_lock, flags);
}

/* Everything held goes up: key, modifiers, mouse buttons. */
static void release_all(void)
{
	unsigned long flags;

	spin_lock_irqsave(&key_lock, flags);
	release_key_locked();
	keys_follow(kb_modifiers, &mod_state, 0, 1,
		    "Attenzione: synthetic modifier %d %d\n");
	keys_follow(mouse_modifiers, &btn_state, 0, 2,
		    "<6>" IR_NAME ": mouse btn %d %d\n");
	spin_unlock_irqrestore(&key_lock, flags);
}

static void release_all_wrap(unsigned long unused)
{
	(void)unused;
	release_all();
}

/* A remote scancode as a received frame has it: in stand-by only the
 * power-type key of the table passes. */
static void remote_scancode(int scancode, int table)
{
	if (standBy) {
		unsigned char keycode;

		if (table == TABLE_V0)
			keycode = KEYMAP(keymapVelamorRemoteC_prov, scancode);
		else if (table == TABLE_REVERSED)
			keycode = KEYMAP(keymapVelamorRemoteCR7_reversed,
					 scancode);
		else
			keycode = KEYMAP(keymapVelamorRemoteCR7, scancode);
		if (keycode !=
		    (table == TABLE_REVERSED ? KEY_POWER : KEY_QUANDOR_POWER))
			return;
	}
	handle_remote(scancode, 1, table);
}

/* ---- Frames ---- */

struct frame {
	unsigned char len;
	unsigned char custom; /* custom ID */
	unsigned char source;
	unsigned char code[3]; /* keyboard codes */
	unsigned char remote;  /* remote code */
	unsigned char panel;   /* front-panel code */
	unsigned char buttons;
	unsigned char x, y; /* two's complement */
};

static void decode_normal(const unsigned char *b, struct frame *f)
{
	int k;

	f->len = b[0];
	f->custom = (b[1] >> 3) & 0x0f;
	f->source = ((b[1] & 1) << 1) | (b[2] >> 7);
	for (k = 0; k < 3; k++)
		f->code[k] = ((b[k + 2] & 0x3f) << 2) | (b[k + 3] >> 6);
	f->remote = f->code[0];
	f->panel = ((b[2] & 0x7f) << 1) | (b[3] >> 7);
	f->buttons = (b[2] >> 3) & 7;
	f->x = ((b[2] & 7) << 5) | (b[3] >> 3);
	f->y = ((b[3] & 7) << 5) | (b[4] >> 3);
}

/* The reversed layout. Every keyboard code takes its high six bits from
 * bits 7-2 of its byte and its low two from bits 6-5 of the next, as code
 * 1 does. */
static void decode_reversed(const unsigned char *b, struct frame *f)
{
	int k;

	f->len = b[0];
	f->custom = (b[1] >> 1) & 0x0f;
	f->source = ((b[1] >> 7) << 1) | (b[2] & 1);
	for (k = 0; k < 3; k++)
		f->code[k] = (b[k + 2] & 0xfc) | ((b[k + 3] >> 5) & 3);
	f->remote = (b[2] & 0xfc) | (b[3] >> 6);
	f->panel = 0;
	f->buttons = (b[2] >> 2) & 7;
	f->x = ((b[2] >> 5) << 5) | (b[3] & 0x1f);
	f->y = ((b[3] >> 5) << 5) | ((b[4] >> 2) & 0x1f);
}

/* Length 10 with one of the stop values in byte 2: nothing to do. */
static int stop_frame(const unsigned char *b)
{
	if (b[0] != LEN_STOP)
		return 0;
	if (b[2] == 63 || b[2] == 191) {
		DBG2("Keyboard STOP Frame\n");
		return 1;
	}
	if (b[2] == 127) {
		DBG2("Mouse STOP Frame\n");
		return 1;
	}
	return 0;
}

/* The key of a keyboard frame and the modifiers its other codes hold. */
static void keyboard_chord(const struct frame *f, int table, unsigned char *key,
			   unsigned int *mask)
{
	const struct mod_entry *m;
	unsigned char k1 = keyboard_keycode(f->code[0], table);
	unsigned char k2 = keyboard_keycode(f->code[1], table);
	unsigned char k3 = keyboard_keycode(f->code[2], table);

	*key = f->code[0];
	*mask = 0;
	if (f->len == LEN_THREE_KEYS)
		DBG2("\nthree_keys_scancode=%d\n", f->code[0]);
	for (m = kb_modifiers; m->keycode; m++) {
		if (f->len == LEN_TWO_KEYS) {
			DBG2("\nmodcode=%d\n", k2);
			DBG2("\nmod->keycode=%d\n", m->keycode);
			if (k2 == m->keycode) {
				*mask |= m->bit;
				*key = f->code[0];
			} else if (k1 == m->keycode) {
				*mask |= m->bit;
				*key = f->code[1];
			}
			DBG2("\nismodcode=%d\n",
			     k1 == m->keycode || k2 == m->keycode);
			DBG2("\nshiftmask=%d\n", *mask);
		} else if (f->len == LEN_THREE_KEYS) {
			if (k2 == m->keycode)
				*mask |= m->bit;
			DBG2("\nmodcode1=%d\n", k2);
			DBG2("\nshiftmask1=%d\n", *mask);
			if (k3 == m->keycode)
				*mask |= m->bit;
			DBG2("\nmodcode2=%d\n", k3);
			DBG2("\nshiftmask2=%d\n", *mask);
		}
	}
}

static void parse_frame(unsigned char *keybuf, int reversed)
{
	int table = reversed ? TABLE_REVERSED : TABLE_NORMAL;
	int power = reversed ? KEY_POWER : KEY_QUANDOR_POWER;
	unsigned int mask;
	unsigned char key;
	struct frame f;
	int i;

	if (keybuf[0] == MICRO_NOTHING)
		return;
	for (i = 0; i < MICRO_FRAME_LEN; i++)
		DBG1("keybuf[%d] = 0x%02x\n", i, keybuf[i]);
	if (reversed)
		decode_reversed(keybuf, &f);
	else
		decode_normal(keybuf, &f);
	DBG2("parse keybuf\n");
	DBG2("packetlen=0x%02x\n", f.len);
	DBG2("customID=0x%02x\n", f.custom);
	DBG2("fromID=0x%02x\n", f.source);

	switch (f.source) {
	case SRC_MOUSE:
		if (standBy || stop_frame(keybuf))
			return;
		DBG2("Got Mouse FrameType!!!!\n");
		DBG2("\npulse_mask=%d\n", f.buttons);
		if (f.len < (reversed ? LEN_MOTION_REVERSED : LEN_MOTION)) {
			handle_mouse(0, 0, f.buttons);
		} else {
			int x = (signed char)f.x, y = (signed char)f.y;

			DBG2("x is %d %d\n", f.x, x);
			DBG2("y is %d %d\n", f.y, y);
			handle_mouse(2 * x, -2 * y, f.buttons);
		}
		break;
	case SRC_KEYBOARD:
		if (stop_frame(keybuf))
			return;
		DBG2("Got Keyboard FrameType!!!!\n");
		DBG2("\nKEYBOARD_scancode=0x%02x\n\n", f.code[0]);
		if (standBy && keyboard_keycode(f.code[0], table) != power)
			return;
		if (f.len < LEN_KEYBOARD) {
			DBG2("error packet too short\n");
			return;
		}
		keyboard_chord(&f, table, &key, &mask);
		handle_keyboard(key, 1, mask, table);
		break;
	case SRC_REMOTE:
		DBG2("Got Remote Control FrameType!!!!\n");
		remote_scancode(f.remote, table);
		break;
	case SRC_PANEL:
		if (reversed || f.custom != CUSTOM_PANEL) {
			DBG2("Got Error FrameType!!!!\n");
			break;
		}
		DBG2("Got Front Panel Packet!!!!\n");
		key = KEYMAP(keymapFrontpanelR7, f.panel);
		if (standBy && key != KEY_POWER)
			return;
		if (key)
			handle_keypress(key, 1, 0, ORIGIN_PANEL);
		else
			DBG1("Attention: cannot handle frontpanel scancode "
			     "%d\n",
			     f.panel);
		break;
	default:
		DBG2("Unknown FrameType!!!!\n");
		break;
	}
}

static void handle_packet_v1_2(unsigned char *keybuf)
{
	parse_frame(keybuf, 0);
}

static void handle_packet_v1_reversed(unsigned char *keybuf)
{
	parse_frame(keybuf, 1);
}

static void handle_packet_v0(unsigned char *keybuf)
{
	if (!keybuf[0])
		return;
	if (standBy &&
	    KEYMAP(keymapVelamorRemoteC_prov, keybuf[0]) != KEY_QUANDOR_POWER)
		return;
	handle_remote(keybuf[0], 1, TABLE_V0);
}

/* The read routines run in the thread with micro_sem held and a client. */
static void myi2c_read_v0(void)
{
	unsigned char scancode;

	micro_query(new_client, MICRO_CMD_READ, &scancode, 1);
	if (scancode == MICRO_NOTHING)
		return;
	Micro_calls.handle_packet(&scancode);
}

static void myi2c_read_v1_2(void)
{
	unsigned char buf[MICRO_FRAME_LEN];
	int i;

	if (first_read < INT_MAX)
		first_read++;
	micro_query(new_client, MICRO_CMD_READ, buf, MICRO_FRAME_LEN);
	if (buf[0] == MICRO_NOTHING || buf[0] == MICRO_NOTHING_V1)
		return;
	DBG2("myi2c_read_jiffies=%d \n", (int)jiffies);
	for (i = 0; i < MICRO_FRAME_LEN; i++)
		DBG1("buf[%i]=%x\n", i, buf[i]);
	/* The layout is told by the first frames; a micro-controller whose
	 * first reads were all empty is told by its first frame. */
	if (first_read < 5 || !Micro_calls.handle_packet) {
		if (buf[1] == REVERSED_ID_LOW || buf[1] == REVERSED_ID_HIGH)
			Micro_calls.handle_packet = handle_packet_v1_reversed;
		else
			Micro_calls.handle_packet = handle_packet_v1_2;
		DBG2("first_read is %d\n", first_read);
	}
	Micro_calls.handle_packet(buf);
}

/* ---- Interrupt and thread ---- */

static void cir_isr(int irq, void *dev_id, struct pt_regs *regs)
{
	(void)dev_id;
	(void)regs;
	printk("\n");
	DBG2("cir_isr: Got interrupt %d\n", irq);
	irq_ir_count++;
	DBG2("Increasing irq_ir_count=%ld\n", irq_ir_count);
	DBG2("setting timer in ISR\n");
	isr_jiffies = jiffies;
	mod_timer(&release_timer, jiffies + release_time);
	atomic_inc(&irq_pending);
	wake_up_interruptible(&ir_wait);
	gbus_write_uint32(pgbus, CPU_edge_status, IR_EDGE_BIT);
}

static int ir_work(void)
{
	return atomic_read(&irq_pending) > 0 && micro_ready;
}

/*
 * One frame for every interrupt, also for those that came while a frame
 * was read: the micro-controller queues, and a frame left behind would
 * come one interrupt late. Interrupts taken before the micro-controller is
 * known are served once it is.
 */
static void ir_read_pending(void)
{
	down(&micro_sem);
	while (ir_work()) {
		atomic_dec(&irq_pending);
		Micro_calls.myi2c_read();
	}
	up(&micro_sem);
}

static int ir_thread(void *unused)
{
	(void)unused;
	daemonize();
	strcpy(current->comm, "IR thread");
	for (;;) {
		wait_event_interruptible(ir_wait, ir_work());
		if (signal_pending(current))
			break;
		ir_read_pending();
	}
	complete_and_exit(&on_exit_ir, 0);
	return 0;
}

static void ir_thread_stop(void)
{
	int ret;

	if (ir_thread_pid <= 0)
		return;
	ret = kill_proc(ir_thread_pid, SIGTERM, 1);
	DBG1("killed?\n");
	DBG1("retval1=%d\n", ret);
	kill_proc(2, SIGCONT, 1);
	DBG1("wait_for_completion\n");
	if (!ret)
		wait_for_completion(&on_exit_ir);
	ir_thread_pid = 0;
}

/* ---- Control device ---- */

/*
 * ioctl 7: the version as at attach, asked again 10 ticks apart while the
 * micro-controller answers 3 or more (still starting), at most
 * MICRO_VERSION_TRIES times. A query it does not acknowledge is -EIO, as
 * for the reboot timeout; so is one that never stops saying it is
 * starting. The version the read routine was chosen by stays as attach
 * found it. The client may go between two queries.
 */
static int ioctl_version(unsigned char *version)
{
	int tries, ret;

	for (tries = 0; tries < MICRO_VERSION_TRIES; tries++) {
		if (tries) {
			set_current_state(TASK_UNINTERRUPTIBLE);
			schedule_timeout(MICRO_VERSION_RETRY);
		}
		down(&micro_sem);
		ret = new_client ? micro_version_query(new_client, version) :
				   -ENODEV;
		up(&micro_sem);
		if (ret)
			return ret == -ENODEV ? -ENODEV : -EIO;
		printk("microIR version is %d\n", *version);
		if (*version < 3)
			return 0;
	}
	printk(KERN_ERR "v-ir: no valid microIR version after %d queries\n",
	       tries);
	return -EIO;
}

static int key_ioctl(struct inode *inode, struct file *file, unsigned int cmd,
		     unsigned long arg)
{
	unsigned char byte;
	unsigned long flags;
	int value, ret;

	(void)inode;
	(void)file;
	if (cmd > IR_IOCTL_LAST)
		return -EINVAL;

	switch (cmd) {
	case 0:
		return put_user(standBy, (unsigned char *)arg) ? -EFAULT : 0;
	case 1:
		if (arg == 1) {
			local_irq_save(flags);
			standBy = 1;
			gbus_write_uint32(pgbus, SYS_gpio_data, LED_ON);
			local_irq_restore(flags);
		} else if (arg == 0 && standBy) {
			local_irq_save(flags);
			standBy = 0;
			gbus_write_uint32(pgbus, SYS_gpio_data, LED_OFF);
			local_irq_restore(flags);
		}
		return 0;
	case 2:
		if (arg == 1)
			emulateMouse = 1;
		else if (arg == 0)
			emulateMouse = 0;
		return 0;
	case 3:
		if (get_user(value, (int *)arg))
			return -EFAULT;
		min_mouse_delta = value;
		return 0;
	case 4:
		if (get_user(value, (int *)arg))
			return -EFAULT;
		time_click_simula = value ? value : CLICK_DEFAULT;
		return 0;
	case 5:
	case 6:
		if (get_user(byte, (unsigned char *)arg))
			return -EFAULT;
		/* The control device is there during the start-up wait, the
		 * input device not yet: a key would lose its press and leave
		 * its timed release behind. */
		if (!input_ready)
			return -EAGAIN;
		printk("scancode sent:%d\n", byte);
		remote_scancode(byte, TABLE_NORMAL);
		return 0;
	case 7:
		if (verify_area(VERIFY_WRITE, (void *)arg, 1))
			return -EFAULT;
		ret = ioctl_version(&byte);
		if (ret)
			return ret;
		return put_user(byte, (unsigned char *)arg) ? -EFAULT : 0;
	case 8:
		if (get_user(byte, (unsigned char *)arg))
			return -EFAULT;
		down(&micro_sem);
		if (new_client) {
			unsigned char cmd[2] = { MICRO_CMD_REBOOT, byte };

			printk("reboot timeout is set to %d sec\n", byte);
			ret = i2c_master_send(new_client, (const char *)cmd,
					      2) == 2 ?
				      0 :
				      -EIO;
		} else {
			ret = -ENODEV;
		}
		up(&micro_sem);
		return ret;
	}
	return -EINVAL;
}

static struct file_operations key_fops = {
	.owner = THIS_MODULE,
	.ioctl = key_ioctl,
};

/* ---- I2C ---- */

static int vimora_i2c_hw_drv_attach(struct i2c_adapter *adap)
{
	struct i2c_client *client;
	int ret;

	printk("Using adapter=%s\n", adap->name);
	if (client_registered) {
		printk("v-ir: attach failed\n");
		return -1;
	}
	client = kmalloc(sizeof(*client), GFP_KERNEL);
	if (!client) {
		printk(KERN_ERR "v-ir: attach nomem\n");
		return -ENOMEM;
	}
	memset(client, 0, sizeof(*client));
	strcpy(client->name, "I2C_MICRO");
	client->addr = MICRO_ADDR;
	client->adapter = adap;
	client->driver = &vimora_i2c_hw_driver;
	DBG1("Client addr is =0x%02x\n", client->addr);
	DBG1("Adapter name is =%s\n", adap->name);
	DBG1("Client name is =%s\n", client->name);
	printk("v-ir: chip found @ 0x%x\n", client->addr);
	printk("v-ir: attach final ok\n");
	ret = i2c_attach_client(client);
	if (ret) {
		kfree(client);
		return ret;
	}

	ret = micro_detect(client);
	if (ret) {
		i2c_detach_client(client);
		kfree(client);
		return ret;
	}
	if (micro_version == 0) {
		Micro_calls.myi2c_read = myi2c_read_v0;
		Micro_calls.handle_packet = handle_packet_v0;
		DBG2("Micro_calls.myi2c_read=myi2c_read_v0\n");
		DBG2("Micro_calls.handle_packet=handle_packet_v0\n");
	} else {
		Micro_calls.myi2c_read = myi2c_read_v1_2;
		Micro_calls.handle_packet = NULL;
		DBG2("Micro_calls.myi2c_read=myi2c_read_v1_2\n");
	}

	down(&micro_sem);
	new_client = client;
	client_registered++;
	micro_ready = 1;
	up(&micro_sem);
	wake_up_interruptible(&ir_wait);
	return 0;
}

static int vimora_i2c_hw_drv_detach(struct i2c_client *client)
{
	DBG1("Detaching client.......................\n");
	/* Neither the thread nor an ioctl uses the client from here on. */
	down(&micro_sem);
	micro_ready = 0;
	if (client == new_client) {
		new_client = NULL;
		client_registered--;
		/* A micro-controller attached later is asked and told anew. */
		micro_version = MICRO_VERSION_UNKNOWN;
		first_read = 0;
		Micro_calls.handle_packet = NULL;
	}
	up(&micro_sem);
	if (i2c_detach_client(client))
		DBG1("ERROR while Detaching client!!!!!!!!\n");
	kfree(client);
	printk("v-ir: detach ok \n");
	return 0;
}

static int vimora_i2c_hw_drv_command(struct i2c_client *client,
				     unsigned int cmd, void *arg)
{
	(void)client;
	(void)cmd;
	(void)arg;
	return 0;
}

static struct i2c_driver vimora_i2c_hw_driver = {
	.name = "vimora_i2c_hw_driver",
	.id = 0,
	.flags = I2C_DF_NOTIFY,
	.attach_adapter = vimora_i2c_hw_drv_attach,
	.detach_client = vimora_i2c_hw_drv_detach,
	.command = vimora_i2c_hw_drv_command,
};

/* ---- Module ---- */

static void button_dev_setup(void)
{
	int i;

	memset(&button_dev, 0, sizeof(button_dev));
	button_dev.name = "IR-Remote Control";
	button_dev.idbus = BUS_I2C;
	button_dev.idvendor = 0x0001;
	button_dev.idproduct = 0x0001;
	button_dev.idversion = 0x0100;
	set_bit(EV_KEY, button_dev.evbit);
	set_bit(EV_REL, button_dev.evbit);
	set_bit(EV_LED, button_dev.evbit);
	set_bit(EV_REP, button_dev.evbit);
	for (i = 0; i <= KEY_MAX; i++)
		set_bit(i, button_dev.keybit);
	set_bit(REL_X, button_dev.relbit);
	set_bit(REL_Y, button_dev.relbit);
	set_bit(LED_NUML, button_dev.ledbit);
	set_bit(LED_CAPSL, button_dev.ledbit);
	set_bit(LED_SCROLLL, button_dev.ledbit);

	init_timer(&release_timer);
	release_timer.function = release_timer_callback;
	init_timer(&release_click_mouse_timer);
	release_click_mouse_timer.function = release_all_wrap;
	init_timer(&led_timer);
	led_timer.function = led_timer_off;
}

/* The micro-controller's line: GPIO 9, routed as GPIO interrupt source 1
 * (bit 14, IRQ 22), both edges. */
static void irq_path_setup(void)
{
	gbus_write_uint32(pgbus, SYS_gpio_dir, GPIO9_INPUT);
	saved_gpio_int = gbus_read_uint32(pgbus, SYS_gpio_int);
	gbus_write_uint32(pgbus, SYS_gpio_int,
			  (saved_gpio_int & ~GPIO_INT_FIELD) | GPIO_INT_MICRO);
	DBG2("REG_BASE_system_block + SYS_gpio_int: 0x%x\n",
	     gbus_read_uint32(pgbus, SYS_gpio_int));
	gbus_write_uint32(pgbus, CPU_edge_rise_set, IR_EDGE_BIT);
	gbus_write_uint32(pgbus, CPU_edge_fall_set, IR_EDGE_BIT);
	DBG2("CPU_edge_config_rise= 0x%lx\n",
	     (unsigned long)gbus_read_uint32(pgbus, CPU_edge_config_rise));
	DBG2("CPU_edge_config_fall= 0x%lx\n",
	     (unsigned long)gbus_read_uint32(pgbus, CPU_edge_config_fall));
}

/* Only an interrupt this driver holds is touched. */
static void irq_release(void)
{
	if (!irq_held)
		return;
	disable_irq(IR_IRQ);
	free_irq(IR_IRQ, &button_dev);
	irq_held = 0;
}

static void timers_stop(void)
{
	del_timer(&release_timer);
	del_timer(&release_click_mouse_timer);
	/* A blink in progress ends now, as its timer would end it. */
	if (del_timer(&led_timer))
		led_timer_off(0);
}

static int __init vimora_i2c_hw_drv_init(void)
{
	unsigned long flags;
	int ret;

	pllad = llad_open("0");
	pgbus = gbus_open(pllad);
	if (!pgbus) {
		printk(KERN_ERR "v-ir_init: cannot open the bus\n");
		ret = -ENODEV;
		goto err_bus;
	}

	standBy = 0;
	time_click_simula = CLICK_DEFAULT;
	min_mouse_delta = 0;
	emulateMouse = 0;
	atomic_set(&irq_pending, 0);
	spin_lock_init(&key_lock);
	init_completion(&on_exit_ir);

	error_dev =
		(unsigned char)register_chrdev(IR_MAJOR, IR_DEVNAME, &key_fops);
	if (error_dev)
		printk("Error during device registrations\n");

	button_dev_setup();
	set_current_state(TASK_INTERRUPTIBLE);
	schedule_timeout(STARTUP_WAIT);
	input_register_device(&button_dev);
	input_ready = 1;
	button_dev.rep[REP_DELAY] = repeat_delay;
	button_dev.rep[REP_PERIOD] = repeat_rate;
	DBG2("repeat_delay is=%ld", (long)button_dev.rep[REP_DELAY]);
	DBG2("repeat_rate is=%ld", (long)button_dev.rep[REP_PERIOD]);

	ir_thread_pid = kernel_thread(ir_thread, NULL,
				      CLONE_FS | CLONE_FILES | CLONE_SIGHAND);
	if (ir_thread_pid < 0) {
		printk(KERN_ERR "v-ir_init: cannot start the IR thread\n");
		ret = ir_thread_pid;
		ir_thread_pid = 0;
		goto err_input;
	}

	irq_path_setup();
	irq_ir_count = 0;
	irq_held = !request_irq(IR_IRQ, cir_isr, SA_INTERRUPT, IR_NAME,
				&button_dev);
	if (!irq_held) {
		printk(IR_NAME ": cannot allocate IRQ %d\n", IR_IRQ);
	} else {
		/* request_irq leaves the line enabled: no enable_irq here. */
		local_irq_save(flags);
		gbus_write_uint32(pgbus, SYS_gpio_dir, GPIO14_OUTPUT);
		gbus_write_uint32(pgbus, GPIO_dir_16_31, GPIO27_29_OUTPUT);
		/* Stand-by may have been entered during the start-up wait. */
		gbus_write_uint32(pgbus, SYS_gpio_data,
				  standBy ? LED_ON : LED_OFF);
		local_irq_restore(flags);
	}

	ret = i2c_add_driver(&vimora_i2c_hw_driver);
	if (ret) {
		printk("v-ir_init: i2c add driver failed\n");
		goto err_irq;
	}
	if (!client_registered) {
		printk(KERN_ERR "v-ir_init: no client found\n");
		i2c_del_driver(&vimora_i2c_hw_driver);
		ret = -EIO;
		goto err_irq;
	}
	return 0;

	/* Undone in reverse order, so nothing is left pointing into a module
	 * that did not load. */
err_irq:
	irq_release();
	ir_thread_stop();
err_input:
	input_ready = 0;
	input_unregister_device(&button_dev);
	timers_stop();
	if (!error_dev)
		unregister_chrdev(IR_MAJOR, IR_DEVNAME);
err_bus:
	if (pgbus)
		gbus_close(pgbus);
	if (pllad)
		llad_close(pllad);
	pgbus = NULL;
	pllad = NULL;
	return ret;
}

static void __exit vimora_i2c_hw_drv_exit(void)
{
	if (new_client)
		DBG1("!!!!!!!!!!!!!EXITING!!!!!!!!!!!!!\n");
	/* Detaches the client: the thread and the ioctls leave it alone
	 * from then on. */
	i2c_del_driver(&vimora_i2c_hw_driver);
	DBG1("In module exit!!!!!!!!\n");
	irq_ir_count = 0;
	DBG1("atomic set DONE!!!\n");
	release_all();
	DBG1("release all DONE!!!\n");
	irq_release();
	DBG1("disable and free irq DONE!!!\n");
	input_ready = 0;
	input_unregister_device(&button_dev);
	DBG1("button_dev unregistered DONE!!!\n");
	timers_stop();
	DBG1("error_dev is %d\n", error_dev);
	if (!error_dev) {
		unregister_chrdev(IR_MAJOR, IR_DEVNAME);
		DBG1("unregistered chrdev DONE!!!\n");
	}
	ir_thread_stop();
	gbus_close(pgbus);
	llad_close(pllad);
}

module_init(vimora_i2c_hw_drv_init);
module_exit(vimora_i2c_hw_drv_exit);
