// The line editor: GNU readline with its in-memory history, no history file.
#pragma once

// The next line without its newline (malloc'ed), or null at end of input.
char* editor_read(const char* prompt);
// Adds a line to the in-memory history.
void editor_remember(const char* line);
