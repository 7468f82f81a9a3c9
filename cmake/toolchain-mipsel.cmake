# Cross build for the box: MIPS32 little-endian Linux, Debian's cross
# toolchain. The target's C library is the toolchain's own
# (/usr/mipsel-linux-gnu); other libraries come from the sysroot that
# scripts/target-sysroot fills from Debian's mipsel packages.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(CMAKE_LIBRARY_ARCHITECTURE mipsel-linux-gnu)

set(STB_TARGET_TRIPLE mipsel-linux-gnu)
set(CMAKE_C_COMPILER ${STB_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${STB_TARGET_TRIPLE}-g++)
set(CMAKE_STRIP ${STB_TARGET_TRIPLE}-strip CACHE FILEPATH "")

if(NOT STB_SYSROOT)
  set(STB_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/sysroot-mipsel)
endif()
get_filename_component(STB_SYSROOT ${STB_SYSROOT} ABSOLUTE)
set(STB_SYSROOT ${STB_SYSROOT} CACHE PATH "Sysroot with the target's extra libraries")
set(STB_TARGET_LIBC /usr/${STB_TARGET_TRIPLE})

# The box's processor: a MIPS32 release 2 core, o32 ABI.
set(CMAKE_C_FLAGS_INIT "-march=mips32r2 -mabi=32 -isystem ${STB_SYSROOT}/usr/include")
set(CMAKE_CXX_FLAGS_INIT "-march=mips32r2 -mabi=32 -isystem ${STB_SYSROOT}/usr/include")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${STB_SYSROOT}/usr/lib/${STB_TARGET_TRIPLE}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${STB_SYSROOT}/usr/lib/${STB_TARGET_TRIPLE}")

set(CMAKE_FIND_ROOT_PATH ${STB_SYSROOT} ${STB_TARGET_LIBC})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs built here run under user-mode emulation (tests, discovery).
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-mipsel -L ${STB_TARGET_LIBC})
