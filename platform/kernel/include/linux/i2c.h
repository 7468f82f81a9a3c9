#ifndef _LINUX_I2C_H
#define _LINUX_I2C_H

#include <linux/types.h>
#include <linux/i2c-id.h>
#include <linux/module.h>
#include <asm/semaphore.h>
#include <kplat/limits.h>

struct i2c_algorithm;
struct i2c_adapter;
struct i2c_client;
struct i2c_driver;
struct i2c_client_address_data;
union i2c_smbus_data;

struct i2c_msg {
	__u16 addr;
	__u16 flags;
#define I2C_M_TEN	   0x10
#define I2C_M_RD	   0x01
#define I2C_M_NOSTART	   0x4000
#define I2C_M_REV_DIR_ADDR 0x2000
#define I2C_M_IGNORE_NAK   0x1000
#define I2C_M_NO_RD_ACK	   0x0800
	__u16 len;
	__u8 *buf;
};

/* Transfers. Both return the byte count, or a negative error. */
extern int i2c_master_send(struct i2c_client *, const char *, int);
extern int i2c_master_recv(struct i2c_client *, char *, int);

/* A combined transfer with a repeated start between the messages; returns
 * the number of messages done, or a negative error. */
extern int i2c_transfer(struct i2c_adapter *adap, struct i2c_msg msgs[],
			int num);

extern int i2c_control(struct i2c_client *, unsigned int, unsigned long);

extern s32 i2c_smbus_xfer(struct i2c_adapter *adapter, u16 addr,
			  unsigned short flags, char read_write, u8 command,
			  int size, union i2c_smbus_data *data);
extern s32 i2c_smbus_write_quick(struct i2c_client *client, u8 value);
extern s32 i2c_smbus_read_byte(struct i2c_client *client);
extern s32 i2c_smbus_write_byte(struct i2c_client *client, u8 value);
extern s32 i2c_smbus_read_byte_data(struct i2c_client *client, u8 command);
extern s32 i2c_smbus_write_byte_data(struct i2c_client *client, u8 command,
				     u8 value);
extern s32 i2c_smbus_read_word_data(struct i2c_client *client, u8 command);
extern s32 i2c_smbus_write_word_data(struct i2c_client *client, u8 command,
				     u16 value);

struct i2c_driver {
	char name[32];
	int id;
	unsigned int flags;
	int (*attach_adapter)(struct i2c_adapter *);
	int (*detach_client)(struct i2c_client *);
	int (*command)(struct i2c_client *client, unsigned int cmd, void *arg);
	void (*inc_use)(struct i2c_client *client);
	void (*dec_use)(struct i2c_client *client);
};

struct i2c_client {
	char name[32];
	int id;
	unsigned int flags;
	unsigned int addr;
	struct i2c_adapter *adapter;
	struct i2c_driver *driver;
	void *data;
	int usage_count;
};

struct i2c_algorithm {
	char name[32];
	unsigned int id;
	int (*master_xfer)(struct i2c_adapter *adap, struct i2c_msg msgs[],
			   int num);
	int (*smbus_xfer)(struct i2c_adapter *adap, u16 addr,
			  unsigned short flags, char read_write, u8 command,
			  int size, union i2c_smbus_data *data);
	int (*slave_send)(struct i2c_adapter *, char *, int);
	int (*slave_recv)(struct i2c_adapter *, char *, int);
	int (*algo_control)(struct i2c_adapter *, unsigned int, unsigned long);
	u32 (*functionality)(struct i2c_adapter *);
};

struct i2c_adapter {
	char name[32];
	unsigned int id;
	struct i2c_algorithm *algo;
	void *algo_data;
	void (*inc_use)(struct i2c_adapter *);
	void (*dec_use)(struct i2c_adapter *);
	int (*client_register)(struct i2c_client *);
	int (*client_unregister)(struct i2c_client *);
	void *data;
	struct semaphore lock;
	unsigned int flags;
	struct i2c_client *clients[I2C_CLIENT_MAX];
	int client_count;
	int timeout;
	int retries;
};

