# GoogleTest for both kinds of build. Native builds use the installed package; Windows
# builds compile it from source (Debian ships it in /usr/src/googletest) so that it is
# linked with the same compiler and runtime as the tests.
include(GoogleTest)

set(GNATTER_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree for Windows builds")

function(gnatter_find_gtest)
  if(TARGET GTest::gtest_main)
    return()
  endif()
  if(WIN32 AND EXISTS "${GNATTER_GTEST_SOURCE}/CMakeLists.txt")
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # The executables use the static runtime (/MT with MSVC); GoogleTest must match.
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory("${GNATTER_GTEST_SOURCE}" "${CMAKE_BINARY_DIR}/_googletest" EXCLUDE_FROM_ALL)
    if(NOT TARGET GTest::gtest_main)
      add_library(GTest::gtest ALIAS gtest)
      add_library(GTest::gtest_main ALIAS gtest_main)
    endif()
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

# Adds a GoogleTest executable and registers each of its cases with ctest. Windows tests
# run under the cross-compiling emulator (Wine), one at a time, since they share a desktop.
# EMULATOR_ARGS go to the emulator before the program (scripts/wine-run.sh's options,
# such as --two-monitors); a build that runs its tests natively ignores them.
# RESOURCE_LOCK serializes the cases with every other test that names the same lock.
function(gnatter_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT;RESOURCE_LOCK" "SOURCES;LIBS;EMULATOR_ARGS" ${ARGN})
  gnatter_find_gtest()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest_main ${ARG_LIBS})
  if(ARG_EMULATOR_ARGS AND CMAKE_CROSSCOMPILING_EMULATOR)
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR} ${ARG_EMULATOR_ARGS})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${ARG_TIMEOUT})
  if(WIN32)
    list(APPEND props RESOURCE_LOCK desktop)
  elseif(ARG_RESOURCE_LOCK)
    list(APPEND props RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
