# One library per runtime folder, linked and given include paths along the layers of cmake/layers.txt.
#
# For every line "<folder>: <below...>" of the table this defines
#   velmora_<folder>_headers  INTERFACE: the folder's public headers, plus those of the folders below;
#   velmora_<folder>          STATIC from runtime/<folder>/**/*.cpp (INTERFACE while the folder has no
#                             sources), linked PUBLIC to velmora_<below> for each folder below it;
# and the aggregate `velmora` that programs link.
#
# Public and internal headers: a header directly in runtime/<folder>/ is public unless its name ends
# in "_internal.h"; anything under runtime/<folder>/internal/ and every non-header file (*.inc) is
# internal. Headers are included as "<folder>/<name>.h" everywhere. Of the public headers, those
# cmake/faces.txt names are the folder's face (what programs call); the others face the floors
# above (VELMORA_FACE_HEADERS below).
#
# With VELMORA_STRICT_LAYERS (the default) the include paths only hold what a folder may see:
#   build/layers/public/<folder>/<folder>/<name>.h   links to the public headers only; this root is
#                                                    on the path of the folder and of everything above;
#   build/layers/private/<folder>/<folder>           links to runtime/<folder> itself; this root is on
#                                                    the path of the folder's own sources (and of its
#                                                    white-box tests and harnesses, see
#                                                    VELMORA_PRIVATE_ROOT and velmora_white_box).
# So an include of a folder above, or of another folder's internal header, does not compile. Without
# it, runtime/ is one include root for all, as in a single-library build, and the libraries are
# linked as one group so that calls across the layers still resolve.

option(VELMORA_STRICT_LAYERS "Give each runtime folder only the headers of the folders below it" ON)

set(VELMORA_LAYER_TABLE ${CMAKE_SOURCE_DIR}/cmake/layers.txt)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELMORA_LAYER_TABLE})

# VELMORA_LAYERS: the folders, lowest first; VELMORA_LAYER_BELOW_<folder>: the folders below it.
set(VELMORA_LAYERS "")
file(STRINGS ${VELMORA_LAYER_TABLE} _table_lines)
foreach(_line IN LISTS _table_lines)
  string(REGEX REPLACE "#.*" "" _line "${_line}")
  string(STRIP "${_line}" _line)
  if(_line STREQUAL "")
    continue()
  endif()
  if(NOT _line MATCHES "^([a-z0-9_]+):(.*)$")
    message(FATAL_ERROR "cmake/layers.txt: cannot read \"${_line}\"")
  endif()
  set(_folder ${CMAKE_MATCH_1})
  separate_arguments(_below UNIX_COMMAND "${CMAKE_MATCH_2}")
  foreach(_dep IN LISTS _below)
    if(NOT _dep IN_LIST VELMORA_LAYERS)
      message(FATAL_ERROR "cmake/layers.txt: ${_folder} names ${_dep}, which is not listed before it")
    endif()
  endforeach()
  list(APPEND VELMORA_LAYERS ${_folder})
  set(VELMORA_LAYER_BELOW_${_folder} ${_below})
endforeach()

