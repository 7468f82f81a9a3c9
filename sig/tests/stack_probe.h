// Stack use of a call, measured by painting: the call runs on a fresh stack
// filled with a pattern, and the bytes no longer holding the pattern are
// what it used (plus the few bytes of the context switch that starts it).
#pragma once

#include <stddef.h>
#include <string.h>
#include <ucontext.h>

namespace kvxprobe {

struct Call {
    void (*fn)(void*);
    void* arg;
};

inline Call*& current() {
    static Call* call;
    return call;
}

inline void trampoline() { current()->fn(current()->arg); }

inline size_t stack_used(void (*fn)(void*), void* arg) {
    static unsigned char stack[64 * 1024];
    static ucontext_t caller, callee;
    memset(stack, 0xA5, sizeof stack);
    Call call = {fn, arg};
    current() = &call;
    getcontext(&callee);
    callee.uc_stack.ss_sp = stack;
    callee.uc_stack.ss_size = sizeof stack;
    callee.uc_link = &caller;
    makecontext(&callee, trampoline, 0);
    swapcontext(&caller, &callee);
    size_t untouched = 0;  // the stack grows down: its low end stays painted
    while (untouched < sizeof stack && stack[untouched] == 0xA5) untouched++;
    return sizeof stack - untouched;
}

}  // namespace kvxprobe
