# libFuzzer targets for the image readers; included at the end of this
# folder's CMakeLists.txt in a fuzzing build (see CODECS.md).
foreach(name codec_bmp codec_png codec_jpeg)
  velmora_fuzz_target(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/${name}.cpp)
endforeach()
