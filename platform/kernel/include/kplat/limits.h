/* The sizes of the kernel's own tables, in one place. The 2.4 headers take
 * them from here, and so does the host half of the platform, which walks
 * these tables (it reaches this file by its path, next to its own headers,
 * so it must hold nothing but plain numbers). */
#ifndef _KPLAT_LIMITS_H
#define _KPLAT_LIMITS_H

#define MAX_CHRDEV     255 /* character device majors */
#define NR_IRQS	       64  /* lines of the SoC's interrupt controller */
#define I2C_ADAP_MAX   16  /* I2C adapters */
#define I2C_DRIVER_MAX 16  /* I2C drivers */
#define I2C_CLIENT_MAX 32  /* clients of one adapter */

#endif
