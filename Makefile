# Thin wrapper over the CMake presets. Every target does its own set-up
# (scripts/setup installs what the machine lacks), so a fresh checkout needs
# nothing but `make test` or `make run`.

FUZZ_SECONDS ?= 60

.PHONY: all setup build test run asan-test fuzz fuzz-smoke bench target-setup target-build target-test box-setup box-build rootfs fresh-check format format-check clean

all: build

setup:
	@scripts/setup

build/debug/build.ninja: CMakePresets.json
	@cmake --preset debug >/dev/null

build: setup build/debug/build.ninja
	@cmake --build --preset debug

test: build
	@ctest --preset debug

run: build
	@vbox/run-box build/debug/vbox/vbox

asan-test: setup
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan
	@ctest --preset asan

fuzz: setup
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz

fuzz-smoke: fuzz
	@scripts/fuzz-smoke build/fuzz/fuzz-targets.txt $(FUZZ_SECONDS)

# The bridge's figures, from the release build.
bench: setup
	@cmake --preset release >/dev/null
	@cmake --build --preset release
	@vbox/bench/run-bench build/release

# The box's processor. The box's deliverables are built on its own C
# library: uClibc-ng, readline and ncurses built from Debian's sources into
# build/sysroot-uclibc (once), the box preset in build/box. The tests are
# built on Debian's mipsel glibc (build/mipsel: the test framework is C++
# on glibc) and run the box build's programs under qemu-mipsel.
box-setup:
	@scripts/setup target
	@scripts/target-uclibc build/sysroot-uclibc

box-build: box-setup
	@cmake --preset box >/dev/null
	@cmake --build --preset box

target-setup: box-setup
	@scripts/target-sysroot build/sysroot-mipsel

target-build: target-setup box-build
	@cmake --preset mipsel >/dev/null
	@cmake --build --preset mipsel

# The 2.4 audit's own test and the box programs' check, the target tests
# (the uClibc programs' system calls written down), then the audit of the
# deliverables' C library functions and of those system calls. The
# emulated programs are served by the host build's virtual box.
BOX_STRACE := $(CURDIR)/build/box-strace
BOX_STAGED := $(CURDIR)/build/box-staged
target-test: build target-build
	@scripts/tests/target-audit-test build/sysroot-uclibc
	@scripts/tests/box-programs-test build/box
	@rm -rf $(BOX_STRACE) $(BOX_STAGED)
	@BOX_STRACE_DIR=$(BOX_STRACE) ctest --preset mipsel
	@DESTDIR=$(BOX_STAGED) cmake --install build/box --prefix / --component runtime >/dev/null
	@echo "2.4 audit: the C library functions of the box's programs and libraries"
	@scripts/target-audit functions $$(find $(BOX_STAGED)/usr -type f | sort)
	@echo "2.4 audit: the system calls of the box's programs in the target tests"
	@scripts/target-audit syscalls $(BOX_STRACE)

rootfs: box-build
	@STRIP=$(CURDIR)/build/sysroot-uclibc/bin/mipsel-uclibc-strip scripts/rootfs build/box build/rootfs

# The source layout (scripts/format): check it, or rewrite what differs.
format-check:
	@scripts/setup format
	@scripts/format --check

format:
	@scripts/setup format
	@scripts/format --fix

# The two commands on a fresh minimal Debian 12 (mmdebstrap, a chroot whose
# "/" is no mount point), from a clone of HEAD. As root.
fresh-check:
	@scripts/setup fresh
	@scripts/fresh-check

clean:
	rm -rf build
