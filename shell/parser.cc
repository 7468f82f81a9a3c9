// The statement parser: a table-driven LALR(1) push parser over the tables
// generated from vreg.grammar, evaluating while it reduces.
//
// Recovery is fixed and simple: no rule uses `error`, so on a syntax error
// the whole stack is dropped together with the look-ahead, and the next
// token of the line starts a new statement.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "vreg.h"

void value_drop(Value* v) {
    if (v->type == T_STRING) {
        free(v->str);
    } else if (v->type == T_LIST) {
        for (dlist* n = v->list; n; n = n->next) value_drop((Value*)n->data);
        dlist_free_all(v->list);
    }
    v->type = 0;
    v->num = 0;
}

namespace {

Value failed() {
    Value v{};
    v.type = T_FAILED;
    return v;
}

// What an entry owns, by its symbol: token texts, and the values of the
// non-terminals that may carry a text or a list.
void destroy(int major, Value* v) {
    switch (major) {
    case FUNCTION:
    case STRING: free(v->str); break;
    case SYM_expr:
    case SYM_expr_opt:
    case SYM_params: value_drop(v); break;
    default: break;
    }
    v->num = 0;
}

void pop(Parser* p) {
    ParserEntry* e = &p->stack[p->idx--];
    destroy(e->major, &e->value);
}

void pop_all(Parser* p) {
    while (p->idx >= 0) pop(p);
}

int find_action(const signed char* ofst, int dflt_marker, int state, int la, bool shift) {
    int i = ofst[state];
    if (i == dflt_marker) return yy_default[state];
    if (shift && la == YYNOCODE) return YY_NO_ACTION;
    i += la;
    if (i < 0 || i >= YY_SZ_ACTTAB || yy_lookahead[i] != la) return yy_default[state];
    return yy_action[i];
}

int shift_action(const Parser* p, int la) {
    return find_action(yy_shift_ofst, YY_SHIFT_USE_DFLT, p->stack[p->idx].state, la, true);
}

int goto_action(const Parser* p, int sym) {
    return find_action(yy_reduce_ofst, YY_REDUCE_USE_DFLT, p->stack[p->idx].state, sym, false);
}

// Pushes an entry; on overflow drops everything, the new value included.
bool push(Parser* p, int state, int major, Value* v) {
    if (p->idx + 1 >= PARSER_STACK) {
        pop_all(p);
        destroy(major, v);
        int line = p->arg ? p->arg->line : 0;
        if (line) vreg_report(0, 0, "Parser:%d: Giving up. Stack overflow.", line);
        else vreg_report(0, 0, "Parser: Giving up. Stack overflow.");
        return false;
    }
    ParserEntry* e = &p->stack[++p->idx];
    e->state = (unsigned char)state;
    e->major = (unsigned char)major;
    e->value = *v;
    return true;
}

void syntax_error(const Parser* p) {
    const Lexer* lx = p->arg;
    const char* near = lx && lx->tok ? lx->tok : "";
    if (lx && lx->line) vreg_report(0, 0, "Parser:%d: syntax error near token '%s'", lx->line, near);
    else vreg_report(0, 0, "Parser: syntax error near token '%s'", near);
}

// A numeric operand: a failed one fails quietly, a text is refused once.
// Either way the operand is released.
bool number_of(Value* v, bool* reported) {
    if (v->type == T_FAILED) return false;
    if (v->type == T_STRING) {
        value_drop(v);
        if (!*reported) vreg_report(0, 0, "string used as a number");
        *reported = true;
        return false;
    }
    return true;
}

Value binary(int rule, Value* a, Value* b) {
    bool reported = false;
    bool ok_a = number_of(a, &reported);
    bool ok_b = number_of(b, &reported);
    if (!ok_a || !ok_b) {
        value_drop(a);
        value_drop(b);
        return failed();
    }
    uint32_t x = a->num, y = b->num;
    Value r{};
    r.type = T_LONG;
    switch (rule) {
    case RULE_expr__expr_PLUS_expr: r.num = x + y; break;
    case RULE_expr__expr_MINUS_expr: r.num = x - y; break;
    case RULE_expr__expr_MULT_expr: r.num = x * y; break;
    case RULE_expr__expr_DIV_expr:
    case RULE_expr__expr_MODULE_expr:
        if (y == 0) {
            vreg_report(0, 0, "division by zero");
            return failed();
        }
        r.num = rule == RULE_expr__expr_DIV_expr ? x / y : x % y;
        break;
    case RULE_expr__expr_AND_expr: r.num = x & y; break;
    case RULE_expr__expr_OR_expr: r.num = x | y; break;
    case RULE_expr__expr_XOR_expr: r.num = x ^ y; break;
    case RULE_expr__expr_RSHIFT_expr: r.num = x >> (y & 31); break;
    case RULE_expr__expr_LSHIFT_expr: r.num = x << (y & 31); break;
    }
    return r;
}

// PRINT and PRT_HEX: the payload of expr_opt, whatever its numeric type.
void print_value(Value* v, const char* fmt) {
    bool reported = false;
    if (number_of(v, &reported)) printf(fmt, (unsigned long)v->num);
}

// A function call: the built-in function with the argument list.
Value call(Value* name, Value* params) {
    Value r = failed();  // no name: its copy was lost, nothing is called
    dlist* list = params->type == T_LIST ? params->list : nullptr;
    if (name->str) {
        int argc = 0;
        bool ok = true;
        Value args[BUILTIN_MAX_ARGS] = {};
        for (dlist* n = list; n; n = n->next) {
            const Value* v = (const Value*)n->data;
            if (v->type == T_FAILED) ok = false;
            if (argc < BUILTIN_MAX_ARGS) args[argc] = *v;
            argc++;
        }
        // One omitted argument is no argument: f() has none.
        if (argc == 1 && args[0].type == T_NONE) argc = 0;
        r = ok ? builtin_call(name->str, args, argc) : failed();
    }
    value_drop(params);
    free(name->str);
    return r;
}

dlist* list_node(const Value* v) {
    dlist* n = dlist_new(v, sizeof(Value));
    if (!n) vreg_report(1, errno, "dlist_malloc failed");
    return n;
}

void reduce(Parser* p, int rule) {
    ParserEntry* m = &p->stack[p->idx];  // the right side ends here
    Value r{};
    switch (rule) {
    case RULE_command__PRINT_expr_opt: print_value(&m[0].value, "%lu\n"); break;
    case RULE_command__PRT_HEX_expr_opt: print_value(&m[0].value, "0x%08lX\n"); break;
    case RULE_command__functions: {
        const Value& v = m[0].value;
        if (v.type == T_BYTE) printf("0x%02X\n", (unsigned)v.num);
        else if (v.type == T_WORD) printf("0x%04X\n", (unsigned)v.num);
        else if (v.type == T_LONG) printf("0x%08lX\n", (unsigned long)v.num);
        break;
    }
    case RULE_expr_opt__expr:
    case RULE_expr__functions: r = m[0].value; break;
    case RULE_expr__lpar_expr_rpar: r = m[-1].value; break;
    case RULE_expr_opt__empty: r.type = T_NONE; break;
    case RULE_expr__INT:
    case RULE_expr__OCT:
    case RULE_expr__HEX:
    case RULE_expr__BIN:
        r.type = T_LONG;
        r.num = m[0].value.num;
        break;
    case RULE_expr__STRING:
        r.type = T_STRING;
        r.str = m[0].value.str;
        break;
    case RULE_expr__expr_PLUS_expr:
    case RULE_expr__expr_MINUS_expr:
    case RULE_expr__expr_MULT_expr:
    case RULE_expr__expr_DIV_expr:
    case RULE_expr__expr_AND_expr:
    case RULE_expr__expr_OR_expr:
    case RULE_expr__expr_XOR_expr:
    case RULE_expr__expr_RSHIFT_expr:
    case RULE_expr__expr_LSHIFT_expr:
    case RULE_expr__expr_MODULE_expr: r = binary(rule, &m[-2].value, &m[0].value); break;
    case RULE_expr__NOT_expr: {
        bool reported = false;
        if (number_of(&m[0].value, &reported)) {
            r.type = T_LONG;
            r.num = ~m[0].value.num;
        } else {
            r = failed();
        }
        break;
    }
    case RULE_functions__FUNCTION_lpar_params_rpar: r = call(&m[-3].value, &m[-1].value); break;
    case RULE_params__params_COMMA_expr_opt: {
        dlist* n = list_node(&m[0].value);
        dlist_append(m[-2].value.list, n);
        r = m[-2].value;
        break;
    }
    case RULE_params__expr_opt:
        r.type = T_LIST;
        r.list = list_node(&m[0].value);
        break;
    default: break;  // input, and the parentheses' own symbols: no value
    }
    int lhs = yy_rule_lhs[rule];
    p->idx -= yy_rule_nrhs[rule];
    int act = goto_action(p, lhs);
    if (act < YYNSTATE) {
        push(p, act, lhs, &r);
    } else {
        // Accept: the statement is complete.
        destroy(lhs, &r);
        pop_all(p);
    }
}

}  // namespace

