#ifndef _LINUX_STAT_H
#define _LINUX_STAT_H

#define S_IFMT	 00170000
#define S_IFSOCK 0140000
#define S_IFLNK	 0120000
#define S_IFREG	 0100000
#define S_IFBLK	 0060000
#define S_IFDIR	 0040000
#define S_IFCHR	 0020000
#define S_IFIFO	 0010000

#define S_ISCHR(m) (((m)&S_IFMT) == S_IFCHR)

#define S_IRWXU 00700
#define S_IRUSR 00400
#define S_IWUSR 00200
#define S_IRWXG 00070
#define S_IRGRP 00040
#define S_IWGRP 00020
#define S_IRWXO 00007
#define S_IROTH 00004
#define S_IWOTH 00002

#endif
