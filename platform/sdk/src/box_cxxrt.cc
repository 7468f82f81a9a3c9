// The parts of the C++ runtime the stand-in's libraries need, for the box
// build on uClibc: Debian's libstdc++ is built for glibc and cannot be
// linked there. std::string is instantiated in each library
// (_GLIBCXX_ASSERTIONS: no extern templates for it); allocation comes from
// the C library, and what would throw stops the program, as a build
// without exceptions does.
#include <stdio.h>
#include <stdlib.h>

#include <cstddef>
#include <new>

namespace {
[[noreturn]] void fail(const char* what, const char* detail) {
    fprintf(stderr, "terminate: %s%s%s\n", what, detail ? ": " : "", detail ? detail : "");
    abort();
}
}  // namespace

void* operator new(std::size_t n) {
    void* p = malloc(n ? n : 1);
    if (!p) fail("out of memory", nullptr);
    return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, std::size_t) noexcept { free(p); }
void operator delete[](void* p, std::size_t) noexcept { free(p); }

namespace std {
void __throw_length_error(const char* s) { fail("length_error", s); }
void __throw_logic_error(const char* s) { fail("logic_error", s); }
void __throw_out_of_range(const char* s) { fail("out_of_range", s); }
void __throw_out_of_range_fmt(const char* s, ...) { fail("out_of_range", s); }
void __throw_bad_alloc() { fail("bad_alloc", nullptr); }
void __throw_bad_array_new_length() { fail("bad_array_new_length", nullptr); }
void __throw_invalid_argument(const char* s) { fail("invalid_argument", s); }
void __glibcxx_assert_fail(const char* file, int line, const char* function, const char* condition) noexcept {
    fprintf(stderr, "%s:%d: %s: assertion '%s' failed\n", file, line, function, condition);
    abort();
}
}  // namespace std

extern "C" void __cxa_pure_virtual() { fail("pure virtual call", nullptr); }
