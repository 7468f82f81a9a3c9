// The SoC's bus-access layer and GPIO routines: handles, 32-bit register
// access on the internal bus (served by the board through the host), and
// the microsecond delay of the SoC's code.
#include "kern.h"

/* What the handles point to; a closed one is caught at its next use. */
struct llad {
	int open;
};

struct gbus {
	int open;
};

namespace {

#define BUS_HANDLES 16

struct llad llads[BUS_HANDLES];
struct gbus gbuses[BUS_HANDLES];

/* The GPIO banks: pins 0-15 in the system block, 16-31 in the second
 * bank; data and direction registers take mask/value words. */
const u32 gpio_data[2] = { 0x10504, 0x27110 };

template <typename T> T *take(T (&table)[BUS_HANDLES])
{
	for (T &h : table)
		if (!h.open) {
			h.open = 1;
			return &h;
		}
	printk(KERN_ERR "tango2: out of bus handles\n");
	return NULL;
}

template <typename T> int is_open(T (&table)[BUS_HANDLES], T *h)
{
	return h >= table && h < table + BUS_HANDLES && h->open;
}

void check_access(struct gbus *h, u32 addr)
{
	if (h != GBUS_HANDLE && !is_open(gbuses, h))
		KBUG("gbus access through a handle that is not open");
	if (addr & 3)
		KBUG("unaligned 32-bit access on the SoC's bus");
}

} // namespace

void kern_reset_gbus(void)
{
	memset(llads, 0, sizeof(llads));
	memset(gbuses, 0, sizeof(gbuses));
}

extern "C" {

struct llad *llad_open(const char *device)
{
	if (!device || strcmp(device, "0"))
		return NULL;
	return take(llads);
}

void llad_close(struct llad *h)
{
	if (!is_open(llads, h))
		KBUG("llad_close of a handle that is not open");
	h->open = 0;
}

struct gbus *gbus_open(struct llad *h)
{
	if (!h)
		return NULL;
	if (!is_open(llads, h))
		KBUG("gbus_open on an llad handle that is not open");
	return take(gbuses);
}

void gbus_close(struct gbus *h)
{
	if (!is_open(gbuses, h))
		KBUG("gbus_close of a handle that is not open");
	h->open = 0;
}

u32 gbus_read_uint32(struct gbus *h, u32 byte_address)
{
	check_access(h, byte_address);
	return k2h_gbus_read(byte_address);
}

void gbus_write_uint32(struct gbus *h, u32 byte_address, u32 data)
{
	check_access(h, byte_address);
	k2h_gbus_write(byte_address, data);
}

void tango2_udelay(unsigned long usecs)
{
	udelay(usecs);
}

int em86xx_gpio_read(int gpio)
{
	if (gpio < 0 || gpio > 31)
		return 0;
	return (int)(gbus_read_uint32(GBUS_HANDLE, gpio_data[gpio / 16]) >>
		     (gpio % 16)) &
	       1;
}

void em86xx_gpio_write(int gpio, int data)
{
	u32 bit;

	if (gpio < 0 || gpio > 31)
		return;
	bit = 1u << (gpio % 16);
	gbus_write_uint32(GBUS_HANDLE, gpio_data[gpio / 16],
			  (bit << 16) | (data ? bit : 0));
}

int h2k_bus_handles(void)
{
	int n = 0;

	for (int i = 0; i < BUS_HANDLES; i++)
		n += llads[i].open + gbuses[i].open;
	return n;
}

} // extern "C"
