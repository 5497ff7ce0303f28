# Builds the release zip with CPack for the release tests, first removing any zip left
# from an earlier run so that the check after it always sees a fresh one.
#   cmake -DCPACK=<cpack> -DCONFIG=<config> -DBUILD_DIR=<build> -DZIP=<zip> -P build_package.cmake
foreach(var CPACK CONFIG BUILD_DIR ZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "build_package.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE "${ZIP}")
execute_process(
  COMMAND "${CPACK}" -G ZIP -C "${CONFIG}" --config "${BUILD_DIR}/CPackConfig.cmake"
  WORKING_DIRECTORY "${BUILD_DIR}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cpack failed (exit ${result}):\n${output}")
endif()
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "cpack succeeded but made no ${ZIP}:\n${output}")
endif()
message(STATUS "built ${ZIP}")
