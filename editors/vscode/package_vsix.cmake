# Packages the VS Code extension: copies SOURCE (editors/vscode) to STAGE, installs its pinned npm
# packages there with `npm ci` (skipped when STAGE holds that package-lock.json's installation),
# and runs @vscode/vsce to write VSIX.
#   cmake -DSOURCE=... -DSTAGE=... -DNPM=... -DNODE=... -DVSIX=... -P package_vsix.cmake
file(MAKE_DIRECTORY ${STAGE})
file(GLOB _entries LIST_DIRECTORIES true RELATIVE ${SOURCE} ${SOURCE}/* ${SOURCE}/.vscodeignore)
foreach(_entry IN LISTS _entries)
  if(_entry STREQUAL "node_modules" OR _entry STREQUAL "CMakeLists.txt" OR _entry STREQUAL "package_vsix.cmake")
    continue()
  endif()
  if(IS_DIRECTORY ${SOURCE}/${_entry})
    file(REMOVE_RECURSE ${STAGE}/${_entry})
    file(COPY ${SOURCE}/${_entry} DESTINATION ${STAGE})
  else()
    configure_file(${SOURCE}/${_entry} ${STAGE}/${_entry} COPYONLY)
  endif()
endforeach()
file(SHA256 ${SOURCE}/package-lock.json _lock_hash)
set(_stamp ${STAGE}/node_modules/.velmora-lock-${_lock_hash})
if(NOT EXISTS ${_stamp})
  execute_process(COMMAND ${NPM} ci --no-audit --no-fund --loglevel=error
    WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "npm ci failed (${_result}) in ${STAGE}")
  endif()
  file(TOUCH ${_stamp})
endif()
file(REMOVE ${VSIX})
execute_process(COMMAND ${NODE} ${STAGE}/node_modules/@vscode/vsce/vsce package --skip-license
                        --allow-missing-repository --out ${VSIX}
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE _result OUTPUT_VARIABLE _output ERROR_VARIABLE _output)
if(NOT _result EQUAL 0 OR NOT EXISTS ${VSIX})
  message(FATAL_ERROR "vsce package failed (${_result}):\n${_output}")
endif()
