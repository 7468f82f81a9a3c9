// The built-in functions: windows of physical memory mapped through the
// memory device and kept in one process-wide list, reads and writes of
// exactly the width asked, word dumps, and command files.
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "vreg.h"

BuiltinEnv builtin_env = {"/dev/mem", 0, nullptr};

namespace {

struct MapEntry {
    char* name;
    uint32_t phys;  // as the caller gave it
    uint32_t size;
    void* mapped;  // where phys is in this process
    int fd;        // the memory device, open while the window lives
    MapEntry* next;
    MapEntry* prev;
    uint32_t lead;  // bytes mapped below phys, from the page boundary
};

MapEntry* map_head;
MapEntry* map_tail;

// Include nesting is bounded so that a file including itself ends with a
// report instead of exhausting the stack.
constexpr int kIncludeDepth = 16;
int include_depth;

void* as_ptr(uint32_t a) { return (void*)(uintptr_t)a; }

// The first window, from the head, holding n bytes at a. Counted as an
// offset into the window so that neither a short window nor one that ends
// at the top of the address space lets an access run past its end.
MapEntry* find(uint32_t a, uint32_t n, volatile unsigned char** where) {
    for (MapEntry* e = map_head; e; e = e->next) {
        if (e->size >= n && a >= e->phys && a - e->phys <= e->size - n) {
            *where = (volatile unsigned char*)e->mapped + (a - e->phys);
            return e;
        }
    }
    return nullptr;
}

// Translation of an access of n bytes at a; reports why it can't be done.
volatile unsigned char* translate(uint32_t a, uint32_t n, MapEntry** entry = nullptr) {
    volatile unsigned char* p = nullptr;
    MapEntry* e = find(a, n, &p);
    if (!e) {
        vreg_report(0, 0, "address %p isn't mapped", as_ptr(a));
        return nullptr;
    }
    // The bus takes one access of the named width only at its natural
    // alignment; the processor would split or trap anything else.
    if (a % n) {
        vreg_report(0, 0, "address %p isn't aligned", as_ptr(a));
        return nullptr;
    }
    if (entry) *entry = e;
    return p;
}

bool count_is(int argc, int want) {
    if (argc == want) return true;
    vreg_report(0, 0, "invalid number of arguments (required %d)", want);
    return false;
}

bool type_is(const Value* args, int i, int type) {
    if (args[i].type == type) return true;
    vreg_report(0, 0, "argument %d wrong type, expected %s", i + 1, type == T_STRING ? "STRING" : "LONG");
    return false;
}

Value none() {
    Value v{};
    v.type = T_NONE;
    return v;
}

// The result of a call that reported why it failed: an operand made of it
// fails in turn, so nothing is written or printed on its account.
Value failed() {
    Value v{};
    v.type = T_FAILED;
    return v;
}

Value number(int type, uint32_t n) {
    Value v{};
    v.type = type;
    v.num = n;
    return v;
}

const char* text_of(const Value& v) { return v.str ? v.str : ""; }

void release(MapEntry* e) {
    free(e->name);
    free(e);
}

Value f_maplist(const Value*, int) {
    if (!map_head) {
        printf("empty map list\n");
        return none();
    }
    printf("N.   \tphy       \tmapped   \tsize       \tname\n");
    int i = 0;
    for (MapEntry* e = map_head; e; e = e->next, ++i)
        printf("[%03d]\t%8p\t%8p\t0x%08lX\t%s\n", i, as_ptr(e->phys), e->mapped, (unsigned long)e->size, e->name);
    return none();
}

Value f_mmap(const Value* args, int argc) {
    if (!count_is(argc, 3) || !type_is(args, 0, T_STRING) || !type_is(args, 1, T_LONG) || !type_is(args, 2, T_LONG))
        return failed();
    uint32_t phys = args[1].num, size = args[2].num;
    // Physical addresses end at 0xFFFFFFFF: a window reaching beyond would
    // map file offsets past the memory and fault at its first access.
    if (size > 0 && size - 1 > 0xFFFFFFFFu - phys) {
        vreg_report(0, 0, "mmap: window at %p of 0x%lX bytes runs past 0xFFFFFFFF", as_ptr(phys), (unsigned long)size);
        return failed();
    }
    MapEntry* e = (MapEntry*)calloc(1, sizeof(MapEntry));
    if (e) e->name = strdup(text_of(args[0]));
    if (!e || !e->name) {
        vreg_report(0, errno, "mmap: malloc failed");
        free(e);
        return failed();
    }
    e->phys = phys;
    e->size = size;
    e->fd = open(builtin_env.mem_path, O_RDWR | O_SYNC);
    if (e->fd < 0) {
        vreg_report(0, errno, "mmap: open /dev/mem failed");
        release(e);
        return failed();
    }
    // Map from the page that holds phys, so that every access reaches
    // exactly the physical address it names, aligned or not.
    uint32_t page = (uint32_t)sysconf(_SC_PAGESIZE);
    uint32_t offset = phys & ~(page - 1);
    e->lead = phys - offset;
    size_t length = (size_t)size + e->lead;
    void* base = MAP_FAILED;
    if (size == 0 || length < size) errno = EINVAL;
    else if (builtin_env.map_limit && size > builtin_env.map_limit) errno = ENOMEM;
    else base = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, e->fd, (off_t)offset);
    if (base == MAP_FAILED) {
        vreg_report(0, errno, "mmap: mmap failed");
        close(e->fd);
        release(e);
        return failed();
    }
    e->mapped = (char*)base + e->lead;
    e->prev = map_tail;
    if (map_tail) map_tail->next = e;
    else map_head = e;
    map_tail = e;
    return none();
}

