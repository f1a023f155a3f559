# Installing the runtime for programs built outside this tree, and the Debian package made of it.
#
# `cmake --install` puts into the prefix:
#   lib/libvelmora_<folder>.a                  the runtime libraries, one per runtime folder;
#   include/velmora/<folder>/<name>.h          the public headers, faces and floor-facing (included as
#                                              "<folder>/<name>.h"); never internal/ ones;
#   bin/vlmpack                                the media archive packer;
#   bin/vlmc                                   the BASIC translator;
#   bin/velmora                                the project command (new, run, check, build, bundle),
#                                              with share/velmora/toolchain.txt, where it finds the
#                                              installed runtime;
#   bin/vlmdap                                 the debug adapter of programs built in debug mode;
#   bin/vlmls                                  the language server of the BASIC programs;
#   share/velmora/editors/velmora-basic-<version>.vsix   the VS Code extension (when the build
#                                              packaged it);
#   share/velmora/                             the data tables;
#   lib/cmake/Velmora/                         the CMake package: find_package(Velmora) gives
#                                              Velmora::velmora, Velmora::vlmpack,
#                                              Velmora::vlmc and velmora_add_program (C++
#                                              and BASIC sources);
#   lib/pkgconfig/velmora.pc                   the same for pkg-config.
# `cpack -G DEB` in the build folder makes velmora_<version>_<arch>.deb of the same files.
#
# The installed package is made of the strict layers' libraries, whose link interfaces name each
# other; the single-group link of a non-strict build does not export, so that build installs
# nothing.
if(NOT VELMORA_STRICT_LAYERS)
  message(STATUS "VELMORA_STRICT_LAYERS is off: no install rules, no package")
  return()
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(VELMORA_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/velmora)
set(VELMORA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Velmora)
set(VELMORA_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/velmora)

