// The program: start-up, run-control files, script mode, the interactive
// loop, and the line handler every input source goes through.
#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include "editor.h"
#include "vreg.h"

namespace {

enum { kLineBuffer = 16384, kLineRead = 16382 };

// Script mode: started as the interpreter of a script, the shell that ran
// it left the script's path in "_" (or sudo in SUDO_COMMAND), equal to our
// last argument.
const char* script_name(int argc, char** argv, char** envp) {
    if (argc < 2 || !envp) return nullptr;
    const char* last = argv[argc - 1];
    for (char** e = envp; *e; ++e) {
        const char* eq = strchr(*e, '=');
        if (!eq) continue;
        if (((*e)[0] == '_' || strncmp(*e, "SUDO_COMMAND", 12) == 0) && strcmp(eq + 1, last) == 0) return last;
    }
    return nullptr;
}

// Reads a file in pieces of at most kLineRead - 1 characters, one
// statement per piece, numbered from first_line.
void run_file(FILE* f, char* buf, Lexer* lx, Parser* p, int first_line) {
    for (int line = first_line; fgets(buf, kLineRead, f); ++line) line_handler(buf, lx, p, line);
}

void run_rc(const char* path, char* buf, Lexer* lx, Parser* p) {
    FILE* f = fopen(path, "r");
    if (!f) return;  // a missing run-control file is no error
    run_file(f, buf, lx, p, 0);
    fclose(f);
}

int shell_run(const char* script, char* buf) {
    struct termios tio;
    const char* prompt = (tcgetattr(0, &tio) == 0 || script) ? "vreg> " : "";
    Lexer lx = {};
    Parser* p = parser_create(malloc);
    if (!p) {
        fprintf(stderr, "%s: fatal error! can't alloc parser\n", vreg_progname);
        return 1;
    }
    run_rc("/etc/vregrc", buf, &lx, p);
    run_rc(".vregrc", buf, &lx, p);
    if (script) {
        FILE* f = fopen(script, "r");
        if (f) {
            if (fgets(buf, kLineRead, f)) run_file(f, buf, &lx, p, 1);  // the first line is the interpreter line
            fclose(f);
        }
    } else {
        char* line;
        while ((line = editor_read(prompt)) != nullptr) {
            if (line[0]) editor_remember(line);
            line_handler(line, &lx, p, 0);
            free(line);
        }
    }
    parser_release(p, free);
    return 0;
}

}  // namespace

void line_handler(const char* text, Lexer* lx, Parser* p, int line) {
    lx->tok = text;
    lx->lim = text + strlen(text);
    lx->line = line;
    do {
        TokenValue v;
        v.num = 0;
        int code = lex_next(lx, &v);
        if (code != COMMENT && code != NEWLINE && code != UNK) parser_parse(p, code, v, lx);
        lx->tok = lx->cur;
    } while (lx->cur < lx->lim);
    TokenValue end;
    end.num = 0;
    parser_parse(p, TK_END, end, lx);
}

int vreg_main(int argc, char** argv, char** envp) {
    const char* script = script_name(argc, argv, envp);
    if (argc > 0 && argv[0]) {
        const char* slash = strrchr(argv[0], '/');
        vreg_progname = slash ? slash + 1 : argv[0];
    }
    char* buf = (char*)malloc(kLineBuffer);
    if (!buf) vreg_report(1, errno, "malloc failed 16k");
    int status = shell_run(script, buf);
    free(buf);
    return status;
}