// Unlinks and frees one window; false (reported) when it can't be unmapped.
bool unmap(MapEntry* e) {
    if (munmap((char*)e->mapped - e->lead, (size_t)e->size + e->lead) != 0) {
        vreg_report(0, errno, "munmap failed");
        return false;
    }
    if (e->prev) e->prev->next = e->next;
    else map_head = e->next;
    if (e->next) e->next->prev = e->prev;
    else map_tail = e->prev;
    close(e->fd);
    release(e);
    return true;
}

Value f_munmap(const Value* args, int argc) {
    if (!count_is(argc, 1) || !type_is(args, 0, T_LONG)) return failed();
    for (MapEntry* e = map_head; e;) {
        MapEntry* next = e->next;
        if (e->phys == args[0].num && !unmap(e)) return failed();
        e = next;
    }
    return none();
}

Value f_getbyte(const Value* args, int argc) {
    if (!count_is(argc, 1) || !type_is(args, 0, T_LONG)) return failed();
    volatile uint8_t* p = (volatile uint8_t*)translate(args[0].num, 1);
    if (!p) return failed();
    printf("%p: ", as_ptr(args[0].num));
    return number(T_BYTE, *p);
}

Value f_getword(const Value* args, int argc) {
    if (!count_is(argc, 1) || !type_is(args, 0, T_LONG)) return failed();
    volatile uint16_t* p = (volatile uint16_t*)translate(args[0].num, 2);
    if (!p) return failed();
    printf("%p: ", as_ptr(args[0].num));
    return number(T_WORD, *p);
}

// Dumps count words from phys, four to a row. Words past the end of the
// window are never read: the dump stops there and says so. False when
// something was reported.
bool dump(uint32_t phys, uint32_t count) {
    MapEntry* e = nullptr;
    volatile uint32_t* p = (volatile uint32_t*)translate(phys, 4, &e);
    if (!p) return false;
    uint32_t avail = (e->size - (phys - e->phys)) / 4;
    uint32_t n = count < avail ? count : avail;
    for (uint32_t i = 0; i < n; ++i) {
        if (i % 4 == 0) printf("0x%08lX:", (unsigned long)(uint32_t)(phys + 4 * i));
        printf(" 0x%08lX", (unsigned long)p[i]);
        if (i % 4 == 3) printf("\n");
    }
    if (n < count) {
        if (n % 4) printf("\n");
        uint32_t next = phys + 4 * n;
        // A window that ends at the top leaves no address after it to name.
        if (next == 0) vreg_report(0, 0, "dump stops at 0xFFFFFFFF, the end of the address space");
        else vreg_report(0, 0, "address %p isn't mapped", as_ptr(next));
        return false;
    }
    return true;
}