/* i2c_driver flags */
#define I2C_DF_NOTIFY 0x01
#define I2C_DF_DUMMY  0x02

/* i2c_client flags */
#define I2C_CLIENT_ALLOW_USE	      0x01
#define I2C_CLIENT_ALLOW_MULTIPLE_USE 0x02

/* Each list ends with I2C_CLIENT_END. normal_i2c holds addresses,
 * normal_i2c_range pairs of first and last address; probe and ignore hold
 * adapter,address pairs, their _range forms adapter,first,last triples;
 * force holds adapter,address pairs taken as present without a check.
 * ANY_I2C_BUS as the adapter matches every bus. */
struct i2c_client_address_data {
	unsigned short *normal_i2c;
	unsigned short *normal_i2c_range;
	unsigned short *probe;
	unsigned short *probe_range;
	unsigned short *ignore;
	unsigned short *ignore_range;
	unsigned short *force;
};

#define I2C_CLIENT_END 0xfffe
#define ANY_I2C_BUS    0xffff

extern int i2c_add_adapter(struct i2c_adapter *);
extern int i2c_del_adapter(struct i2c_adapter *);
extern int i2c_add_driver(struct i2c_driver *);
extern int i2c_del_driver(struct i2c_driver *);
extern int i2c_attach_client(struct i2c_client *);
extern int i2c_detach_client(struct i2c_client *);
extern void i2c_inc_use_client(struct i2c_client *);
extern void i2c_dec_use_client(struct i2c_client *);

/* Non-zero when the address is taken by a client of the adapter. */
extern int i2c_check_addr(struct i2c_adapter *adapter, int addr);

/* kind is 0 for a forced address, -1 for one that answered a probe. */
typedef int i2c_client_found_addr_proc(struct i2c_adapter *adapter, int addr,
				       int kind);

extern int i2c_probe(struct i2c_adapter *adapter,
		     struct i2c_client_address_data *address_data,
		     i2c_client_found_addr_proc *found_proc);

/* The adapter's number: its place in the core's table. */
extern int i2c_adapter_id(struct i2c_adapter *adap);

extern u32 i2c_get_functionality(struct i2c_adapter *adap);

static inline int i2c_check_functionality(struct i2c_adapter *adap, u32 func)
{
	return (func & i2c_get_functionality(adap)) == func;
}


#define I2C_FUNC_I2C			0x00000001
#define I2C_FUNC_10BIT_ADDR		0x00000002
#define I2C_FUNC_PROTOCOL_MANGLING	0x00000004
#define I2C_FUNC_SMBUS_QUICK		0x00010000
#define I2C_FUNC_SMBUS_READ_BYTE	0x00020000
#define I2C_FUNC_SMBUS_WRITE_BYTE	0x00040000
#define I2C_FUNC_SMBUS_READ_BYTE_DATA	0x00080000
#define I2C_FUNC_SMBUS_WRITE_BYTE_DATA	0x00100000
#define I2C_FUNC_SMBUS_READ_WORD_DATA	0x00200000
#define I2C_FUNC_SMBUS_WRITE_WORD_DATA	0x00400000
#define I2C_FUNC_SMBUS_PROC_CALL	0x00800000
#define I2C_FUNC_SMBUS_READ_BLOCK_DATA	0x01000000
#define I2C_FUNC_SMBUS_WRITE_BLOCK_DATA 0x02000000
#define I2C_FUNC_SMBUS_READ_I2C_BLOCK	0x04000000
#define I2C_FUNC_SMBUS_WRITE_I2C_BLOCK	0x08000000

#define I2C_FUNC_SMBUS_BYTE \
	(I2C_FUNC_SMBUS_READ_BYTE | I2C_FUNC_SMBUS_WRITE_BYTE)
