# velmora_translate_basic(target out_var module.bas... [NO_MAIN] [RELEASE] [LINE_MAP map_var])
#
# Translates the BASIC modules of a program (module 0 first) to C++ with vlmc at build time,
# into ${CMAKE_CURRENT_BINARY_DIR}/<target>_basic/, and sets out_var to the generated .cpp
# files. Editing a module (or rebuilding vlmc) translates again. The program's C++ namespace
# and header are named after the target (other characters than letters, digits and _ become _).
# LINE_MAP sets map_var to the line map vlmc writes beside them (<program>.vlmmap: where each
# statement stands in the BASIC files, for the debug adapter).
#
# The translation follows the build type: a Release or MinSizeRel build translates with
# --release (each statement notes only its position, for failure reports), every other build
# type (Debug, RelWithDebInfo, none) with --debug (the line hook before every statement, which
# the debug adapter needs). The flag is chosen per configuration when the modules are
# translated, so a multi-config generator translates each configuration with its own (one
# folder serves them all: building another configuration translates again).
# VELMORA_BASIC_DEBUG=ON keeps --debug in Release and MinSizeRel builds too (to debug an
# optimized program). The RELEASE argument and VELMORA_BASIC_RELEASE=ON translate with
# --release whatever the build type, VELMORA_BASIC_DEBUG or not.
#
# NO_MAIN leaves out the process entry (for code linked into another program).
function(velmora_translate_basic target out_var)
  cmake_parse_arguments(PARSE_ARGV 2 arg "NO_MAIN;RELEASE" "LINE_MAP" "")
  set(modules "")
  foreach(m IN LISTS arg_UNPARSED_ARGUMENTS)
    get_filename_component(abs ${m} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND modules ${abs})
  endforeach()
  if(NOT modules)
    message(FATAL_ERROR "velmora_translate_basic(${target}): no modules")
  endif()
  string(MAKE_C_IDENTIFIER ${target} program)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_basic)
  set(outputs ${dir}/${program}.h ${dir}/${program}_program.cpp ${dir}/${program}.vlmmap)
  set(sources ${dir}/${program}_program.cpp)
  set(index 0)
  foreach(m IN LISTS modules)
    get_filename_component(stem ${m} NAME_WE)
    string(REGEX REPLACE "[^A-Za-z0-9_]" "_" stem "${stem}")
    list(APPEND outputs ${dir}/${program}_module${index}_${stem}.cpp)
    list(APPEND sources ${dir}/${program}_module${index}_${stem}.cpp)
    math(EXPR index "${index} + 1")
  endforeach()
  if(arg_RELEASE OR VELMORA_BASIC_RELEASE)
    set(flags --release)
  elseif(VELMORA_BASIC_DEBUG)
    set(flags --debug)
  else()
    set(flags "$<IF:$<CONFIG:Release,MinSizeRel>,--release,--debug>")
  endif()
  if(arg_NO_MAIN)
    list(APPEND flags --no-main)
  endif()
  if(TARGET vlmc)
    set(translator vlmc)
  elseif(TARGET Velmora::vlmc)
    set(translator Velmora::vlmc)
  else()
    message(FATAL_ERROR "velmora_translate_basic(${target}): the vlmc translator is not available")
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${translator} --program ${program} --out ${dir} ${flags} ${modules}
    DEPENDS ${modules} ${translator}
    COMMENT "Translating ${target}'s BASIC modules"
    VERBATIM)
  set(${out_var} ${sources} PARENT_SCOPE)
  if(arg_LINE_MAP)
    set(${arg_LINE_MAP} ${dir}/${program}.vlmmap PARENT_SCOPE)
  endif()
endfunction()
