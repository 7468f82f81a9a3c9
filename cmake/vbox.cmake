# What components contribute to the virtual box (vbox/), collected here so
# that no list in vbox/ names them.
#
#   vbox_console(NAME [SOURCES src.cc...] [LIBS lib...])
#     console words: the sources are built into the daemon (linked with
#     the libraries), and one of them, or a library the daemon links (the
#     board's models are in the board library), defines
#     `void console::words_NAME(console::Console&)`
#     (platform/console/include/console/console.h).
#   vbox_boot(ORDER N FILE boot.rc)
#     lines of the box's default boot script, in the box's own style (see
#     vbox/boot-head.rc): the script is the files of every component in
#     ascending ORDER (the order the modules load in matters: a module
#     using another's routines comes after it), each with its comments.
#     The build writes it to build/PRESET/vbox/boot.rc; `vbox start --boot
#     FILE` boots another.
#   vbox_program(TARGET)
#     a program that belongs in the box: built with `vbox`, its folder on
#     the PATH of `vbox run` and `vbox shell`. Every program installed on
#     the box (stb_install_program) is one already.
#   vbox_headend_program(TARGET)
#     a program of the head end (a multicast sender): on the PATH of
#     `vbox headend`.

function(vbox_console name)
  cmake_parse_arguments(C "" "" "SOURCES;LIBS" ${ARGN})
  stb_check_identifier(vbox_console ${name})
  stb_absolute_paths(sources ${C_SOURCES})
  set_property(GLOBAL APPEND PROPERTY VBOX_CONSOLE_NAMES ${name})
  set_property(GLOBAL APPEND PROPERTY VBOX_CONSOLE_SOURCES ${sources})
  set_property(GLOBAL APPEND PROPERTY VBOX_CONSOLE_LIBS ${C_LIBS})
endfunction()

function(vbox_boot)
  cmake_parse_arguments(B "" "ORDER;FILE" "" ${ARGN})
  if(NOT B_ORDER MATCHES "^[0-9]+$" OR B_ORDER GREATER 9999 OR NOT B_FILE)
    message(FATAL_ERROR "vbox_boot(ORDER 0..9999 FILE file): ${ARGN}")
  endif()
  get_filename_component(file ${B_FILE} ABSOLUTE)
  string(LENGTH "${B_ORDER}" digits)
  math(EXPR pad "4 - ${digits}")
  string(REPEAT "0" ${pad} zeros)
  set_property(GLOBAL APPEND PROPERTY VBOX_BOOT_PARTS "${zeros}${B_ORDER}|${file}")
endfunction()

# Writes the default boot script to out: every vbox_boot() file, in order
# (a tie in the order of their folders), a line naming where it comes from
# before each. Changing one of the files makes the build write it again.
function(vbox_boot_script out)
  get_property(parts GLOBAL PROPERTY VBOX_BOOT_PARTS)
  list(SORT parts)
  set(text "")
  foreach(part IN LISTS parts)
    string(REPLACE "|" ";" fields "${part}")
    list(GET fields 1 file)
    file(READ ${file} lines)
    file(RELATIVE_PATH name ${CMAKE_SOURCE_DIR} ${file})
    if(text)
      string(APPEND text "\n")
    endif()
    string(APPEND text "# ---- ${name}\n${lines}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  endforeach()
  file(GENERATE OUTPUT ${out} CONTENT "${text}")
endfunction()

function(vbox_program target)
  set_property(GLOBAL APPEND PROPERTY VBOX_PROGRAMS ${target})
endfunction()

function(vbox_headend_program target)
  set_property(GLOBAL APPEND PROPERTY VBOX_HEADEND_PROGRAMS ${target})
endfunction()

# "DIR1:DIR2" of the targets' output folders (a generator expression); the
# box build's folders for a build that names one (STB_BOX_BUILD_DIR).
function(vbox_path_of out)
  set(dirs "")
  foreach(t IN LISTS ARGN)
    stb_box_file(file ${t})
    list(APPEND dirs "$<PATH:GET_PARENT_PATH,${file}>")
  endforeach()
  set(${out} "$<JOIN:$<REMOVE_DUPLICATES:${dirs}>,:>" PARENT_SCOPE)
endfunction()
