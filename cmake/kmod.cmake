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
  stb_kernel_module_object(${name} SOURCES ${K_SOURCES})
endfunction()

# For the box: a cross build also compiles each module with the flags of a
# 2.4 MIPS module build (no PIC, no abicalls, long calls, no small data)
# into a relocatable object NAME.o in ${STB_MODULE_DIR}/2.4. It is a
# compile check of the driver for the box's processor against the
# platform's own 2.4 headers, showing it carries no host assumptions; it is
# not built against the box's real kernel tree, and is staged, not run.
set(STB_KERNEL_RELEASE 2.4.30-tango2-2.7.158.1)
set(STB_KMOD_TARGET_FLAGS -mno-abicalls -fno-pic -G 0 -mlong-calls -msoft-float
  -ffreestanding -fomit-frame-pointer -Wa,--trap)

function(stb_kernel_module_object name)
  if(NOT CMAKE_CROSSCOMPILING)
    return()
  endif()
  cmake_parse_arguments(K "" "" "SOURCES" ${ARGN})
  add_library(${name}_kobj OBJECT ${K_SOURCES})
  set_target_properties(${name}_kobj PROPERTIES POSITION_INDEPENDENT_CODE OFF)
  target_compile_definitions(${name}_kobj PRIVATE ${STB_KMOD_DEFINES})
  target_compile_options(${name}_kobj PRIVATE ${STB_KERNEL_FLAGS} ${STB_KMOD_TARGET_FLAGS})
  stb_warnings(${name}_kobj)
  set(out ${STB_MODULE_DIR}/2.4/${name}.o)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${STB_MODULE_DIR}/2.4
    COMMAND ${CMAKE_LINKER} -r -o ${out} $<TARGET_OBJECTS:${name}_kobj>
    DEPENDS ${name}_kobj $<TARGET_OBJECTS:${name}_kobj>
    COMMAND_EXPAND_LISTS VERBATIM)
  add_custom_target(${name}_o ALL DEPENDS ${out})
  set_property(GLOBAL APPEND PROPERTY STB_KERNEL_OBJECTS ${out})
endfunction()

# stb_driver_test(NAME SOURCES src... MODULES module... [LIBS lib...] [LABELS l...])
# A driver's GoogleTest program on the shared bench (platform/bench:
# kernel platform, virtual board, a process); the modules it loads are
# built before it, and its folder's headers are in reach.
function(stb_driver_test name)
  cmake_parse_arguments(D "" "" "SOURCES;MODULES;LIBS;LABELS" ${ARGN})
  stb_test(${name} SOURCES ${D_SOURCES} LIBS driverbench ${D_LIBS} LABELS ${D_LABELS})
  if(STB_TESTS)
    target_include_directories(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
    if(D_MODULES)
      add_dependencies(${name} ${D_MODULES})
    endif()
  endif()
endfunction()

# A module that ships: the 2.4 object goes to the box's module folder.
function(stb_install_kernel_module name)
  if(CMAKE_CROSSCOMPILING)
    set_property(GLOBAL APPEND PROPERTY STB_DELIVERABLES ${name}_o)
    install(FILES ${STB_MODULE_DIR}/2.4/${name}.o
      DESTINATION lib/modules/${STB_KERNEL_RELEASE} COMPONENT runtime)
  endif()
endfunction()
