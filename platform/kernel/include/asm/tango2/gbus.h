/* The SoC's bus-access layer, as the box's kernel offers it to drivers: a
 * handle on the access layer of device "0", a bus handle on it, and 32-bit
 * register reads and writes by address on the SoC's internal bus. */
#ifndef _ASM_TANGO2_GBUS_H
#define _ASM_TANGO2_GBUS_H

#include <linux/types.h>

struct llad;
struct gbus;

/* The access layer of a device: "0" is the SoC; NULL for any other name. */
extern struct llad *llad_open(const char *device);
extern void llad_close(struct llad *h);

/* A bus handle on an open access layer; NULL for a NULL one. */
extern struct gbus *gbus_open(struct llad *h);
extern void gbus_close(struct gbus *h);

/* The bus routines also take GBUS_HANDLE, the fixed handle 1 of code that
 * opens nothing (the GPIO routines). Addresses are 32-bit aligned. */
#define GBUS_HANDLE ((struct gbus *)1)
extern u32 gbus_read_uint32(struct gbus *h, u32 byte_address);
extern void gbus_write_uint32(struct gbus *h, u32 byte_address, u32 data);

/* A busy wait of usecs microseconds, as udelay. */
extern void tango2_udelay(unsigned long usecs);

#endif
