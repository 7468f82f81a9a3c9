# Thin wrapper over the CMake presets. Every target does its own set-up
# (scripts/setup installs what the machine lacks), so a fresh checkout needs
# nothing but `make test` or `make run`.

FUZZ_SECONDS ?= 60

.PHONY: all setup build test run asan-test fuzz fuzz-smoke bench target-setup target-build target-test box-setup box-build box-test rootfs fresh-check format format-check clean

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

# The box's processor: cross build for mipsel, tests under qemu-mipsel.
target-setup:
	@scripts/setup target
	@scripts/target-sysroot build/sysroot-mipsel

target-build: target-setup
	@cmake --preset mipsel >/dev/null
	@cmake --build --preset mipsel

# The box's deliverables on its own C library: uClibc-ng, readline and
# ncurses built from Debian's sources into build/sysroot-uclibc (once).
box-setup:
	@scripts/setup target
	@scripts/target-uclibc build/sysroot-uclibc

box-build: box-setup
	@cmake --preset box >/dev/null
	@cmake --build --preset box

# The 2.4 audit's own test, then the box build's programs.
box-test: box-setup
	@scripts/tests/target-audit-test build/sysroot-uclibc
	@$(MAKE) --no-print-directory box-build
	@scripts/tests/box-programs-test build/box

# The emulated programs are served by the host build's virtual box.
target-test: build target-build
	@ctest --preset mipsel

rootfs: target-build
	@scripts/rootfs build/mipsel build/rootfs

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
