// The lexer: the first character picks the rule, the longest match wins.
// Numbers are converted here; identifier and string texts are copied here.
#include <stdlib.h>
#include <string.h>

#include "vreg.h"

namespace {

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

int digit_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Digits [from, to) in base; a value beyond 32 bits saturates, as strtoul
// does on the box.
uint32_t convert(const char* from, const char* to, unsigned base) {
    uint64_t v = 0;
    for (const char* s = from; s < to; ++s) {
        v = v * base + (unsigned)digit_value(*s);
        if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return (uint32_t)v;
}

char* copy_text(const char* from, const char* to) {
    size_t n = (size_t)(to - from);
    char* s = (char*)malloc(n + 1);
    if (s) {
        memcpy(s, from, n);
        s[n] = 0;
    }
    return s;
}

// A run of digits starting at s; tells whether it holds only 0/1 and only 0-7.
const char* digit_run(const char* s, bool* binary, bool* octal) {
    *binary = *octal = true;
    for (; is_digit(*s); ++s) {
        if (*s > '1') *binary = false;
        if (*s > '7') *octal = false;
    }
    return s;
}

int number(Lexer* lx, TokenValue* value) {
    const char* start = lx->cur;
    if (start[0] == '0' && start[1] == 'x') {
        lx->ptr = start + 1;  // back to the "x" if no hex digit follows
        const char* s = start + 2;
        while (is_hex(*s)) ++s;
        if (s == start + 2) {
            lx->cur = lx->ptr;
            value->num = 0;
            return INT;
        }
        lx->cur = s;
        value->num = convert(start + 2, s, 16);
        return HEX;
    }
    bool binary, octal;
    const char* end = digit_run(start, &binary, &octal);
    lx->ptr = end;
    if (binary && *end == 'b' && (start[0] == '0' || start[0] == '1')) {
        lx->cur = end + 1;
        value->num = convert(start, end, 2);
        return BIN;
    }
    lx->cur = end;
    if (start[0] == '0' && end > start + 1 && octal) {
        value->num = convert(start + 1, end, 8);
        return OCT;
    }
    if (start[0] == '0' && end == start + 1) {
        value->num = 0;
        return INT;
    }
    value->num = convert(start, end, 10);
    return INT;
}

}  // namespace

int lex_next(Lexer* lx, TokenValue* value) {
    lx->cur = lx->tok;
    const char* s = lx->cur;
    char c = *s;
    if (is_alpha(c)) {
        const char* e = s + 1;
        while (is_alpha(*e) || is_digit(*e)) ++e;
        lx->cur = e;
        size_t n = (size_t)(e - s);
        if (n == 5 && memcmp(s, "print", 5) == 0) return PRINT;
        if (n == 3 && memcmp(s, "hex", 3) == 0) return PRT_HEX;
        value->text = copy_text(s, e);
        return FUNCTION;
    }
    if (is_digit(c)) return number(lx, value);
    lx->cur = s + 1;
    switch (c) {
    case '"': {
        // The string runs to the last double quote of the text.
        const char* last = nullptr;
        for (const char* q = s + 1; q < lx->lim; ++q)
            if (*q == '"') last = q;
        if (!last) return UNK;
        lx->ptr = last;
        lx->cur = last + 1;
        value->text = copy_text(s + 1, last);
        return STRING;
    }
    case '/':
        if (s[1] == '/') {
            lx->cur = lx->lim;
            return COMMENT;
        }
        return DIV;
    case '<':
        if (s[1] == '<') {
            lx->cur = s + 2;
            return LSHIFT;
        }
        return UNK;
    case '>':
        if (s[1] == '>') {
            lx->cur = s + 2;
            return RSHIFT;
        }
        return UNK;
    case '(': return LPAR;
    case ')': return RPAR;
    case ',': return COMMA;
    case ';': return CDOT;
    case '~': return NOT;
    case '+': return PLUS;
    case '-': return MINUS;
    case '*': return MULT;
    case '|': return OR;
    case '&': return AND;
    case '^': return XOR;
    case '%': return MODULE;
    case '\n':
    case '\r':
        lx->line++;
        lx->bof = lx->cur;
        return NEWLINE;
    default: return UNK;  // blanks, stray characters and the terminating zero
    }
}

void lex_dump(const Lexer* lx) {
    auto t = [](const char* p) { return p ? p : "(null)"; };
    printf("-- lexer{ line:%d, tok:'%s', cur:'%s', bof:'%s', lim:'%s', ptr:'%s' }\n", lx->line, t(lx->tok), t(lx->cur),
           t(lx->bof), t(lx->lim), t(lx->ptr));
}