Value f_getlong(const Value* args, int argc) {
    if (argc < 1) {
        vreg_report(0, 0, "invalid number of arguments (required at least 1)");
        return failed();
    }
    if (!type_is(args, 0, T_LONG)) return failed();
    if (argc == 2) return type_is(args, 1, T_LONG) && dump(args[0].num, args[1].num) ? none() : failed();
    volatile uint32_t* p = (volatile uint32_t*)translate(args[0].num, 4);
    if (!p) return failed();
    if (argc > 2) return none();
    return number(T_LONG, *p);
}

template <class T>
Value set(const Value* args, int argc) {
    if (!count_is(argc, 2) || !type_is(args, 0, T_LONG) || !type_is(args, 1, T_LONG)) return failed();
    volatile T* p = (volatile T*)translate(args[0].num, sizeof(T));
    if (!p) return failed();
    *p = (T)args[1].num;
    return none();
}

Value f_include(const Value* args, int argc) {
    if (!count_is(argc, 1) || !type_is(args, 0, T_STRING)) return failed();
    const char* path = text_of(args[0]);
    if (include_depth >= kIncludeDepth) {
        vreg_report(0, 0, "include '%s' refused: more than %d nested includes", path, kIncludeDepth);
        return failed();
    }
    enum { kBuffer = 4096, kRead = 4094 };
    char* buf = (char*)malloc(kBuffer);
    if (!buf) {
        vreg_report(0, errno, "malloc failed 4k");
        return failed();
    }
    Lexer lx = {};
    Parser* parser = parser_create(malloc);
    if (!parser) {
        fprintf(stderr, "%s: fatal error! can't alloc parser\n", vreg_progname);
        free(buf);
        return failed();
    }
    FILE* f = nullptr;
    if (builtin_env.include_allowed && !builtin_env.include_allowed(path)) errno = EACCES;
    else f = fopen(path, "r");
    Value result = none();
    if (!f) {
        vreg_report(0, errno, "can't open '%s' for input", path);
        result = failed();
    } else {
        include_depth++;
        for (int line = 1; fgets(buf, kRead, f); ++line) line_handler(buf, &lx, parser, line);
        include_depth--;
        fclose(f);
    }
    parser_release(parser, free);
    free(buf);
    return result;
}

struct Builtin {
    const char* name;
    const char* alias;
    Value (*fn)(const Value* args, int argc);
};

// One built-in a line:
// clang-format off
const Builtin kBuiltins[] = {
    {"maplist", nullptr, f_maplist},
    {"mmap", nullptr, f_mmap},
    {"munmap", nullptr, f_munmap},
    {"getbyte", "gb", f_getbyte},
    {"getword", "gw", f_getword},
    {"getlong", "gl", f_getlong},
    {"setbyte", "sb", set<uint8_t>},
    {"setword", "sw", set<uint16_t>},
    {"setlong", "sl", set<uint32_t>},
    {"include", nullptr, f_include},
};
// clang-format on

}  // namespace

Value builtin_call(const char* name, const Value* args, int argc) {
    for (const Builtin& b : kBuiltins)
        if (strcmp(name, b.name) == 0 || (b.alias && strcmp(name, b.alias) == 0)) return b.fn(args, argc);
    vreg_report(0, 0, "unknown function '%s'", name);
    return failed();
}

void map_list_release(void) {
    while (map_head)
        if (!unmap(map_head)) break;
}
