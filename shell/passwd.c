/*
 * The password file as the box's C library reads it: straight from
 * /etc/passwd. Linked into the static vreg only, where readline's ~user
 * expansion and completion would otherwise pull in the host C library's
 * name-service switch, which a static program cannot load.
 */
#define _GNU_SOURCE
#include <pwd.h>
#include <stdio.h>
#include <string.h>

static FILE *pw_file;

void setpwent(void)
{
	if (pw_file)
		rewind(pw_file);
	else
		pw_file = fopen("/etc/passwd", "re");
}

void endpwent(void)
{
	if (pw_file)
		fclose(pw_file);
	pw_file = NULL;
}

struct passwd *getpwent(void)
{
	if (!pw_file)
		setpwent();
	return pw_file ? fgetpwent(pw_file) : NULL;
}

static struct passwd *find(const char *name, uid_t uid)
{
	struct passwd *p;

	setpwent();
	while ((p = getpwent()) &&
	       (name ? strcmp(p->pw_name, name) != 0 : p->pw_uid != uid))
		;
	endpwent();
	return p;
}

struct passwd *getpwnam(const char *name)
{
	return find(name, 0);
}

struct passwd *getpwuid(uid_t uid)
{
	return find(NULL, uid);
}
