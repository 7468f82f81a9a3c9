# Cross build for the box on its own C library, uClibc: MIPS32
# little-endian Linux, o32.
#
# STB_TOOLCHAIN_PREFIX names the compiler and binutils by their common
# prefix ("${prefix}gcc", "${prefix}g++", "${prefix}strip", ...). The
# default is the wrappers that scripts/target-uclibc builds around Debian's
# mipsel cross compiler, with uClibc, readline and ncurses in the sysroot
# STB_SYSROOT. The box vendor's own uClibc toolchain is used with its
# prefix instead, STB_SYSROOT naming where its readline and ncurses are:
#   cmake --preset box -DSTB_TOOLCHAIN_PREFIX=/opt/vendor/bin/mipsel-linux-uclibc- \
#         -DSTB_SYSROOT=/opt/vendor/sysroot
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)

if(NOT STB_SYSROOT)
  set(STB_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/sysroot-uclibc)
endif()
get_filename_component(STB_SYSROOT ${STB_SYSROOT} ABSOLUTE)
set(STB_SYSROOT ${STB_SYSROOT} CACHE PATH "Sysroot with the box's C library, readline and ncurses")
if(NOT STB_TOOLCHAIN_PREFIX)
  set(STB_TOOLCHAIN_PREFIX ${STB_SYSROOT}/bin/mipsel-uclibc-)
endif()
set(STB_TOOLCHAIN_PREFIX ${STB_TOOLCHAIN_PREFIX} CACHE STRING "Prefix of the box's compiler and binutils")
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES STB_SYSROOT STB_TOOLCHAIN_PREFIX)

set(CMAKE_C_COMPILER ${STB_TOOLCHAIN_PREFIX}gcc)
set(CMAKE_CXX_COMPILER ${STB_TOOLCHAIN_PREFIX}g++)
set(CMAKE_AR ${STB_TOOLCHAIN_PREFIX}ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${STB_TOOLCHAIN_PREFIX}ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${STB_TOOLCHAIN_PREFIX}strip CACHE FILEPATH "")
set(CMAKE_NM ${STB_TOOLCHAIN_PREFIX}nm CACHE FILEPATH "")
# Deliverables that check for it build what the box's C library lacks
# (its own password file reader, for one) differently.
set(STB_UCLIBC ON)

# The box's processor: a MIPS32 release 2 core, o32 ABI. uClibc's loader
# knows no GNU unique symbols (the statics of inline C++ functions would
# be bound to address 0): plain weak ones instead.
set(CMAKE_C_FLAGS_INIT "-march=mips32r2 -mabi=32")
set(CMAKE_CXX_FLAGS_INIT "-march=mips32r2 -mabi=32 -fno-gnu-unique")

set(CMAKE_FIND_ROOT_PATH ${STB_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under user-mode emulation, the box's loader and
# libraries taken from the sysroot.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L ${STB_SYSROOT})
