# velmora_compile_in_polyvane(target): Polyvane's modules as vlmc translates them for the program
# (the same modules and debug mode, less the process entry), for a target that compiles them in
# through tests/app/app_code.cpp: the application tests, the frame-loop benchmark, the scene fuzzer.
function(velmora_compile_in_polyvane target)
  velmora_translate_basic(polyvane translated ${CMAKE_SOURCE_DIR}/app/polyvane.bas ${CMAKE_SOURCE_DIR}/app/shapes.bas NO_MAIN)
  # Generated for the target, compiled only where app_code.cpp includes them.
  set_source_files_properties(${translated} PROPERTIES HEADER_FILE_ONLY ON)
  target_sources(${target} PRIVATE ${translated})
  target_include_directories(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/polyvane_basic)
endfunction()
