/*
 * <locale.h> for C++ on the box's uClibc. libstdc++'s headers (built for
 * glibc, <string> among them) name the locale handle type __locale_t;
 * uClibc, built without locale support, has no such type. Declared
 * opaque: no function of the box's C library takes one.
 */
#include_next <locale.h>

#ifndef BOX_CXX_COMPAT_LOCALE_H
#define BOX_CXX_COMPAT_LOCALE_H
#if defined __cplusplus && !defined __UCLIBC_HAS_XLOCALE__
typedef struct __box_no_locale* __locale_t;
#endif
#endif
