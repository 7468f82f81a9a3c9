#include <linux/slab.h>
