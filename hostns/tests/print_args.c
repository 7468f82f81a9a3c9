/* Helper for the harness's own tests: prints its arguments, one per line,
   and the value of PRINT_ARGS_VAR, then exits with the status in argv[1]. */
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
	const char *v = getenv("PRINT_ARGS_VAR");
	for (int i = 1; i < argc; i++)
		printf("%s\n", argv[i]);
	printf("var=%s\n", v ? v : "(unset)");
	return argc > 1 ? atoi(argv[1]) : 0;
}
