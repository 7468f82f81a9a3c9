/* The SoC's GPIO routines for pins 0-31 (two banks of 16). Each is one
 * mask/value write or one read of the bank's register on the internal bus:
 * the high half of a written word is the mask of the bits to change, the
 * low half their values. A pin outside 0-31 is ignored (reads 0).
 *
 * em86xx_gpio_setdirection (pin, output flag) is not the kernel's: the
 * board's gpio module exports it, so a module that uses it loads after
 * gpio. */
#ifndef _ASM_TANGO2_GPIO_H
#define _ASM_TANGO2_GPIO_H

/* The pin's level as the data register reads it: 0 or 1. */
extern int em86xx_gpio_read(int gpio);
/* Sets the pin's output latch (the level it drives once it is an output). */
extern void em86xx_gpio_write(int gpio, int data);

#endif
