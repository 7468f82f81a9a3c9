/*
 * <stdlib.h> for C++ on the box's uClibc. libstdc++'s <cstdlib> (built
 * for glibc) brings these names into std; uClibc, built without wide
 * characters, has none of them. Declared only: a program that calls one
 * fails to link, as it should.
 */
#include_next <stdlib.h>

#ifndef BOX_CXX_COMPAT_STDLIB_H
#define BOX_CXX_COMPAT_STDLIB_H
#ifdef __cplusplus
extern "C" {
#ifndef __UCLIBC_HAS_WCHAR__
int mblen(const char*, size_t) throw();
size_t mbstowcs(wchar_t*, const char*, size_t) throw();
int mbtowc(wchar_t*, const char*, size_t) throw();
size_t wcstombs(char*, const wchar_t*, size_t) throw();
int wctomb(char*, wchar_t) throw();
#endif
int at_quick_exit(void (*)(void)) throw();
void quick_exit(int) throw() __attribute__((__noreturn__));
}
#endif
#endif