Parser* parser_create(void* (*alloc)(size_t)) {
    Parser* p = (Parser*)alloc(sizeof(Parser));
    if (!p) return nullptr;
    p->idx = -1;
    p->errcnt = -1;
    p->arg = nullptr;
    return p;
}

void parser_release(Parser* p, void (*dealloc)(void*)) {
    if (!p) return;
    pop_all(p);
    dealloc(p);
}

void parser_parse(Parser* p, int code, TokenValue tv, Lexer* lx) {
    if (p->idx < 0) {
        if (code == TK_END) return;
        p->idx = 0;
        p->errcnt = -1;
        p->stack[0].state = 0;
        p->stack[0].major = 0;
        p->stack[0].value = Value{};
    }
    p->arg = lx;
    Value v{};
    if (code == FUNCTION || code == STRING) v.str = tv.text;
    else v.num = tv.num;
    bool held = true;  // v still belongs to us
    const bool end_of_input = code == TK_END;
    int major = code;
    do {
        int act = shift_action(p, major);
        if (act < YYNSTATE) {
            held = false;
            push(p, act, major, &v);
            p->errcnt--;
            major = end_of_input && p->idx >= 0 ? (int)TK_END : (int)YYNOCODE;
        } else if (act < YYNSTATE + YYNRULE) {
            reduce(p, act - YYNSTATE);
        } else if (act == YY_ACCEPT_ACTION) {
            pop_all(p);
            major = YYNOCODE;
        } else {
            if (p->errcnt < 0) syntax_error(p);
            pop_all(p);  // no state can shift `error`
            destroy(major, &v);
            held = false;
            p->errcnt = 3;
            major = YYNOCODE;
        }
    } while (major != YYNOCODE && p->idx >= 0);
    // A stack overflow in a reduction loses the look-ahead.
    if (held) destroy(code, &v);
}