#define I2C_FUNC_SMBUS_BYTE_DATA \
	(I2C_FUNC_SMBUS_READ_BYTE_DATA | I2C_FUNC_SMBUS_WRITE_BYTE_DATA)
#define I2C_FUNC_SMBUS_WORD_DATA \
	(I2C_FUNC_SMBUS_READ_WORD_DATA | I2C_FUNC_SMBUS_WRITE_WORD_DATA)
#define I2C_FUNC_SMBUS_EMUL                                    \
	(I2C_FUNC_SMBUS_QUICK | I2C_FUNC_SMBUS_BYTE |          \
	 I2C_FUNC_SMBUS_BYTE_DATA | I2C_FUNC_SMBUS_WORD_DATA | \
	 I2C_FUNC_SMBUS_PROC_CALL | I2C_FUNC_SMBUS_WRITE_BLOCK_DATA)

/* The /dev/i2c ioctl numbers; the first two also reach i2c_control. */
#define I2C_RETRIES	0x0701
#define I2C_TIMEOUT	0x0702
#define I2C_SLAVE	0x0703
#define I2C_TENBIT	0x0704
#define I2C_FUNCS	0x0705
#define I2C_SLAVE_FORCE 0x0706
#define I2C_RDWR	0x0707
#define I2C_SMBUS	0x0720

#define I2C_MAJOR 89

#define I2C_SMBUS_BLOCK_MAX	32
#define I2C_SMBUS_I2C_BLOCK_MAX 32
union i2c_smbus_data {
	__u8 byte;
	__u16 word;
	__u8 block[I2C_SMBUS_BLOCK_MAX + 3];
};

#define I2C_SMBUS_READ	1
#define I2C_SMBUS_WRITE 0

#define I2C_SMBUS_QUICK		  0
#define I2C_SMBUS_BYTE		  1
#define I2C_SMBUS_BYTE_DATA	  2
#define I2C_SMBUS_WORD_DATA	  3
#define I2C_SMBUS_PROC_CALL	  4
#define I2C_SMBUS_BLOCK_DATA	  5
#define I2C_SMBUS_I2C_BLOCK_DATA  6
#define I2C_SMBUS_BLOCK_PROC_CALL 7

/* The usual module parameters for the address lists: 48 entries each,
 * empty (all I2C_CLIENT_END) unless given to insmod. */
#define I2C_CLIENT_DEFAULTS                                             \
	{                                                               \
		I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END,         \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END, \
			I2C_CLIENT_END, I2C_CLIENT_END, I2C_CLIENT_END  \
	}

#define I2C_CLIENT_MODULE_PARM(var, desc)                    \
	static unsigned short var[48] = I2C_CLIENT_DEFAULTS; \
	MODULE_PARM(var, "1-48h");                           \
	MODULE_PARM_DESC(var, desc)

/* Declares the parameters and addr_data; the module defines normal_i2c
 * and normal_i2c_range before it. */
#define I2C_CLIENT_INSMOD                                                     \
	I2C_CLIENT_MODULE_PARM(                                               \
		probe, "List of adapter,address pairs to scan additionally"); \
	I2C_CLIENT_MODULE_PARM(probe_range,                                   \
			       "List of adapter,start-addr,end-addr triples " \
			       "to scan additionally");                       \
	I2C_CLIENT_MODULE_PARM(ignore,                                        \
			       "List of adapter,address pairs not to scan");  \
	I2C_CLIENT_MODULE_PARM(                                               \
		ignore_range,                                                 \
		"List of adapter,start-addr,end-addr triples not to scan");   \
	I2C_CLIENT_MODULE_PARM(force, "List of adapter,address pairs to "     \
				      "boldly assume to be present");         \
	static struct i2c_client_address_data addr_data = {                   \
		normal_i2c, normal_i2c_range, probe, probe_range,             \
		ignore,	    ignore_range,     force                           \
	}

#endif
