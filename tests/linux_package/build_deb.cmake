# Builds the Debian package with CPack for the package tests, under umask 077 so that a
# directory that takes its mode from the umask shows as 0700 in the check after it. Any
# package left from an earlier run is removed first, so that the check sees a fresh one.
#   cmake -DCPACK=<cpack> -DBUILD_DIR=<build> -DDEB=<.deb> -P build_deb.cmake
foreach(var CPACK BUILD_DIR DEB)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build_deb.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE "${DEB}")
execute_process(
  COMMAND sh -c "umask 077 && exec \"$0\" -G DEB --config \"$1\"" "${CPACK}" "${BUILD_DIR}/CPackConfig.cmake"
  WORKING_DIRECTORY "${BUILD_DIR}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack -G DEB failed (exit ${result}):\n${output}")
endif()
if(NOT EXISTS "${DEB}")
  message(FATAL_ERROR "cpack -G DEB succeeded but made no ${DEB}:\n${output}")
endif()
message(STATUS "built ${DEB}")
