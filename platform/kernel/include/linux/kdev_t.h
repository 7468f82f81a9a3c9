#ifndef _LINUX_KDEV_T_H
#define _LINUX_KDEV_T_H

#define MINORBITS 8
#define MINORMASK ((1U << MINORBITS) - 1)

typedef unsigned short kdev_t;

#define MAJOR(dev)    ((unsigned int)((dev) >> MINORBITS))
#define MINOR(dev)    ((unsigned int)((dev)&MINORMASK))
#define HASHDEV(dev)  ((unsigned int)(dev))
#define NODEV	      0
#define MKDEV(ma, mi) ((kdev_t)(((ma) << MINORBITS) | (mi)))
#define B_FREE	      0xffff

static inline unsigned int kdev_t_to_nr(kdev_t dev)
{
	return dev;
}
static inline kdev_t to_kdev_t(int dev)
{
	return (kdev_t)(((dev >> 8) << MINORBITS) | (dev & 0xff));
}

#endif
