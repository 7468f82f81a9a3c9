// The input core and its event device, as the box's 2.4 kernel has them.
//
// A driver registers an input_dev and reports events through input_event;
// the core drops what the device cannot report and key events that change
// nothing, repeats a held key from its repeat timer (value 2), and hands
// each event to the event device: char major 13, minor 64 + the device's
// number, read by user space as struct input_event records laid out for
// the reader's ABI. The major is taken with the first device and given
// back with the last, as when the core and evdev are modules.
//
// The platform also keeps the last events of every device with their
// tick, for tests and the virtual box (h2k_input_event).
#include "kern.h"

extern "C" {
#include <linux/input.h>
#include <asm/bitops.h>
}

namespace {

#define INPUT_MAJOR	  13
#define EVDEV_MINOR_BASE  64
#define EVDEV_MINORS	  32
#define EVDEV_BUFFER_SIZE 64

/* An event as the core keeps it; laid out for the reader on the way out. */
struct evrec {
	long sec, usec;
	unsigned short type, code;
	int value;
};

/* One open file of an event device. */
struct evdev_client {
	struct evrec buffer[EVDEV_BUFFER_SIZE];
	int head, tail;	       /* tail: next to read; head == tail: empty */
	int gone;	       /* its device was unregistered */
	struct input_dev *dev; /* NULL once gone */
	wait_queue_head_t wait;
	struct evdev_client *next;
};

struct input_dev *devices[EVDEV_MINORS];
struct evdev_client *clients[EVDEV_MINORS];
int device_count;

/* The platform's view of the events: the last INPUT_LOG_SIZE, numbered. */
#define INPUT_LOG_SIZE 8192
struct kplat_input_record input_log[INPUT_LOG_SIZE];
unsigned long log_next;	 /* number of the next record */
unsigned long log_first; /* number of the oldest kept */

void log_event(struct input_dev *dev, const struct evrec *r)
{
	struct kplat_input_record *rec = &input_log[log_next % INPUT_LOG_SIZE];

	rec->jiffies = jiffies;
	rec->sec = r->sec;
	rec->usec = r->usec;
	rec->device = dev->number;
	rec->type = r->type;
	rec->code = r->code;
	rec->value = r->value;
	log_next++;
	if (log_next - log_first > INPUT_LOG_SIZE)
		log_first = log_next - INPUT_LOG_SIZE;
}

/* A full buffer loses its oldest event, not all of them. */
void client_push(struct evdev_client *c, const struct evrec *r)
{
	c->buffer[c->head] = *r;
	c->head = (c->head + 1) % EVDEV_BUFFER_SIZE;
	if (c->head == c->tail)
		c->tail = (c->tail + 1) % EVDEV_BUFFER_SIZE;
	wake_up_interruptible(&c->wait);
}

void deliver(struct input_dev *dev, unsigned int type, unsigned int code,
	     int value)
{
	struct timeval tv;
	struct evrec r;

	do_gettimeofday(&tv);
	r.sec = tv.tv_sec;
	r.usec = tv.tv_usec;
	r.type = (unsigned short)type;
	r.code = (unsigned short)code;
	r.value = value;
	log_event(dev, &r);
	for (struct evdev_client *c = clients[dev->number]; c; c = c->next)
		client_push(c, &r);
}

/* The repeat timer of a device: a held key again, every REP_PERIOD. */
void input_repeat_key(unsigned long data)
{
	struct input_dev *dev = (struct input_dev *)data;

	if (!test_bit(dev->repeat_key, dev->key))
		return;
	input_event(dev, EV_KEY, dev->repeat_key, 2);
	mod_timer(&dev->timer, jiffies + dev->rep[REP_PERIOD]);
}

/* A period of 0 or less would re-arm the timer for the tick it runs in:
 * such a device does not repeat. */
int repeats(struct input_dev *dev)
{
	return test_bit(EV_REP, dev->evbit) && dev->timer.function &&
	       dev->rep[REP_PERIOD] > 0;
}

/* ---- The event device ---- */

/* The record of struct input_event for the reader: a timeval of two
 * longs, then type, code and value. */
unsigned long record_size(struct file *file)
{
	return kern_file_user_bits(file) == 64 ? 24 : 16;
}

void layout(struct file *file, const struct evrec *r, unsigned char *out)
{
	int bits = kern_file_user_bits(file);
	unsigned long w = bits == 64 ? 8 : 4;
	long long sec = r->sec, usec = r->usec;

	memcpy(out, &sec, w); /* little-endian: the low bytes first */
	memcpy(out + w, &usec, w);
	memcpy(out + 2 * w, &r->type, 2);
	memcpy(out + 2 * w + 2, &r->code, 2);
	memcpy(out + 2 * w + 4, &r->value, 4);
}

int evdev_open(struct inode *inode, struct file *file)
{
	unsigned int minor = MINOR(inode->i_rdev);
	struct evdev_client *c;
	int i;

	if (minor < EVDEV_MINOR_BASE ||
	    minor >= EVDEV_MINOR_BASE + EVDEV_MINORS)
		return -ENODEV;
	i = (int)(minor - EVDEV_MINOR_BASE);
	if (!devices[i])
		return -ENODEV;
	c = (struct evdev_client *)k2h_zalloc(sizeof(*c));
	c->dev = devices[i];
	init_waitqueue_head(&c->wait);
	c->next = clients[i];
	clients[i] = c;
	file->private_data = c;
	return 0;
}

int evdev_release(struct inode *inode, struct file *file)
{
	struct evdev_client *c = (struct evdev_client *)file->private_data;

	(void)inode;
	for (int i = 0; i < EVDEV_MINORS; i++)
		for (struct evdev_client **p = &clients[i]; *p; p = &(*p)->next)
			if (*p == c) {
				*p = c->next;
				break;
			}
	k2h_free(c);
	return 0;
}

ssize_t evdev_read(struct file *file, char *buffer, size_t count, loff_t *ppos)
{
	struct evdev_client *c = (struct evdev_client *)file->private_data;
	unsigned long size = record_size(file);
	unsigned char rec[24];
	ssize_t done = 0;
	int ret;

	(void)ppos;
	if (count < size)
		return -EINVAL;
	if (c->head == c->tail && !c->gone && (file->f_flags & O_NONBLOCK))
		return -EAGAIN;
	ret = wait_event_interruptible(c->wait, c->head != c->tail || c->gone);
	if (ret)
		return ret;
	if (c->head == c->tail)
		return -ENODEV;
	while (c->head != c->tail && done + size <= count) {
		layout(file, &c->buffer[c->tail], rec);
		if (copy_to_user(buffer + done, rec, size))
			return done ? done : -EFAULT;
		c->tail = (c->tail + 1) % EVDEV_BUFFER_SIZE;
		done += (ssize_t)size;
	}
	return done;
}

unsigned int evdev_poll(struct file *file, poll_table *wait)
{
	struct evdev_client *c = (struct evdev_client *)file->private_data;

	poll_wait(file, &c->wait, wait);
	if (c->head != c->tail)
		return POLLIN | POLLRDNORM;
	return c->gone ? POLLHUP | POLLERR : 0;
}

/* ---- The event device's ioctls ----
 *
 * The requests of the 2.4 event device ('E'), decoded for the caller: a
 * program of the box (32 bits) numbers them as the MIPS kernel does (three
 * direction bits: 1 none, 2 read, 4 write; 13 size bits), a host program
 * as the host does (two: 1 write, 2 read; 14 size bits). Bitmaps are
 * arrays of the caller's longs, least significant bit first: on a
 * little-endian machine the bytes are the same, only the length differs. */
struct evreq {
	unsigned int nr, size;
	int rd, wr;
};

void decode(struct file *file, unsigned int cmd, struct evreq *r)
{
	unsigned int dir;

	r->nr = cmd & 0xff;
	if (kern_file_user_bits(file) == 32) {
		dir = cmd >> 29;
		r->size = (cmd >> 16) & 0x1fff;
		r->rd = (dir & 2) != 0;
		r->wr = (dir & 4) != 0;
	} else {
		dir = cmd >> 30;
		r->size = (cmd >> 16) & 0x3fff;
		r->rd = (dir & 2) != 0;
		r->wr = (dir & 1) != 0;
	}
}

/* A bitmap of max + 1 bits as NBITS(max) of the caller's longs, cut to
 * what the caller's buffer holds: the bytes copied. */
long put_bits(struct file *file, unsigned long arg, const unsigned long *bits,
	      unsigned int max, unsigned int size)
{
	unsigned long w = kern_file_user_bits(file) / 8;
	unsigned long len = (max / (8 * w) + 1) * w; /* NBITS(max) longs */

	if (len > size)
		len = size;
	return copy_to_user((void *)arg, bits, len) ? -EFAULT : (long)len;
}

long put_string(unsigned long arg, const char *text, unsigned int size)
{
	unsigned long len;

	if (!text)
		return 0;
	len = strlen(text) + 1;
	if (len > size)
		len = size;
	return copy_to_user((void *)arg, text, len) ? -EFAULT : (long)len;
}

long put_ints(unsigned long arg, const int *v, int n)
{
	return copy_to_user((void *)arg, v, n * sizeof(int)) ? -EFAULT : 0;
}

unsigned int keycode_at(struct input_dev *dev, unsigned int i)
{
	switch (dev->keycodesize) {
	case 1:
		return ((unsigned char *)dev->keycode)[i];
	case 2:
		return ((unsigned short *)dev->keycode)[i];
	default:
		return ((unsigned int *)dev->keycode)[i];
	}
}

void set_keycode_at(struct input_dev *dev, unsigned int i, unsigned int v)
{
	switch (dev->keycodesize) {
	case 1:
		((unsigned char *)dev->keycode)[i] = (unsigned char)v;
		break;
	case 2:
		((unsigned short *)dev->keycode)[i] = (unsigned short)v;
		break;
	default:
		((unsigned int *)dev->keycode)[i] = v;
		break;
	}
}

/* EVIOCSKEYCODE: the scancode's new key; the old key stays in keybit only
 * if another scancode still gives it. A scancode is checked against the
 * table's size (2.4 let one past the end through) and a key against
 * KEY_MAX. */
long set_keycode(struct input_dev *dev, unsigned long arg)
{
	int v[2];
	unsigned int old, i;

	if (copy_from_user(v, (void *)arg, sizeof(v)))
		return -EFAULT;
	if (v[0] < 0 || (unsigned int)v[0] >= dev->keycodemax ||
	    !dev->keycodesize || !dev->keycode || v[1] < 0 || v[1] > KEY_MAX ||
	    (dev->keycodesize == 1 && v[1] > 0xff))
		return -EINVAL;
	old = keycode_at(dev, v[0]);
	set_keycode_at(dev, v[0], v[1]);
	clear_bit(old, dev->keybit);
	set_bit(v[1], dev->keybit);
	for (i = 0; i < dev->keycodemax; i++)
		if (keycode_at(dev, i) == old) {
			set_bit(old, dev->keybit);
			break;
		}
	return 0;
}

int evdev_ioctl(struct inode *inode, struct file *file, unsigned int cmd,
		unsigned long arg)
{
	struct evdev_client *c = (struct evdev_client *)file->private_data;
	struct input_dev *dev = c->dev;
	struct evreq r;
	int v[2];

	(void)inode;
	if (!dev)
		return -ENODEV;
	decode(file, cmd, &r);
	if (((cmd >> 8) & 0xff) != 'E')
		return -EINVAL;
	if (r.rd && r.size == sizeof(int) && r.nr == 0x01) { /* EVIOCGVERSION */
		v[0] = EV_VERSION;
		return put_ints(arg, v, 1);
	}
	if (r.rd && r.size == 8 && r.nr == 0x02) { /* EVIOCGID: short[4] */
		unsigned short id[4] = { dev->idbus, dev->idvendor,
					 dev->idproduct, dev->idversion };
		return copy_to_user((void *)arg, id, sizeof(id)) ? -EFAULT : 0;
	}
	if (r.size == 2 * sizeof(int) &&
	    r.nr == 0x03) { /* EVIOCGREP, EVIOCSREP */
		if (r.rd)
			return put_ints(arg, dev->rep, 2);
		if (!r.wr)
			return -EINVAL;
		if (copy_from_user(v, (void *)arg, sizeof(v)))
			return -EFAULT;
		dev->rep[REP_DELAY] = v[0];
		dev->rep[REP_PERIOD] = v[1];
		return 0;
	}
	if (r.size == 2 * sizeof(int) &&
	    r.nr == 0x04) { /* EVIOCGKEYCODE, EVIOCSKEYCODE */
		if (r.wr && !r.rd)
			return set_keycode(dev, arg);
		if (!r.rd)
			return -EINVAL;
		if (copy_from_user(v, (void *)arg, sizeof(int)))
			return -EFAULT;
		if (v[0] < 0 || (unsigned int)v[0] >= dev->keycodemax ||
		    !dev->keycodesize || !dev->keycode)
			return -EINVAL;
		v[1] = (int)keycode_at(dev, v[0]);
		return put_ints(arg + sizeof(int), v + 1, 1);
	}
	if (r.rd && r.size == sizeof(int) && r.nr == 0x84) { /* EVIOCGEFFECTS */
		v[0] = dev->ff_effects_max;
		return put_ints(arg, v, 1);
	}
	/* The rest read a length the caller gives. */
	if (!r.rd || r.wr)
		return -EINVAL;
	if ((r.nr & ~EV_MAX) == 0x20) { /* EVIOCGBIT(type, len) */
		switch (r.nr & EV_MAX) {
		case 0:
			return put_bits(file, arg, dev->evbit, EV_MAX, r.size);
		case EV_KEY:
			return put_bits(file, arg, dev->keybit, KEY_MAX,
					r.size);
		case EV_REL:
			return put_bits(file, arg, dev->relbit, REL_MAX,
					r.size);
		case EV_ABS:
			return put_bits(file, arg, dev->absbit, ABS_MAX,
					r.size);
		case EV_MSC:
			return put_bits(file, arg, dev->mscbit, MSC_MAX,
					r.size);
		case EV_LED:
			return put_bits(file, arg, dev->ledbit, LED_MAX,
					r.size);
		case EV_SND:
			return put_bits(file, arg, dev->sndbit, SND_MAX,
					r.size);
		case EV_FF:
			return put_bits(file, arg, dev->ffbit, FF_MAX, r.size);
		default:
			return -EINVAL;
		}
	}
	switch (r.nr) {
	case 0x18:
		return put_bits(file, arg, dev->key, KEY_MAX,
				r.size); /* EVIOCGKEY */
	case 0x19:
		return put_bits(file, arg, dev->led, LED_MAX,
				r.size); /* EVIOCGLED */
	case 0x1a:
		return put_bits(file, arg, dev->snd, SND_MAX,
				r.size); /* EVIOCGSND */
	case 0x06:
		return put_string(arg, dev->name, r.size); /* EVIOCGNAME */
	case 0x07:
		return put_string(arg, dev->phys, r.size); /* EVIOCGPHYS */
	case 0x08:
		return put_string(arg, dev->uniq, r.size); /* EVIOCGUNIQ */
	}
	if ((r.nr & ~ABS_MAX) == 0x40 &&
	    r.size == 5 * sizeof(int)) { /* EVIOCGABS(axis) */
		unsigned int a = r.nr & ABS_MAX;
		int info[5] = { dev->abs[a], dev->absmin[a], dev->absmax[a],
				dev->absfuzz[a], dev->absflat[a] };
		return put_ints(arg, info, 5);
	}
	return -EINVAL;
}

struct file_operations input_fops;

/* ---- Names, for the platform's view ---- */

struct code_name {
	unsigned short code;
	const char *name;
};

#define N(x)          \
	{             \
		x, #x \
	}
const struct code_name ev_names[] = {
	N(EV_RST), N(EV_KEY), N(EV_REL), N(EV_ABS), N(EV_MSC),	     N(EV_LED),
	N(EV_SND), N(EV_REP), N(EV_FF),	 N(EV_PWR), N(EV_FF_STATUS),
};

const struct code_name key_names[] = {
	N(KEY_RESERVED),
	N(KEY_ESC),
	N(KEY_1),
	N(KEY_2),
	N(KEY_3),
	N(KEY_4),
	N(KEY_5),
	N(KEY_6),
	N(KEY_7),
	N(KEY_8),
	N(KEY_9),
	N(KEY_0),
	N(KEY_MINUS),
	N(KEY_EQUAL),
	N(KEY_BACKSPACE),
	N(KEY_TAB),
	N(KEY_Q),
	N(KEY_W),
	N(KEY_E),
	N(KEY_R),
	N(KEY_T),
	N(KEY_Y),
	N(KEY_U),
	N(KEY_I),
	N(KEY_O),
	N(KEY_P),
	N(KEY_LEFTBRACE),
	N(KEY_RIGHTBRACE),
	N(KEY_ENTER),
	N(KEY_LEFTCTRL),
	N(KEY_A),
	N(KEY_S),
	N(KEY_D),
	N(KEY_F),
	N(KEY_G),
	N(KEY_H),
	N(KEY_J),
	N(KEY_K),
	N(KEY_L),
	N(KEY_SEMICOLON),
	N(KEY_APOSTROPHE),
	N(KEY_GRAVE),
	N(KEY_LEFTSHIFT),
	N(KEY_BACKSLASH),
	N(KEY_Z),
	N(KEY_X),
	N(KEY_C),
	N(KEY_V),
	N(KEY_B),
	N(KEY_N),
	N(KEY_M),
	N(KEY_COMMA),
	N(KEY_DOT),
	N(KEY_SLASH),
	N(KEY_RIGHTSHIFT),
	N(KEY_KPASTERISK),
	N(KEY_LEFTALT),
	N(KEY_SPACE),
	N(KEY_CAPSLOCK),
	N(KEY_F1),
	N(KEY_F2),
	N(KEY_F3),
	N(KEY_F4),
	N(KEY_F5),
	N(KEY_F6),
	N(KEY_F7),
	N(KEY_F8),
	N(KEY_F9),
	N(KEY_F10),
	N(KEY_NUMLOCK),
	N(KEY_SCROLLLOCK),
	N(KEY_KP7),
	N(KEY_KP8),
	N(KEY_KP9),
	N(KEY_KPMINUS),
	N(KEY_KP4),
	N(KEY_KP5),
	N(KEY_KP6),
	N(KEY_KPPLUS),
	N(KEY_KP1),
	N(KEY_KP2),
	N(KEY_KP3),
	N(KEY_KP0),
	N(KEY_KPDOT),
	N(KEY_103RD),
	N(KEY_F13),
	N(KEY_102ND),
	N(KEY_F11),
	N(KEY_F12),
	N(KEY_F14),
	N(KEY_F15),
	N(KEY_F16),
	N(KEY_F17),
	N(KEY_F18),
	N(KEY_F19),
	N(KEY_F20),
	N(KEY_KPENTER),
	N(KEY_RIGHTCTRL),
	N(KEY_KPSLASH),
	N(KEY_SYSRQ),
	N(KEY_RIGHTALT),
	N(KEY_LINEFEED),
	N(KEY_HOME),
	N(KEY_UP),
	N(KEY_PAGEUP),
	N(KEY_LEFT),
	N(KEY_RIGHT),
	N(KEY_END),
	N(KEY_DOWN),
	N(KEY_PAGEDOWN),
	N(KEY_INSERT),
	N(KEY_DELETE),
	N(KEY_MACRO),
	N(KEY_MUTE),
	N(KEY_VOLUMEDOWN),
	N(KEY_VOLUMEUP),
	N(KEY_POWER),
	N(KEY_KPEQUAL),
	N(KEY_KPPLUSMINUS),
	N(KEY_PAUSE),
	N(KEY_F21),
	N(KEY_F22),
	N(KEY_F23),
	N(KEY_F24),
	N(KEY_KPCOMMA),
	N(KEY_LEFTMETA),
	N(KEY_RIGHTMETA),
	N(KEY_COMPOSE),
	N(KEY_STOP),
	N(KEY_AGAIN),
	N(KEY_PROPS),
	N(KEY_UNDO),
	N(KEY_FRONT),
	N(KEY_COPY),
	N(KEY_OPEN),
	N(KEY_PASTE),
	N(KEY_FIND),
	N(KEY_CUT),
	N(KEY_HELP),
	N(KEY_MENU),
	N(KEY_CALC),
	N(KEY_SETUP),
	N(KEY_SLEEP),
	N(KEY_WAKEUP),
	N(KEY_FILE),
	N(KEY_SENDFILE),
	N(KEY_DELETEFILE),
	N(KEY_XFER),
	N(KEY_PROG1),
	N(KEY_PROG2),
	N(KEY_WWW),
	N(KEY_MSDOS),
	N(KEY_COFFEE),
	N(KEY_DIRECTION),
	N(KEY_CYCLEWINDOWS),
	N(KEY_MAIL),
	N(KEY_BOOKMARKS),
	N(KEY_COMPUTER),
	N(KEY_BACK),
	N(KEY_FORWARD),
	N(KEY_CLOSECD),
	N(KEY_EJECTCD),
	N(KEY_EJECTCLOSECD),
	N(KEY_NEXTSONG),
	N(KEY_PLAYPAUSE),
	N(KEY_PREVIOUSSONG),
	N(KEY_STOPCD),
	N(KEY_RECORD),
	N(KEY_REWIND),
	N(KEY_PHONE),
	N(KEY_ISO),
	N(KEY_CONFIG),
	N(KEY_HOMEPAGE),
	N(KEY_REFRESH),
	N(KEY_EXIT),
	N(KEY_MOVE),
	N(KEY_EDIT),
	N(KEY_SCROLLUP),
	N(KEY_SCROLLDOWN),
	N(KEY_KPLEFTPAREN),
	N(KEY_KPRIGHTPAREN),
	N(KEY_INTL1),
	N(KEY_INTL2),
	N(KEY_INTL3),
	N(KEY_INTL4),
	N(KEY_INTL5),
	N(KEY_INTL6),
	N(KEY_INTL7),
	N(KEY_INTL8),
	N(KEY_INTL9),
	N(KEY_LANG1),
	N(KEY_LANG2),
	N(KEY_LANG3),
	N(KEY_LANG4),
	N(KEY_LANG5),
	N(KEY_LANG6),
	N(KEY_LANG7),
	N(KEY_LANG8),
	N(KEY_LANG9),
	N(KEY_PLAYCD),
	N(KEY_PAUSECD),
	N(KEY_PROG3),
	N(KEY_PROG4),
	N(KEY_SUSPEND),
	N(KEY_CLOSE),
	N(KEY_PLAY),
	N(KEY_FASTFORWARD),
	N(KEY_BASSBOOST),
	N(KEY_PRINT),
	N(KEY_HP),
	N(KEY_CAMERA),
	N(KEY_SOUND),
	N(KEY_QUESTION),
	N(KEY_EMAIL),
	N(KEY_CHAT),
	N(KEY_SEARCH),
	N(KEY_CONNECT),
	N(KEY_FINANCE),
	N(KEY_SPORT),
	N(KEY_SHOP),
	N(KEY_ALTERASE),
	N(KEY_CANCEL),
	N(KEY_BRIGHTNESSDOWN),
	N(KEY_BRIGHTNESSUP),
	N(KEY_MEDIA),
	N(KEY_UNKNOWN),
	N(BTN_0),
	N(BTN_1),
	N(BTN_2),
	N(BTN_3),
	N(BTN_4),
	N(BTN_5),
	N(BTN_6),
	N(BTN_7),
	N(BTN_8),
	N(BTN_9),
	N(BTN_LEFT),
	N(BTN_RIGHT),
	N(BTN_MIDDLE),
	N(BTN_SIDE),
	N(BTN_EXTRA),
	N(BTN_FORWARD),
	N(BTN_BACK),
};

const struct code_name rel_names[] = {
	N(REL_X),    N(REL_Y),	   N(REL_Z),	N(REL_HWHEEL),
	N(REL_DIAL), N(REL_WHEEL), N(REL_MISC),
};

const struct code_name led_names[] = {
	N(LED_NUML),	N(LED_CAPSL), N(LED_SCROLLL),
	N(LED_COMPOSE), N(LED_KANA),  N(LED_SLEEP),
	N(LED_SUSPEND), N(LED_MUTE),  N(LED_MISC),
};

const struct code_name rep_names[] = {
	N(REP_DELAY),
	N(REP_PERIOD),
};
#undef N

template <size_t n>
const char *lookup(const struct code_name (&table)[n], unsigned int code)
{
	for (const struct code_name &e : table)
		if (e.code == code)
			return e.name;
	return NULL;
}

} // namespace

