# A new project's bundle runs on a clean Debian 12 root that holds only the packages its README
# names (bundle_clean_root_test.sh, clean_root.sh). Needs root, debootstrap and Debian's mirror;
# skipped without them. The roots are cached under /var/cache/velmora-test/, so only the first
# run makes them (minutes). VELMORA_COMMAND is the velmora program to test.
if(NOT DEFINED VELMORA_COMMAND)
  set(VELMORA_COMMAND $<TARGET_FILE:velmora>)
endif()
add_test(NAME velmora_bundle_clean_root
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/bundle_clean_root_test.sh ${VELMORA_COMMAND} ${CMAKE_CURRENT_BINARY_DIR})
set_tests_properties(velmora_bundle_clean_root PROPERTIES
  SKIP_RETURN_CODE 77
  TIMEOUT 1500
  RESOURCE_LOCK velmora_clean_root
  ENVIRONMENT "VELMORA_BUILD_DIR=${CMAKE_BINARY_DIR}")
