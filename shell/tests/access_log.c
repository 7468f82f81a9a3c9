/* A plugin for the processor emulator that writes down every access the
 * program makes to one window of its memory device: direction, width in
 * bytes and offset from the window's first page, one line each ("R4 0x10").
 * The window is the mapping of the memory device made at file offset
 * `offset`, found by watching the program's mmap calls.
 *
 * Arguments: out=FILE, offset=N, arch=x86_64|mips (which mmap calls to
 * watch: x86_64 mmap counts its offset in bytes; MIPS o32 has mmap in bytes
 * and mmap2 in 4096-byte units).
 *
 * The emulator's development header is not installed on the build machine:
 * the few entry points used are declared here as the emulator exports them
 * (plugin interface version 1). */
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef uint64_t plugin_id;
typedef uint32_t meminfo;
struct qemu_info_t;
struct qemu_plugin_tb;
struct qemu_plugin_insn;

enum {
	CB_NO_REGS = 0
};
enum {
	MEM_RW = 3
};

typedef void (*tb_cb)(plugin_id, struct qemu_plugin_tb *);
typedef void (*mem_cb)(unsigned int, meminfo, uint64_t, void *);
typedef void (*syscall_cb)(plugin_id, unsigned int, int64_t, uint64_t, uint64_t,
			   uint64_t, uint64_t, uint64_t, uint64_t, uint64_t,
			   uint64_t);
typedef void (*syscall_ret_cb)(plugin_id, unsigned int, int64_t, int64_t);

void qemu_plugin_register_vcpu_tb_trans_cb(plugin_id, tb_cb);
size_t qemu_plugin_tb_n_insns(const struct qemu_plugin_tb *);
struct qemu_plugin_insn *qemu_plugin_tb_get_insn(const struct qemu_plugin_tb *,
						 size_t);
void qemu_plugin_register_vcpu_mem_cb(struct qemu_plugin_insn *, mem_cb,
				      int flags, int rw, void *);
unsigned int qemu_plugin_mem_size_shift(meminfo);
bool qemu_plugin_mem_is_store(meminfo);
void qemu_plugin_register_vcpu_syscall_cb(plugin_id, syscall_cb);
void qemu_plugin_register_vcpu_syscall_ret_cb(plugin_id, syscall_ret_cb);

#define EXPORT __attribute__((visibility("default")))
EXPORT int qemu_plugin_version = 1;
EXPORT int qemu_plugin_install(plugin_id id, const struct qemu_info_t *info,
			       int argc, char **argv);

static FILE *out;
static uint64_t want_offset;
static bool mips;
static uint64_t lo, hi;		/* the window, once mapped */
static uint64_t pending_length; /* an mmap of the window under way */
static bool pending;

static void on_access(unsigned int vcpu, meminfo info, uint64_t vaddr,
		      void *data)
{
	(void)vcpu;
	(void)data;
	if (vaddr < lo || vaddr >= hi)
		return;
	fprintf(out, "%c%u 0x%llx\n",
		qemu_plugin_mem_is_store(info) ? 'W' : 'R',
		1u << qemu_plugin_mem_size_shift(info),
		(unsigned long long)(vaddr - lo));
}

static void on_translate(plugin_id id, struct qemu_plugin_tb *tb)
{
	(void)id;
	size_t n = qemu_plugin_tb_n_insns(tb);
	for (size_t i = 0; i < n; ++i)
		qemu_plugin_register_vcpu_mem_cb(qemu_plugin_tb_get_insn(tb, i),
						 on_access, CB_NO_REGS, MEM_RW,
						 NULL);
}

/* The file offset an mmap call asks for, or -1 when num is none. */
static int64_t mmap_offset(int64_t num, uint64_t arg6)
{
	if (!mips)
		return num == 9 ? (int64_t)arg6 : -1;
	if (num == 4090)
		return (int64_t)(uint32_t)arg6;
	if (num == 4210)
		return (int64_t)(uint32_t)arg6 * 4096;
	return -1;
}

static void on_syscall(plugin_id id, unsigned int vcpu, int64_t num,
		       uint64_t a1, uint64_t a2, uint64_t a3, uint64_t a4,
		       uint64_t a5, uint64_t a6, uint64_t a7, uint64_t a8)
{
	(void)id, (void)vcpu, (void)a1, (void)a3, (void)a4, (void)a5, (void)a7,
		(void)a8;
	pending = mmap_offset(num, a6) == (int64_t)want_offset;
	pending_length = mips ? (uint32_t)a2 : a2;
}

static void on_syscall_return(plugin_id id, unsigned int vcpu, int64_t num,
			      int64_t ret)
{
	(void)id, (void)vcpu;
	if (pending && mmap_offset(num, 0) >= 0 && (ret > 0 || ret < -4095)) {
		lo = mips ? (uint32_t)ret : (uint64_t)ret;
		hi = lo + pending_length;
		fprintf(out, "window 0x%llx\n",
			(unsigned long long)pending_length);
	}
	pending = false;
}

int qemu_plugin_install(plugin_id id, const struct qemu_info_t *info, int argc,
			char **argv)
{
	(void)info;
	const char *path = NULL;
	for (int i = 0; i < argc; ++i) {
		if (strncmp(argv[i], "out=", 4) == 0)
			path = argv[i] + 4;
		else if (strncmp(argv[i], "offset=", 7) == 0)
			want_offset = strtoull(argv[i] + 7, NULL, 0);
		else if (strcmp(argv[i], "arch=mips") == 0)
			mips = true;
	}
	if (!path || !(out = fopen(path, "w")))
		return -1;
	setvbuf(out, NULL, _IOLBF, 0);
	qemu_plugin_register_vcpu_tb_trans_cb(id, on_translate);
	qemu_plugin_register_vcpu_syscall_cb(id, on_syscall);
	qemu_plugin_register_vcpu_syscall_ret_cb(id, on_syscall_return);
	return 0;
}