# A runtime folder without a line would silently drop out of the build.
file(GLOB _runtime_entries LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/*)
foreach(_entry IN LISTS _runtime_entries)
  get_filename_component(_name ${_entry} NAME)
  if(IS_DIRECTORY ${_entry} AND NOT _name IN_LIST VELMORA_LAYERS)
    message(FATAL_ERROR "runtime/${_name} has no line in cmake/layers.txt")
  endif()
endforeach()

# The faces (cmake/faces.txt): VELMORA_FACE_HEADERS_<folder>, the headers of a folder whose
# operations programs call, and VELMORA_FACE_HEADERS, all of them (full paths). vlmc's table of
# operations is generated from these; tools/runtime_headers.py reads the same table.
set(VELMORA_FACE_TABLE ${CMAKE_SOURCE_DIR}/cmake/faces.txt)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${VELMORA_FACE_TABLE})
set(VELMORA_FACE_HEADERS "")
file(STRINGS ${VELMORA_FACE_TABLE} _table_lines)
foreach(_line IN LISTS _table_lines)
  string(REGEX REPLACE "#.*" "" _line "${_line}")
  string(STRIP "${_line}" _line)
  if(_line STREQUAL "")
    continue()
  endif()
  if(NOT _line MATCHES "^([a-z0-9_]+):(.*)$" OR NOT CMAKE_MATCH_1 IN_LIST VELMORA_LAYERS)
    message(FATAL_ERROR "cmake/faces.txt: \"${_line}\" names no folder of cmake/layers.txt")
  endif()
  set(_folder ${CMAKE_MATCH_1})
  separate_arguments(_names UNIX_COMMAND "${CMAKE_MATCH_2}")
  set(VELMORA_FACE_HEADERS_${_folder} "")
  foreach(_name IN LISTS _names)
    if(NOT EXISTS ${CMAKE_SOURCE_DIR}/runtime/${_folder}/${_name})
      message(FATAL_ERROR "cmake/faces.txt: runtime/${_folder}/${_name} does not exist")
    endif()
    list(APPEND VELMORA_FACE_HEADERS_${_folder} ${CMAKE_SOURCE_DIR}/runtime/${_folder}/${_name})
  endforeach()
  list(APPEND VELMORA_FACE_HEADERS ${VELMORA_FACE_HEADERS_${_folder}})
endforeach()

# velmora_layer_externals(folder scope): libraries outside the project that a folder uses.
function(velmora_layer_externals folder scope)
  set(lib velmora_${folder})
  if(folder STREQUAL "platform")
    # Only the platform layer sees SDL; its public header does not include it.
    if(scope STREQUAL "PUBLIC")
      target_link_libraries(${lib} PRIVATE PkgConfig::SDL2 PkgConfig::SDL2_MIXER)
    else()
      target_link_libraries(${lib} INTERFACE PkgConfig::SDL2 PkgConfig::SDL2_MIXER)
    endif()
    # The platform layer makes the GL context and asks the driver for its name.
    target_link_libraries(${lib} ${scope} Threads::Threads ${CMAKE_DL_LIBS} OpenGL::OpenGL)
    # Movies are decoded with FFmpeg's libraries, also seen by the platform layer only.
    pkg_check_modules(VELMORA_FFMPEG REQUIRED IMPORTED_TARGET GLOBAL
                      libavformat libavcodec libswscale libswresample libavutil)
    if(scope STREQUAL "PUBLIC")
      target_link_libraries(${lib} PRIVATE PkgConfig::VELMORA_FFMPEG)
    else()
      target_link_libraries(${lib} INTERFACE PkgConfig::VELMORA_FFMPEG)
    endif()
    # Sockets speak TLS through OpenSSL for HTTPS downloads.
    find_package(OpenSSL REQUIRED)
    target_link_libraries(${lib} ${scope} OpenSSL::SSL OpenSSL::Crypto)
  elseif(folder STREQUAL "files")
    if(scope STREQUAL "PUBLIC")
      target_include_directories(${lib} PRIVATE ${LZO2_INCLUDE_DIR})
    endif()
    target_link_libraries(${lib} ${scope} ${LZO2_LIBRARY} ZLIB::ZLIB)
  elseif(folder STREQUAL "gl")
    # GL headers are part of the gl layer's public headers, so everything above it gets them.
    target_link_libraries(velmora_gl_headers INTERFACE OpenGL::OpenGL)
  elseif(folder STREQUAL "gfx2d")
    target_link_libraries(${lib} ${scope} PNG::PNG JPEG::JPEG)
  endif()
endfunction()

set(_layer_roots ${CMAKE_BINARY_DIR}/layers)
file(REMOVE_RECURSE ${_layer_roots})
set(VELMORA_LAYER_LIBRARIES "")
set(_interface_layers "")
foreach(_folder IN LISTS VELMORA_LAYERS)
  set(_dir ${CMAKE_SOURCE_DIR}/runtime/${_folder})
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS ${_dir}/*.cpp)
  file(GLOB _headers CONFIGURE_DEPENDS ${_dir}/*.h ${_dir}/*.hpp)
  list(FILTER _headers EXCLUDE REGEX "_internal\\.hp?p?$")

  add_library(velmora_${_folder}_headers INTERFACE)
  if(VELMORA_STRICT_LAYERS)
    set(_public ${_layer_roots}/public/${_folder})
    file(MAKE_DIRECTORY ${_public}/${_folder})
    foreach(_header IN LISTS _headers)
      get_filename_component(_name ${_header} NAME)
      file(CREATE_LINK ${_header} ${_public}/${_folder}/${_name} SYMBOLIC)
    endforeach()
    set(_private ${_layer_roots}/private/${_folder})
    file(MAKE_DIRECTORY ${_private})
    if(IS_DIRECTORY ${_dir})
      file(CREATE_LINK ${_dir} ${_private}/${_folder} SYMBOLIC)
    endif()
    target_include_directories(velmora_${_folder}_headers INTERFACE $<BUILD_INTERFACE:${_public}>)
  else()
    set(_private ${CMAKE_SOURCE_DIR}/runtime)
    target_include_directories(velmora_${_folder}_headers INTERFACE $<BUILD_INTERFACE:${CMAKE_SOURCE_DIR}/runtime>)
  endif()
  foreach(_dep IN LISTS VELMORA_LAYER_BELOW_${_folder})
    target_link_libraries(velmora_${_folder}_headers INTERFACE velmora_${_dep}_headers)
  endforeach()

  if(_sources)
    add_library(velmora_${_folder} STATIC ${_sources})
    set(_scope PUBLIC)
    target_include_directories(velmora_${_folder} BEFORE PRIVATE ${_private})
  else()
    add_library(velmora_${_folder} INTERFACE)
    set(_scope INTERFACE)
  endif()
  # The include root that white-box tests of this folder add.
  set_property(TARGET velmora_${_folder} PROPERTY VELMORA_PRIVATE_ROOT ${_private})
  target_link_libraries(velmora_${_folder} ${_scope} velmora_${_folder}_headers)
  # A folder without code needs only the headers below it (through its _headers target); its
  # users link the code of the folders below themselves.
  if(_sources)
    foreach(_dep IN LISTS VELMORA_LAYER_BELOW_${_folder})
      target_link_libraries(velmora_${_folder} PUBLIC velmora_${_dep})
    endforeach()
  endif()
  velmora_layer_externals(${_folder} ${_scope})
  if(_sources)
    list(APPEND VELMORA_LAYER_LIBRARIES velmora_${_folder})
  else()
    list(APPEND _interface_layers velmora_${_folder})
  endif()
endforeach()

# What programs link: every layer (highest first, so the linker meets callers before callees).
add_library(velmora INTERFACE)
list(REVERSE VELMORA_LAYER_LIBRARIES)
if(VELMORA_STRICT_LAYERS)
  target_link_libraries(velmora INTERFACE ${VELMORA_LAYER_LIBRARIES})
else()
  string(REPLACE ";" "," _group "${VELMORA_LAYER_LIBRARIES}")
  target_link_libraries(velmora INTERFACE "$<LINK_GROUP:RESCAN,${_group}>")
endif()
# Folders without sources yet only carry headers and usage requirements.
target_link_libraries(velmora INTERFACE ${_interface_layers})
# The debugger finds its message function by name.
target_link_options(velmora INTERFACE -rdynamic)

# velmora_white_box(target folder): the target also sees the folder's internal headers, as the
# folder's own tests do. For harnesses outside tests/<folder>/ that reach into one folder.
function(velmora_white_box target folder)
  get_target_property(_root velmora_${folder} VELMORA_PRIVATE_ROOT)
  target_include_directories(${target} BEFORE PRIVATE ${_root})
endfunction()

# velmora_white_box_by_name(target): white-box of the folder its name starts with
# ("gfx3d_mesh" -> gfx3d), when there is such a folder: the benchmarks and test programs.
function(velmora_white_box_by_name target)
  string(REGEX MATCH "^[a-z0-9]+" _prefix ${target})
  if(_prefix IN_LIST VELMORA_LAYERS)
    velmora_white_box(${target} ${_prefix})
  endif()
endfunction()
