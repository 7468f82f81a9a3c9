/* Preloaded into mcfetch by its tests: time() runs FASTCLOCK_RATE times
 * (default 20) as fast as the wall clock from the first call on, so the
 * 20-second idle timer runs out in about a second. Test-only. */
#include <stdlib.h>
#include <sys/time.h>
#include <time.h>

/* For mcfetch alone: the commands it runs (its courtesy script's shell,
 * under the emulator the host's own) must not try to load it too. */
__attribute__((constructor)) static void for_mcfetch_only(void)
{
	unsetenv("LD_PRELOAD");
}

time_t time(time_t *out)
{
	static struct timeval start;
	static double rate;
	struct timeval now;
	gettimeofday(&now, NULL);
	if (!rate) {
		const char *r = getenv("FASTCLOCK_RATE");
		rate = r && atof(r) > 0 ? atof(r) : 20;
		start = now;
	}
	double real = (double)(now.tv_sec - start.tv_sec) +
		      (double)(now.tv_usec - start.tv_usec) / 1e6;
	time_t t = start.tv_sec + (time_t)(real * rate);
	if (out)
		*out = t;
	return t;
}
