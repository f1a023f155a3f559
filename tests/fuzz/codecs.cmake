# libFuzzer targets for the image readers; included at the end of this
# folder's CMakeLists.txt in a fuzzing build (see CODECS.md).
set(CODEC_FUZZ_TARGETS codec_bmp codec_png codec_jpeg)
foreach(name ${CODEC_FUZZ_TARGETS})
  if(COMMAND velmora_fuzz_target)
    velmora_fuzz_target(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
  else()
    add_executable(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
    target_link_libraries(fuzz_${name} PRIVATE velmora)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer,address)
  endif()
endforeach()