# Public headers only, by the rule of cmake/VelmoraLayers.cmake: directly in runtime/<folder>/ and
# not named *_internal.h, so the faces and the floor-facing headers a program's C++ may use, never
# runtime/<folder>/internal/. The installed include root holds every folder, as the build's public
# roots together do.
set(_installed_targets velmora)
foreach(_folder IN LISTS VELMORA_LAYERS)
  file(GLOB _headers CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/runtime/${_folder}/*.h
       ${CMAKE_SOURCE_DIR}/runtime/${_folder}/*.hpp)
  list(FILTER _headers EXCLUDE REGEX "_internal\\.hp?p?$")
  install(FILES ${_headers} DESTINATION ${VELMORA_INSTALL_INCLUDEDIR}/${_folder})
  target_include_directories(velmora_${_folder}_headers INTERFACE
    $<INSTALL_INTERFACE:${VELMORA_INSTALL_INCLUDEDIR}>)
  list(APPEND _installed_targets velmora_${_folder} velmora_${_folder}_headers)
endforeach()

# Programs need C++20 for the headers, whatever their own default.
target_compile_features(velmora INTERFACE cxx_std_20)

# vlmc, the BASIC translator, as Velmora::vlmc for velmora_add_program's BASIC sources.
if(TARGET vlmc)
  list(APPEND _installed_targets vlmc)
endif()
# velmora, the command that builds, runs and bundles BASIC projects, and the description of the
# installed runtime it builds on.
if(TARGET velmora_command)
  list(APPEND _installed_targets velmora_command)
endif()
# vlmdap, the debug adapter an editor starts to debug a program (Velmora::vlmdap).
if(TARGET vlmdap)
  list(APPEND _installed_targets vlmdap)
endif()
# vlmls, the language server an editor starts for .bas files (Velmora::vlmls), and the VS Code
# extension that starts it and vlmdap.
if(TARGET vlmls)
  list(APPEND _installed_targets vlmls)
endif()
if(TARGET vscode_extension)
  get_target_property(_vsix vscode_extension VELMORA_VSIX)
  install(FILES ${_vsix} DESTINATION ${VELMORA_INSTALL_DATADIR}/editors)
endif()
install(TARGETS ${_installed_targets} vlmpack EXPORT VelmoraTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(EXPORT VelmoraTargets NAMESPACE Velmora:: DESTINATION ${VELMORA_INSTALL_CMAKEDIR})

install(FILES ${CMAKE_SOURCE_DIR}/data/normals-162.txt ${CMAKE_SOURCE_DIR}/data/normals-162.README
  DESTINATION ${VELMORA_INSTALL_DATADIR})

# The velmora command's description of the installed runtime, its paths relative to the file.
file(RELATIVE_PATH _toolchain_to_prefix /prefix/${VELMORA_INSTALL_DATADIR} /prefix)
set(_toolchain "# The installed runtime, for the velmora command.\ncxx ${CMAKE_CXX_COMPILER}\nversion ${PROJECT_VERSION}\n")
string(APPEND _toolchain "include ${_toolchain_to_prefix}/${VELMORA_INSTALL_INCLUDEDIR}\n")
foreach(_lib IN LISTS VELMORA_LAYER_LIBRARIES)
  string(REGEX REPLACE "^velmora_" "" _name ${_lib})
  string(APPEND _toolchain "library ${_toolchain_to_prefix}/${CMAKE_INSTALL_LIBDIR}/libvelmora_${_name}.a\n")
endforeach()
string(APPEND _toolchain "${VELMORA_TOOLCHAIN_LINK}")
file(WRITE ${CMAKE_BINARY_DIR}/install/toolchain.txt "${_toolchain}")
install(FILES ${CMAKE_BINARY_DIR}/install/toolchain.txt DESTINATION ${VELMORA_INSTALL_DATADIR})

# The CMake package.
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/VelmoraConfig.cmake.in
  ${CMAKE_BINARY_DIR}/install/VelmoraConfig.cmake
  INSTALL_DESTINATION ${VELMORA_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/VelmoraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/VelmoraConfig.cmake
  ${CMAKE_BINARY_DIR}/install/VelmoraConfigVersion.cmake
  ${CMAKE_SOURCE_DIR}/cmake/VelmoraProgram.cmake
  DESTINATION ${VELMORA_INSTALL_CMAKEDIR})
install(FILES ${CMAKE_SOURCE_DIR}/cmake/VelmoraBasic.cmake
  DESTINATION ${VELMORA_INSTALL_CMAKEDIR} OPTIONAL)

# The pkg-config file. Static libraries carry no record of what they need, so the libraries are
# listed callers first and the external packages go in Requires (not Requires.private): a plain
# `pkg-config --libs velmora` then gives a complete link line. The prefix is found from the
# file's own place, so the installed tree can be moved.
set(VELMORA_PC_LIBS "")
foreach(_lib IN LISTS VELMORA_LAYER_LIBRARIES)
  string(REGEX REPLACE "^velmora_" "" _name ${_lib})
  string(APPEND VELMORA_PC_LIBS " -lvelmora_${_name}")
endforeach()
file(RELATIVE_PATH VELMORA_PC_PREFIX_FROM_PCFILEDIR
  /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/velmora.pc.in ${CMAKE_BINARY_DIR}/install/velmora.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/velmora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Debian package: a development package, so it depends on the -dev packages whose headers and
# libraries a program's static link needs (they bring the runtime libraries with them).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Velmora game runtime: libraries, headers and tools for programs")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Velmora developers <velmora@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libsdl2-dev, libsdl2-mixer-dev, libavformat-dev, libavcodec-dev, libswscale-dev, \
libswresample-dev, libavutil-dev, libssl-dev, libpng-dev, libjpeg62-turbo-dev | libjpeg-dev, \
zlib1g-dev, liblzo2-dev, libgl-dev, libopengl-dev")
# Programs run on a Mesa (or vendor) GL driver; offscreen runs need its EGL side.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "g++ (>= 4:12), cmake (>= 3.25), pkg-config, libgl1-mesa-dri, libegl-mesa0")
include(CPack)
