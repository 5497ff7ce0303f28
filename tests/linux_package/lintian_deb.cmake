# Runs lintian on the Debian package; fails on any error or warning it reports (tags the
# package overrides, in packaging/linux/lintian-overrides, do not count).
#   cmake -DLINTIAN=<lintian> -DDEB=<.deb> -P lintian_deb.cmake
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is not installed; scripts/setup-deps.sh installs it.")
endif()
if(NOT EXISTS "${DEB}")
  message(FATAL_ERROR "No package ${DEB} to check; the test linux_deb_build makes it.")
endif()
execute_process(
  COMMAND "${LINTIAN}" --fail-on error,warning --display-info "${DEB}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "lintian found errors or warnings in ${DEB} (exit ${result}):\n${output}${errors}")
endif()
message(STATUS "lintian: no errors or warnings in ${DEB}\n${output}")
