# What components contribute to the virtual box (vbox/), collected here so
# that no list in vbox/ names them.
#
#   vbox_console(NAME SOURCES src.cc... [LIBS lib...])
#     console commands: the sources are built into the daemon (linked with
#     the libraries), and one of them defines
#     `void vbox::console_NAME(vbox::Console&)` (see vbox/console/console.h).
#   vbox_program(TARGET)
#     a program that belongs in the box: built with `vbox`, its folder on
#     the PATH of `vbox run` and `vbox shell`. Every program installed on
#     the box (stb_install_program) is one already.
#   vbox_headend_program(TARGET)
#     a program of the head end (a multicast sender): on the PATH of
#     `vbox headend`.

function(vbox_console name)
  cmake_parse_arguments(C "" "" "SOURCES;LIBS" ${ARGN})
  set(sources "")
  foreach(s IN LISTS C_SOURCES)
    get_filename_component(s ${s} ABSOLUTE)
    list(APPEND sources ${s})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY VBOX_CONSOLE_NAMES ${name})
  set_property(GLOBAL APPEND PROPERTY VBOX_CONSOLE_SOURCES ${sources})
  set_property(GLOBAL APPEND PROPERTY VBOX_CONSOLE_LIBS ${C_LIBS})
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
