// The interactive line editor. Kept apart: readline's headers define
// character names (NEWLINE, ...) that clash with the token names.
#include <stdio.h>
#include <unistd.h>

#include <readline/history.h>
#include <readline/readline.h>

#include "editor.h"

namespace {

void show_nothing(void) {}

}  // namespace

char* editor_read(const char* prompt) {
    // Nobody types at a pipe or a file: the editor would echo every line it
    // reads into standard output, between the results. Lines are still read
    // and edited by readline, only not shown.
    if (!isatty(STDIN_FILENO)) rl_redisplay_function = show_nothing;
    return readline(prompt);
}

void editor_remember(const char* line) { add_history(line); }
