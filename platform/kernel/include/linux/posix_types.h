#ifndef _LINUX_POSIX_TYPES_H
#define _LINUX_POSIX_TYPES_H

typedef __SIZE_TYPE__ __kernel_size_t;
typedef __PTRDIFF_TYPE__ __kernel_ssize_t;
typedef __PTRDIFF_TYPE__ __kernel_ptrdiff_t;
typedef long __kernel_off_t;
typedef long long __kernel_loff_t;
typedef int __kernel_pid_t;
typedef unsigned int __kernel_mode_t;
typedef unsigned int __kernel_uid_t;
typedef unsigned int __kernel_gid_t;
typedef long __kernel_time_t;
typedef long __kernel_suseconds_t;
typedef long __kernel_clock_t;
typedef char *__kernel_caddr_t;
typedef unsigned long __kernel_ino_t;

#endif
