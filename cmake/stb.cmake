# Helper functions shared by every component.

include(GNUInstallDirs)

set(STB_WARNINGS -Wall -Wextra)
if(STB_WERROR)
  list(APPEND STB_WARNINGS -Werror)
endif()

if(STB_SANITIZE)
  # vptr checks need RTTI, which the deliverables are built without.
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=vptr -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

if(STB_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "STB_FUZZ needs clang (use the fuzz preset)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Warnings for any target of the project.
function(stb_warnings target)
  target_compile_options(${target} PRIVATE ${STB_WARNINGS})
endfunction()

# A deliverable: what ships on the box. Built without exceptions or RTTI.
function(stb_deliverable target)
  stb_warnings(${target})
  target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>)
endfunction()

# A C++ deliverable that uses nothing of the C++ runtime links as C, so the
# box needs no libstdc++ for it. Sanitized builds keep the C++ link: their
# runtime has C++ parts.
function(stb_link_as_c target)
  if(NOT STB_SANITIZE AND NOT STB_FUZZ)
    set_target_properties(${target} PROPERTIES LINKER_LANGUAGE C)
  endif()
endfunction()

# stb_c_library(target MAP version-script [PROGRAM_SYMBOLS])
# A shared library of the box with a C interface: linked as C, only what
# its version script names exported, every symbol resolved at link time
# (not so with sanitizers, whose runtime the program brings). With
# PROGRAM_SYMBOLS some come from the program that loads it instead: they
# are bound when it is loaded.
function(stb_c_library target)
  cmake_parse_arguments(L "PROGRAM_SYMBOLS" "MAP" "" ${ARGN})
  get_filename_component(map ${L_MAP} ABSOLUTE)
  stb_link_as_c(${target})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden LINK_DEPENDS ${map})
  target_link_options(${target} PRIVATE -Wl,--version-script=${map} -Wl,--as-needed)
  if(L_PROGRAM_SYMBOLS)
    target_link_options(${target} PRIVATE -Wl,-z,now)
  elseif(NOT STB_SANITIZE AND NOT STB_FUZZ)
    target_link_options(${target} PRIVATE -Wl,-z,defs)
  endif()
  stb_deliverable(${target})
endfunction()

# GoogleTest: the distribution's package on the host; built from Debian's
# sources (package googletest) when cross-compiling or sanitizing.
macro(stb_find_gtest)
  if(CMAKE_CROSSCOMPILING OR STB_SANITIZE OR STB_FUZZ)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    if(NOT TARGET GTest::gtest_main)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
      add_library(GTest::gmock ALIAS gmock)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
  include(GoogleTest)
  # GoogleTest's header, parsed once per build rather than once per test
  # source (about 2 s of every test file's compile): every test program
  # reuses the precompiled header of one of these two programs, the second
  # for tests of code built with 64-bit file offsets (the header differs).
  # Programs, so that they are compiled as the test programs are (-fPIE,
  # not a library's -fPIC).
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/stb_test_pch.cc CONTENT "int main() { return 0; }\n")
  foreach(pch stb_test_pch stb_test_pch_lfs)
    add_executable(${pch} ${CMAKE_BINARY_DIR}/stb_test_pch.cc)
    stb_warnings(${pch})
    target_link_libraries(${pch} PRIVATE GTest::gtest)
    target_precompile_headers(${pch} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:<gtest/gtest.h$<ANGLE-R>>)
  endforeach()
  target_compile_definitions(stb_test_pch_lfs PRIVATE _FILE_OFFSET_BITS=64)
endmacro()

# stb_test(NAME SOURCES src... [LIBS lib...] [DEFS def...] [LABELS l...]
#          [DEPENDS target...])
# One GoogleTest program (its main: testsupport's, where CI turns a skip
# into a failure); its tests are discovered when CTest runs. DEPENDS
# names what it runs (programs, modules, preloaded libraries), built with it.
function(stb_test name)
  if(NOT STB_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;DEFS;LABELS;DEPENDS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_DEPENDS)
    add_dependencies(${name} ${T_DEPENDS})
  endif()
  stb_warnings(${name})
  set(pch stb_test_pch)
  foreach(lib IN LISTS T_LIBS)
    if(TARGET ${lib})
      get_target_property(defs ${lib} INTERFACE_COMPILE_DEFINITIONS)
      if(defs AND "_FILE_OFFSET_BITS=64" IN_LIST defs)
        set(pch stb_test_pch_lfs)
      endif()
    endif()
  endforeach()
  target_precompile_headers(${name} REUSE_FROM ${pch})
  target_link_libraries(${name} PRIVATE testsupport testsupport_main ${T_LIBS})
  target_compile_definitions(${name} PRIVATE ${T_DEFS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()

# stb_fuzz(NAME SOURCES src... [LIBS lib...] [CORPUS dir])
# A libFuzzer target, built only in the fuzz preset; listed for the smoke run
# with its seed corpus folder (kept in the source tree).
function(stb_fuzz name)
  if(NOT STB_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${F_SOURCES})
  stb_warnings(${name})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${F_LIBS})
  if(F_CORPUS)
    get_filename_component(F_CORPUS ${F_CORPUS} ABSOLUTE)
  endif()
  set_property(GLOBAL APPEND PROPERTY STB_FUZZ_TARGETS "${name}|${F_CORPUS}")
endfunction()

# Writes fuzz-targets.txt for scripts/fuzz-smoke: per line the target's path,
# a space, and its seed corpus folder (may be empty). The target fuzz_targets
# builds them and what they need, nothing else (the fuzz preset's build):
# the drivers' fuzz targets load the kernel modules when they start.
function(stb_write_fuzz_list)
  get_property(targets GLOBAL PROPERTY STB_FUZZ_TARGETS)
  get_property(modules GLOBAL PROPERTY STB_KERNEL_MODULES)
  add_custom_target(fuzz_targets)
  if(modules)
    add_dependencies(fuzz_targets ${modules})
  endif()
  set(lines "")
  foreach(entry IN LISTS targets)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 t)
    add_dependencies(fuzz_targets ${t})
    list(LENGTH parts n)
    set(corpus "")
    if(n GREATER 1)
      list(GET parts 1 corpus)
    endif()
    string(APPEND lines "$<TARGET_FILE:${t}> ${corpus}\n")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets.txt CONTENT "${lines}")
