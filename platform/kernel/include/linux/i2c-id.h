#ifndef _LINUX_I2C_ID_H
#define _LINUX_I2C_ID_H

/* Driver ids for private use. */
#define I2C_DRIVERID_EXP0    0xF0
#define I2C_DRIVERID_EXP1    0xF1
#define I2C_DRIVERID_EXP2    0xF2
#define I2C_DRIVERID_EXP3    0xF3
#define I2C_DRIVERID_I2CDEV  900
#define I2C_DRIVERID_I2CPROC 901

/* Algorithm ids: the high byte of an adapter id names its algorithm. */
#define I2C_ALGO_NONE	 0x000000
#define I2C_ALGO_BIT	 0x010000
#define I2C_ALGO_PCF	 0x020000
#define I2C_ALGO_ATI	 0x030000
#define I2C_ALGO_SMBUS	 0x040000
#define I2C_ALGO_ISA	 0x050000
#define I2C_ALGO_SAA7146 0x060000
#define I2C_ALGO_ACB	 0x070000
#define I2C_ALGO_IIC	 0x080000
#define I2C_ALGO_SAA7134 0x090000
#define I2C_ALGO_EC	 0x100000
#define I2C_ALGO_MPC8XX	 0x110000
#define I2C_ALGO_EXP	 0x800000

#define I2C_ALGO_MASK  0xff0000
#define I2C_ALGO_SHIFT 0x10

#define I2C_HW_B_LP	 0x00
#define I2C_HW_B_SER	 0x01
#define I2C_HW_B_BT848	 0x02
#define I2C_HW_B_VIA	 0x03
#define I2C_HW_B_HYDRA	 0x04
#define I2C_HW_B_G400	 0x09
#define I2C_HW_B_I810	 0x0a
#define I2C_HW_B_RIVA	 0x10
#define I2C_HW_B_IOC	 0x11
#define I2C_HW_B_TSUNA	 0x12
#define I2C_HW_B_FRODO	 0x13
#define I2C_HW_B_OMAHA	 0x14
#define I2C_HW_B_GUIDE	 0x15
#define I2C_HW_B_IXP2000 0x16
#define I2C_HW_B_IXP425	 0x17

#endif
