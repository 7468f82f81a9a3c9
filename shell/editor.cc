// The interactive line editor. Kept apart: readline's headers define
// character names (NEWLINE, ...) that clash with the token names.
#include <stdio.h>

#include <readline/history.h>
#include <readline/readline.h>

#include "editor.h"

char* editor_read(const char* prompt) { return readline(prompt); }

void editor_remember(const char* line) { add_history(line); }