void kern_reset_input(void)
{
	memset(devices, 0, sizeof(devices));
	memset(clients, 0, sizeof(clients));
	device_count = 0;
	log_next = log_first = 0;
}

extern "C" {

void input_register_device(struct input_dev *dev)
{
	int i;

	for (i = 0; i < EVDEV_MINORS; i++)
		if (!devices[i])
			break;
	if (i == EVDEV_MINORS) {
		printk(KERN_ERR "input: more than %d input devices\n",
		       EVDEV_MINORS);
		return;
	}
	set_bit(EV_RST, dev->evbit);
	init_timer(&dev->timer);
	dev->timer.data = (unsigned long)dev;
	dev->timer.function = input_repeat_key;
	dev->rep[REP_DELAY] = HZ / 4;
	dev->rep[REP_PERIOD] = HZ / 33;
	dev->number = i;
	devices[i] = dev;
	input_fops.read = evdev_read;
	input_fops.poll = evdev_poll;
	input_fops.open = evdev_open;
	input_fops.release = evdev_release;
	input_fops.ioctl = evdev_ioctl;
	if (device_count++ == 0 &&
	    register_chrdev(INPUT_MAJOR, "input", &input_fops))
		printk(KERN_ERR "input: unable to register char major %d\n",
		       INPUT_MAJOR);
}

void input_unregister_device(struct input_dev *dev)
{
	int i = dev->number;

	if (i < 0 || i >= EVDEV_MINORS || devices[i] != dev)
		return;
	del_timer(&dev->timer);
	/* Readers of the gone device see the end of it. */
	for (struct evdev_client *c = clients[i], *next; c; c = next) {
		next = c->next;
		c->next = NULL;
		c->gone = 1;
		c->dev = NULL;
		wake_up_interruptible(&c->wait);
	}
	clients[i] = NULL;
	devices[i] = NULL;
	if (--device_count == 0)
		unregister_chrdev(INPUT_MAJOR, "input");
}

void input_event(struct input_dev *dev, unsigned int type, unsigned int code,
		 int value)
{
	if (type > EV_MAX || !test_bit(type, dev->evbit))
		return;

	switch (type) {
	case EV_KEY:
		if (code > KEY_MAX || !test_bit(code, dev->keybit) ||
		    (!!test_bit(code, dev->key)) == value)
			return;
		if (value == 2)
			break;
		change_bit(code, dev->key);
		if (repeats(dev)) {
			if (value) {
				mod_timer(&dev->timer,
					  jiffies +
						  (dev->rep[REP_DELAY] > 0 ?
							   dev->rep[REP_DELAY] :
							   0));
				dev->repeat_key = code;
				break;
			}
			del_timer(&dev->timer);
		}
		break;
	case EV_REL:
		if (code > REL_MAX || !test_bit(code, dev->relbit) ||
		    value == 0)
			return;
		break;
	case EV_ABS:
		if (code > ABS_MAX || !test_bit(code, dev->absbit) ||
		    dev->abs[code] == value)
			return;
		dev->abs[code] = value;
		break;
	case EV_MSC:
		if (code > MSC_MAX || !test_bit(code, dev->mscbit))
			return;
		break;
	case EV_LED:
		if (code > LED_MAX || !test_bit(code, dev->ledbit) ||
		    (!!test_bit(code, dev->led)) == value)
			return;
		change_bit(code, dev->led);
		if (dev->event)
			dev->event(dev, type, code, value);
		break;
	case EV_SND:
		if (code > SND_MAX || !test_bit(code, dev->sndbit) ||
		    (!!test_bit(code, dev->snd)) == value)
			return;
		change_bit(code, dev->snd);
		if (dev->event)
			dev->event(dev, type, code, value);
		break;
	case EV_REP:
		if (code > REP_MAX || dev->rep[code] == value)
			return;
		dev->rep[code] = value;
		if (dev->event)
			dev->event(dev, type, code, value);
		break;
	default:
		if (dev->event)
			dev->event(dev, type, code, value);
		break;
	}
	if (dev->number >= 0 && dev->number < EVDEV_MINORS &&
	    devices[dev->number] == dev)
		deliver(dev, type, code, value);
}

unsigned long h2k_input_events(unsigned long *first)
{
	*first = log_first;
	return log_next;
}

int h2k_input_event(unsigned long seq, struct kplat_input_record *out)
{
	if (seq < log_first || seq >= log_next)
		return 0;
	*out = input_log[seq % INPUT_LOG_SIZE];
	return 1;
}

void h2k_input_clear(void)
{
	log_first = log_next;
}

int h2k_input_device(int number, const char **name)
{
	if (number < 0 || number >= EVDEV_MINORS || !devices[number])
		return 0;
	*name = devices[number]->name ? devices[number]->name : "";
	return 1;
}

const char *h2k_input_name(unsigned int type, unsigned int code, int of_type)
{
	if (of_type)
		return lookup(ev_names, type);
	switch (type) {
	case EV_KEY:
		return lookup(key_names, code);
	case EV_REL:
		return lookup(rel_names, code);
	case EV_LED:
		return lookup(led_names, code);
	case EV_REP:
		return lookup(rep_names, code);
	default:
		return NULL;
	}
}

} // extern "C"
