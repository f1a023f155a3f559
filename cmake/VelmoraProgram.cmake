# velmora_add_program(name SOURCES src... [DATA folder] [ARCHIVE file...])
#
# SOURCES may mix C++ files and BASIC modules (.bas); the modules are translated to C++ at build
# time by velmora_translate_basic (cmake/VelmoraBasic.cmake), in the order given (module 0 first),
# with the line hook of debug builds in every build type but Release and MinSizeRel (there
# VELMORA_BASIC_DEBUG=ON keeps it). The translator's line map is copied beside the executable as
# <executable>.vlmmap, where the debug adapter (vlmdap) looks for it.
#
# Builds a program on the runtime: an executable `name` from the sources, linked with the
# runtime. DATA copies the folder's contents beside the executable after each build (the
# program reads its data from the folder it lives in). ARCHIVE appends the listed files to the
# executable as its media archive with vlmpack, so the program finds them by name without
# loose files.
#
# The function works in the source tree (the vlmpack target) and from an installed package
# (the Velmora::vlmpack imported executable), linking `velmora` or `Velmora::velmora`.
include(${CMAKE_CURRENT_LIST_DIR}/VelmoraBasic.cmake OPTIONAL)

function(velmora_add_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DATA" "SOURCES;ARCHIVE")
  if(NOT arg_SOURCES)
    message(FATAL_ERROR "velmora_add_program(${name}): no SOURCES")
  endif()
  set(cxx_sources "")
  set(basic_modules "")
  foreach(src IN LISTS arg_SOURCES)
    if(src MATCHES "\\.bas$")
      get_filename_component(abs ${src} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND basic_modules ${abs})
    else()
      list(APPEND cxx_sources ${src})
    endif()
  endforeach()
  if(basic_modules)
    if(NOT COMMAND velmora_translate_basic)
      message(FATAL_ERROR "velmora_add_program(${name}): BASIC sources need the translator")
    endif()
    velmora_translate_basic(${name} translated ${basic_modules} LINE_MAP line_map)
    list(APPEND cxx_sources ${translated})
  endif()
  add_executable(${name} ${cxx_sources})
  if(basic_modules)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${line_map} $<TARGET_FILE:${name}>.vlmmap
      VERBATIM)
  endif()
  if(TARGET Velmora::velmora)
    target_link_libraries(${name} PRIVATE Velmora::velmora)
  else()
    target_link_libraries(${name} PRIVATE velmora)
  endif()
  if(arg_DATA)
    get_filename_component(data_dir ${arg_DATA} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${data_dir} $<TARGET_FILE_DIR:${name}>
      COMMENT "Copying ${name}'s data beside it")
  endif()
  if(arg_ARCHIVE)
    if(TARGET Velmora::vlmpack)
      set(packer Velmora::vlmpack)
    else()
      set(packer vlmpack)
    endif()
    set(files "")
    foreach(f IN LISTS arg_ARCHIVE)
      get_filename_component(abs ${f} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
      list(APPEND files ${abs})
    endforeach()
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND $<TARGET_FILE:${packer}> add $<TARGET_FILE:${name}> ${files}
      COMMENT "Appending ${name}'s media archive")
    if(NOT TARGET Velmora::vlmpack)
      add_dependencies(${name} vlmpack)
    endif()
  endif()
endfunction()
