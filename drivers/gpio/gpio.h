/*
 * gpio.h - the gpio module's routines for other modules, and the commands
 * of its character device "gpio" (major 63).
 *
 * Pins are 0-31; a pin outside that range is ignored by the routines (a
 * read gives 0). A module that calls them loads after gpio.
 */
#ifndef _BOARD_GPIO_H
#define _BOARD_GPIO_H

#define GPIO_MAJOR 63

/* ioctl commands; the argument is the address of an int holding the pin */
#define GPIO_IOCSET	1 /* drive the pin high (it becomes an output) */
#define GPIO_IOCCLEAR	2 /* drive the pin low (it becomes an output) */
#define GPIO_IOCGET	3 /* the pin's level, written back to the int */
#define GPIO_IOCVERSION 4 /* the driver's version (0x105), written back */

#ifdef __KERNEL__
/* The pin's level: 0 or 1. */
extern int GPIO_read(int pin);
/* Sets the pin's level (value != 0: high), then makes it an output. */
extern void GPIO_write(int pin, int value);
/* output != 0: the pin becomes an output; 0: an input. */
extern void em86xx_gpio_setdirection(int pin, int output);
/* 0x105: version 1.5. */
extern int gpio_get_drv_version(void);
/* 0: an S0 board (strap pin 26 high), 1: an S1 board. */
extern int get_board_type(void);
/* Bit 0: USB over-current line of port 1 (pin 27), bit 1: of port 2 (pin
 * 17); each high when all is well, so 3 is the normal state. */
extern int get_usb_overcurrent_state(void);
#endif

#endif