endfunction()

# The box's programs as the target tests run them. A build for the box's
# processor on glibc (the test framework is C++ on glibc) names the box
# build on the box's own C library, uClibc (STB_BOX_BUILD_DIR, same
# sources, same layout): the tests start that build's programs and preload
# its libraries into them. Without it, this build's own.
set(STB_BOX_BUILD_DIR "" CACHE PATH "Box build on uClibc whose programs the tests run (empty: this build's)")

# stb_box_file(VAR TARGET): the file of TARGET the tests run (a generator
# expression), from the box build when there is one. TARGET must be defined.
function(stb_box_file var target)
  if(STB_BOX_BUILD_DIR)
    get_target_property(dir ${target} BINARY_DIR)
    file(RELATIVE_PATH rel ${CMAKE_BINARY_DIR} ${dir})
    set(${var} "${STB_BOX_BUILD_DIR}/${rel}/$<TARGET_FILE_NAME:${target}>" PARENT_SCOPE)
  else()
    set(${var} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
  endif()
endfunction()

# stb_box_test_part(TARGET...): built with the box build's deliverables
# (target "box_test_parts", never installed) because the target tests load
# it into the box's programs: the device bridge, the preloaded clocks.
function(stb_box_test_part)
  set_property(GLOBAL APPEND PROPERTY STB_BOX_TEST_PARTS ${ARGN})
endfunction()

# The paths, relative to the calling folder, made absolute (for lists that
# other folders' targets build from).
function(stb_absolute_paths out)
  set(paths "")
  foreach(p IN LISTS ARGN)
    get_filename_component(p ${p} ABSOLUTE)
    list(APPEND paths ${p})
  endforeach()
  set(${out} ${paths} PARENT_SCOPE)
endfunction()

# A name that becomes part of a C identifier (fit_NAME, words_NAME).
function(stb_check_identifier what name)
  if(NOT name MATCHES "^[A-Za-z0-9_]+$")
    message(FATAL_ERROR "${what}: ${name} is not a C identifier")
  endif()
endfunction()

include(kmod)
include(vbox)

# Installation into the box's root file system (component "runtime") and
# into the development tree (component "dev"); `make rootfs` stages both.

# stb_install_program(target [SBIN])
# A program of the box: also on the virtual box's PATH.
function(stb_install_program target)
  vbox_program(${target})
  set_property(GLOBAL APPEND PROPERTY STB_DELIVERABLES ${target})
  cmake_parse_arguments(I "SBIN" "" "" ${ARGN})
  set(dest usr/bin)
  if(I_SBIN)
    set(dest sbin)
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${dest} COMPONENT runtime)
endfunction()

# stb_install_library(target [HEADERS h...] [PKGCONFIG file.pc.in])
# The shared library under its SONAME in usr/lib; headers, the link name and
# the pkg-config file in the development tree.
function(stb_install_library target)
  cmake_parse_arguments(I "" "PKGCONFIG" "HEADERS" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY STB_DELIVERABLES ${target})
  install(TARGETS ${target}
    LIBRARY DESTINATION usr/lib COMPONENT runtime NAMELINK_COMPONENT dev)
  if(I_HEADERS)
    install(FILES ${I_HEADERS} DESTINATION usr/include COMPONENT dev)
  endif()
  if(I_PKGCONFIG)
    get_filename_component(pc ${I_PKGCONFIG} NAME_WE)
    configure_file(${I_PKGCONFIG} ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION usr/lib/pkgconfig COMPONENT dev)
  endif()
endfunction()

# The target "deliverables": everything `make rootfs` stages (the box build
# makes only these).
function(stb_deliverables_target)
  get_property(targets GLOBAL PROPERTY STB_DELIVERABLES)
  add_custom_target(deliverables)
  add_dependencies(deliverables ${targets})
  get_property(parts GLOBAL PROPERTY STB_BOX_TEST_PARTS)
  add_custom_target(box_test_parts)
  if(parts)
    add_dependencies(box_test_parts ${parts})
  endif()
endfunction()
