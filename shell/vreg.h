// vreg, the register and memory console: the pieces the program, its tests
// and its fuzz target share. One input line is one statement: the line
// handler cuts it into tokens (lexer), feeds them to the LALR(1) parser,
// and the parser evaluates while it reduces, calling the built-in
// functions by name.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "parse_tables.h"

// ---- error reporter -------------------------------------------------------

// Flushes standard output, writes the message to standard error, then
// ": " and strerror(err) when err is not 0, then a newline; exits with
// status when status is not 0. No program-name prefix.
void vreg_report(int status, int err, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
// Where the reporter writes; standard error unless a test harness says otherwise.
extern FILE* vreg_report_stream;

// Program name (argv[0] after its last '/'), for the fatal parser message.
extern const char* vreg_progname;

// ---- lexer ----------------------------------------------------------------

// One per input source; all zero at the start.
struct Lexer {
    int line;         // current line number; 0 selects messages without one
    const char* tok;  // start of the current token, set by the line handler
    const char* cur;  // scan position, just past the token after a call
    const char* bof;  // just past the last newline read
    const char* lim;  // the text's terminating zero
    const char* ptr;  // back-up position while scanning numbers and strings
};

// A token's value: the number of INT, OCT, HEX and BIN, or a malloc'ed copy
// of the text of FUNCTION and STRING (null when the copy failed), owned by
// whoever consumes the token.
union TokenValue {
    uint32_t num;
    char* text;
};

// Returns the next token code starting at lx->tok; see TokenCode.
int lex_next(Lexer* lx, TokenValue* value);
// Diagnostic: prints the six fields of the record on standard output.
void lex_dump(const Lexer* lx);

// ---- values and argument lists ---------------------------------------------

enum ValueType {
    T_NONE = 1,  // omitted expression, function without a result
    T_LONG = 2,
    T_STRING = 3,  // owns its text
    T_LIST = 4,    // owns its dlist
    T_BYTE = 5,
    T_WORD = 6,
    // Not a value the user sees: an operand that already failed (division
    // by zero, a text used as a number, a built-in function that reported
    // an error). It was reported once; whatever receives it fails quietly:
    // no function is called with it, nothing is written or printed.
    T_FAILED = 7,
};

struct dlist;

struct Value {
    int type;  // ValueType; 0 in a freshly cleared record
    union {
        uint32_t num;
        char* str;
        dlist* list;
    };
};

// Releases what a value owns (a STRING's text, a LIST with its values).
void value_drop(Value* v);

// Doubly linked list node; data is an owned copy.
struct dlist {
    void* data;
    dlist* next;
    dlist* prev;
};

dlist* dlist_new(const void* data, size_t size);  // null when out of memory
void dlist_append(dlist* head, dlist* node);      // a null head does nothing
void dlist_remove(dlist* node);                   // unlinks, frees data and node
void dlist_free_all(dlist* head);
void dlist_dump(const dlist* node);

// ---- parser ---------------------------------------------------------------

enum { PARSER_STACK = 100 };

struct ParserEntry {
    unsigned char state;
    unsigned char major;  // symbol code
    Value value;
};

struct Parser {
    int idx;     // top of the stack, -1 when empty
    int errcnt;  // error countdown
    Lexer* arg;  // the lexer record of the current line
    ParserEntry stack[PARSER_STACK];
};

// Null when the parser can't be allocated.
Parser* parser_create(void* (*alloc)(size_t));
// Feeds one token; code 0 (TK_END) ends the statement.
void parser_parse(Parser* p, int code, TokenValue value, Lexer* lx);
// Drops whatever the stack still holds, then frees the parser.
void parser_release(Parser* p, void (*dealloc)(void*));

// ---- built-in functions ----------------------------------------------------

// At most this many arguments are looked at by any built-in function.
enum { BUILTIN_MAX_ARGS = 3 };

// Calls the built-in function `name` with argc arguments, of which the
// first min(argc, BUILTIN_MAX_ARGS) are in args. Whatever is reported (an
// unknown name, a bad argument, an address outside the windows, a failed
// system call) makes the result FAILED.
Value builtin_call(const char* name, const Value* args, int argc);

// What the built-in functions reach outside the process. The defaults are
// the box's; the fuzz target narrows them.
struct BuiltinEnv {
    const char* mem_path;                       // the physical memory device
    uint32_t map_limit;                         // largest window mmap accepts, 0 = any
    bool (*include_allowed)(const char* path);  // null = any file
};
extern BuiltinEnv builtin_env;

// Unmaps and forgets every window (the fuzz target, between inputs).
void map_list_release(void);

// ---- the shell ---------------------------------------------------------------

// Handles one line of text (zero-terminated, may end with a newline) as one
// statement.
void line_handler(const char* text, Lexer* lx, Parser* p, int line);

// The program: start-up, run-control files, script or interactive loop.
int vreg_main(int argc, char** argv, char** envp);
