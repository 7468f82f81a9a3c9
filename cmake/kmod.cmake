# Kernel modules for the host kernel platform (platform/kernel).
#
#   stb_kernel_module(NAME SOURCES src.c...)
#
# builds the C sources as the module NAME: a shared object
# ${STB_MODULE_DIR}/NAME.so that the platform's insmod("NAME") loads. The
# sources see only the platform's 2.4 headers (no host headers), with
# __KERNEL__ and MODULE defined, as in the box's kernel tree.

set(STB_MODULE_DIR ${CMAKE_BINARY_DIR}/modules)
set(STB_KERNEL_INCLUDE ${CMAKE_SOURCE_DIR}/platform/kernel/include)
set(STB_KMOD_STUB ${CMAKE_SOURCE_DIR}/platform/kernel/src/module_stub.c)

# The compiler's own headers (stdarg.h, stddef.h) are the only ones kernel
# code may use besides the kernel's.
execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=include
  OUTPUT_VARIABLE STB_KERNEL_CC_INCLUDE OUTPUT_STRIP_TRAILING_WHITESPACE)

# Every flag of kernel code, in one place: modules, and the kernel half of
# the platform (which adds C++ flags of its own).
set(STB_KERNEL_DEFINES __KERNEL__)
set(STB_KERNEL_FLAGS -nostdinc -isystem ${STB_KERNEL_CC_INCLUDE} -I${STB_KERNEL_INCLUDE}
  -fno-common -fno-strict-aliasing)
set(STB_KMOD_DEFINES ${STB_KERNEL_DEFINES} MODULE)
# Host modules: a module's own references stay inside it (-Bsymbolic), so two
# modules may both have a global of the same name, as on the box.
set(STB_KMOD_LINK_FLAGS -Wl,-Bsymbolic)

function(stb_kernel_module name)
  cmake_parse_arguments(K "" "" "SOURCES" ${ARGN})
  add_library(${name} MODULE ${K_SOURCES} ${STB_KMOD_STUB})
  set_target_properties(${name} PROPERTIES
    PREFIX "" SUFFIX ".so" OUTPUT_NAME ${name}
    LIBRARY_OUTPUT_DIRECTORY ${STB_MODULE_DIR})
  target_compile_definitions(${name} PRIVATE ${STB_KMOD_DEFINES})
  target_compile_options(${name} PRIVATE ${STB_KERNEL_FLAGS})
  target_link_options(${name} PRIVATE ${STB_KMOD_LINK_FLAGS})
  stb_warnings(${name})
  set_property(GLOBAL APPEND PROPERTY STB_KERNEL_MODULES ${name})
endfunction()
