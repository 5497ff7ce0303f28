# The Windows release archive, made by CPack from the install rules below:
#
#   gnatter-<version>-win64.zip
#     gnatter-<version>-win64/gnatter_gui.exe   the launcher
#     gnatter-<version>-win64/gnatter.exe       the fly program (the launcher starts it
#                                                from its own folder)
#     gnatter-<version>-win64/README.txt        for Windows users (CRLF line endings)
#     gnatter-<version>-win64/LICENSE.txt       the MIT licence (CRLF line endings)
#
# Everything sits in one folder named like the zip, so that unpacking it anywhere keeps
# the two programs together and never scatters files into the folder the user unpacks in.
# Build it after the programs with `cpack -G ZIP` in the build folder (`-C Release` for
# multi-configuration generators such as Visual Studio).
if(NOT WIN32)
  return()
endif()

set(_gnatter_programs)
foreach(_program gnatter_gui gnatter)
  if(TARGET ${_program})
    list(APPEND _gnatter_programs ${_program})
  endif()
endforeach()
if(_gnatter_programs)
  install(TARGETS ${_gnatter_programs} RUNTIME DESTINATION .)
endif()
install(FILES "${PROJECT_SOURCE_DIR}/packaging/README.txt" DESTINATION .)
# The repository's LICENSE has Unix line endings; the zip's copy gets Windows ones, like
# README.txt, so that every text editor on Windows shows its lines.
configure_file("${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_BINARY_DIR}/packaging/LICENSE.txt"
  @ONLY NEWLINE_STYLE CRLF)
set(GNATTER_PACKAGED_LICENSE "${PROJECT_BINARY_DIR}/packaging/LICENSE.txt")
install(FILES "${GNATTER_PACKAGED_LICENSE}" DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME gnatter)
set(CPACK_PACKAGE_VENDOR "The Gnatter developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Flies for the Windows desktop")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Kept in a variable of our own too: including CPack overwrites CPACK_PACKAGE_FILE_NAME
# with the (unused) source package's name.
set(GNATTER_PACKAGE_FILE_NAME gnatter-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_FILE_NAME ${GNATTER_PACKAGE_FILE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/packaging/README.txt")
# No source package: the git repository is the source distribution.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
