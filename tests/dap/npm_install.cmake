# Installs the protocol tests' npm packages into TARGET with `npm ci` from SOURCE's package.json
# and package-lock.json; skipped when TARGET already holds that lock file's installation.
file(MAKE_DIRECTORY ${TARGET})
file(SHA256 ${SOURCE}/package-lock.json lock_hash)
set(stamp ${TARGET}/node_modules/.vlmdap-lock-${lock_hash})
if(EXISTS ${stamp})
  message(STATUS "npm packages already installed from this package-lock.json")
  return()
endif()
configure_file(${SOURCE}/package.json ${TARGET}/package.json COPYONLY)
configure_file(${SOURCE}/package-lock.json ${TARGET}/package-lock.json COPYONLY)
execute_process(COMMAND ${NPM} ci --no-audit --no-fund --loglevel=error
  WORKING_DIRECTORY ${TARGET} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "npm ci failed (${result})")
endif()
file(TOUCH ${stamp})
