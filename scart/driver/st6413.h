/*
 * Commands of the SCART switch device "/dev/scart-0" (char major 61),
 * shared by the st6413 driver and user space.
 *
 * Every command passes the address of one 32-bit integer: a set command
 * (bit 12 set) reads the new value from it, a read command stores the
 * current value there. The codes are plain numbers, not built with _IO().
 */
#ifndef ST6413_H
#define ST6413_H

#define AVSIOS_FIRST	       0x1001
#define AVSIOSVSW0	       0x1001 /* VCR video switch, 0..3 */
#define AVSIOSVSW1	       0x1002 /* RGB switch, 0..2 */
#define AVSIOSVSW2	       0x1003 /* TV video switch, 0..3 */
#define AVSIOSASW0	       0x1004 /* VCR audio switch, 1 or 2 */
#define AVSIOSASW1	       0x1005 /* TV audio switch, 1, 2 or 4 */
#define AVSIOSASW2	       0x1006 /* the same */
#define AVSIOSVOLUME	       0x1007 /* 0..63, kept in steps of two */
#define AVSIOSMUTE	       0x1008 /* 1 mutes, 0 unmutes */
#define AVSIOSFBLK	       0x1009 /* fast blanking, 0..3 */
#define AVSIOSTSB	       0x100A /* TV slow blanking, 0..3 */
#define AVSIOSSTANDBY0	       0x1011
#define AVSIOSSTANDBY1	       0x1012
#define AVSIOSSTANDBY2	       0x1013
#define AVSIOSSTANDBY4	       0x1014
#define AVSIOSSTANDBY5	       0x1015
#define AVSIOSSTANDBY6	       0x1016
#define AVSIOSMISC0	       0x1017
#define AVSIOSMISC3	       0x1018
#define AVSIOSMISC4	       0x1019
#define AVSIOSMISC6	       0x101A
#define AVSIOSMISC7	       0x101B
#define AVSIOSTSBVCR	       0x101C /* VCR slow blanking, 0..3 */
#define AVSIOSRGBGAIN	       0x101D
#define AVSIOSRGBEXTRAGAIN     0x101E
#define AVSIOSTVSTEREO	       0x101F
#define AVSIOSVCRSTEREO	       0x1020
#define AVSIOSTVAUDIOGAIN      0x1021
#define AVSIOSCINCHAUDIOGAIN   0x1022
#define AVSIOSAUDIOINPUTADJUST 0x1023
#define AVSIOSENCODERCLAMP     0x1024
#define AVSIOSVCRCLAMP	       0x1025
#define AVSIOSFBACTIVE	       0x1026
#define AVSIOSGLOBALSTANDBY    0x1027
#define AVSIOSSBMODE	       0x1044 /* TV slow blanking by mode, 0..2 */
#define AVSIOS_LAST	       0x1044

#define AVSIOG_FIRST	       0x2032
#define AVSIOGVSW0	       0x2032
#define AVSIOGVSW1	       0x2033
#define AVSIOGVSW2	       0x2034
#define AVSIOGASW0	       0x2035
#define AVSIOGASW1	       0x2036
#define AVSIOGASW2	       0x2037
#define AVSIOGVOLUME	       0x2038
#define AVSIOGMUTE	       0x2039
#define AVSIOGFBLK	       0x203A
#define AVSIOGTSB	       0x203B
#define AVSIOGSTATUS	       0x2042 /* the chip's status byte, -1 if unread */
#define AVSIOGTYPE	       0x2043
#define AVSIOGSBMODE	       0x2045
#define AVSIOGSTANDBY	       0x2046 /* the whole standby register */
#define AVSIOGMISC	       0x2047 /* the whole misc register */
#define AVSIOGTSBVCR	       0x2048
#define AVSIOGRGBGAIN	       0x2049
#define AVSIOGRGBEXTRAGAIN     0x204A
#define AVSIOGDRVVERSION       0x204B
#define AVSIOGTVSTEREO	       0x204C
#define AVSIOGVCRSTEREO	       0x204D
#define AVSIOGTVAUDIOGAIN      0x204E
#define AVSIOGCINCHAUDIOGAIN   0x204F
#define AVSIOGAUDIOINPUTADJUST 0x2050
#define AVSIOGENCODERCLAMP     0x2051
#define AVSIOGVCRCLAMP	       0x2052
#define AVSIOGFBACTIVE	       0x2053
#define AVSIOG_LAST	       0x2053

#endif
