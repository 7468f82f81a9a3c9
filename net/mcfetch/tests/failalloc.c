/* Preloaded into mcfetch by its tests: FAILALLOC=SIZE:N makes every
 * allocation of exactly SIZE bytes after the first N fail, as on a box
 * whose memory runs out in the middle of a download. Test-only; not for
 * sanitizer builds, whose allocator this would bypass. */
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

extern void *__libc_malloc(size_t size);

void *malloc(size_t size)
{
	static int parsed;
	static size_t fail_size;
	static long allowed;
	if (!parsed) {
		const char *spec = getenv("FAILALLOC");
		unsigned long s = 0;
		long n = 0;
		parsed = 1;
		if (spec && sscanf(spec, "%lu:%ld", &s, &n) == 2) {
			fail_size = s;
			allowed = n;
		}
	}
	if (fail_size && size == fail_size && allowed-- <= 0)
		return NULL;
	return __libc_malloc(size);
}
