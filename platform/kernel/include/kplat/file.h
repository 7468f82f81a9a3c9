/* What the platform tells a module about an open file beyond struct file.
 * A box program (32-bit pointers and long, run under emulation) and a
 * 64-bit host program may open the same node; a driver whose records hold
 * longs or pointers lays them out for its caller, as a 64-bit kernel's
 * 32-bit ioctl translation would. */
#ifndef _KPLAT_FILE_H
#define _KPLAT_FILE_H

struct file;

/* The pointer width of the program that opened the file: 32 or 64. */
extern int kplat_file_user_bits(struct file *file);

#endif
