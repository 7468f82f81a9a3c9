/*
 * libsmcard: the box's smart-card reader. Card insertion and removal come
 * from the presence device ("/dev/scard_present", one byte per event: "1"
 * inserted, "0" removed); the card itself is reached through the reader
 * device ("/dev/scard"): reset and answer-to-reset (ATR), parameter
 * negotiation (PPS, ISO/IEC 7816-3) and T=0 command exchange.
 *
 * One process-wide presence descriptor and one reader descriptor, both -1
 * while closed; no locking (callers serialise their use). Every function
 * returns one of the SCARD_ codes below; only a short header write in
 * HD_CardioCommand prints anything (perror). A card that stops answering
 * never blocks a caller longer than the waits given with each function.
 *
 * The program using the library provides HD_CardInserted and
 * HD_CardRemoved; they are resolved when the library is loaded.
 */
#ifndef SMCARD_H
#define SMCARD_H

#ifdef __cplusplus
extern "C" {
#endif

#define SCARD_OK            0
#define SCARD_FAILED        17 /* not open, wrong descriptor, short read or write, time-out, bad answer */
#define SCARD_NO_EVENT      34 /* presence check: nothing within the wait */
#define SCARD_REFUSED       51 /* reset or parameters refused; presence check: an event is pending */
#define SCARD_PARAMS_FAILED 68 /* the parameter block could not be read */

/* The longest response HD_CardioCommand stores: 256 data bytes and the two
   status bytes of a T=0 response. */
#define SCARD_MAX_RESPONSE 258

/* The reader driver's requests, numbered as the driver has them. */
#define SCARD_IOC_RESET         0x20005300u /* reset the card (argument 0) */
#define SCARD_IOC_SET_PARAMS    0x20005303u /* apply a parameter block */
#define SCARD_IOC_GET_ATR       0x20005304u /* fetch the ATR into a struct scard_atr */
#define SCARD_IOC_GET_PARAMS    0x20005305u /* read the parameter block */
#define SCARD_IOC_PRESET_PARAMS 0x20005306u /* hand over a parameter block before a reset */

/* The ATR as the driver hands it out: the library points data at its own
   512-byte buffer before each fetch. 8 bytes on the box. */
struct scard_atr {
    unsigned char length;
    unsigned char second; /* the driver's second byte (the reader of the box: the card's first protocol) */
    unsigned char pad[2];
    unsigned char* data;
};
extern struct scard_atr atr;

/* Provided by the program: called from SCARD_Status. */
void HD_CardInserted(void);
void HD_CardRemoved(void);

/* Opens "/dev/scard_present" read-only; its descriptor, or -1. A second
   call while open returns the descriptor it has. */
int SCARD_Open(void);
/* Opens "/dev/scard" read-write unless open already; its descriptor, or -1. */
int SCARD_Init(void);
/* Closes the reader descriptor if open. Always 0. */
int SCARD_Term(void);
/* 17 unless fd is the presence descriptor; otherwise closes it and the
   reader (if open) and returns 0. */
int SCARD_Close(int fd);
/* Takes one presence event, waiting up to 10 ms: "1" opens the reader
   (17 if that fails) and calls HD_CardInserted, any other byte closes it
   and calls HD_CardRemoved; 0. 17 for a foreign fd or no event. */
int SCARD_Status(int fd);

/* Waits up to 1000 ms on the reader: 34 nothing came, 51 an event (the
   card was taken out, or it sent bytes nobody asked for). 17 not open. */
int HD_CheckCardPresence(void);
/* Reads the driver's parameter block (bytes 0, 1 and 7: F and D indices,
   protocol T) into params; 68 if refused. */
int HD_GetUartParams(void* params);
/* Hands params to the driver, resets the card (51 if either is refused)
   and negotiates F, D and T with the card: FF, T|0x10, F<<4|D, check byte.
   Waits up to 5000 ms for the reply and 1000 ms after each byte; a reply
   of 1 to 4 bytes that echoes the request (from its second byte) makes the
   driver apply params: 0. Otherwise 17, after a reset, except when a reply
   byte cannot be read (the card went away). */
int HD_SetUartParams(void* params);
/* Resets the card (51 if refused) and fetches its ATR (17 if refused):
   copies it to atr_data (room for 255 bytes), its length to *atr_length
   and the driver's second byte to *second. */
int HD_ResetCard(unsigned char* atr_data, unsigned char* atr_length, unsigned char* second);
/* One T=0 command: the 5-byte header, then the card's procedure byte
   (within 1000 ms). direction 1 (data to the card, or none): the rest of
   command goes out and the two status bytes come back in response
   (*response_length 2); for a 5-byte command the procedure byte is the
   first of them. Any other direction (data from the card): everything the
   card sends after the procedure byte, each byte within timeout x 10 ms
   (timeout taken as an unsigned 16-bit count), is the response; the first
   wait timing out is 17. response must have room for SCARD_MAX_RESPONSE
   bytes: a longer answer is drained (the card stays in step), the
   response keeps its first SCARD_MAX_RESPONSE bytes and the result is 17.
   Bytes the card sent after an earlier exchange stopped waiting (a late
   status byte) are dropped before the header goes out, so each command
   reads its own answer; more than 1024 of them is 17 and nothing is sent.
   A command shorter than 5 bytes is 17 and nothing is sent; a short
   header write prints the system error after " " (perror) and is 17. */
int HD_CardioCommand(const unsigned char* command, int command_length, unsigned char* response, int* response_length,
                     int direction, int timeout);

#ifdef __cplusplus
}
#endif

#endif
