# Installing the Linux fly program and packing it as a Debian package with CPack:
#
#   gnatter_<version>-<revision>_<arch>.deb
#     /usr/bin/gnatter                                the fly program, stripped
#     /usr/share/man/man6/gnatter.6.gz                its manual page
#     /usr/share/applications/gnatter.desktop         the menu entry and its actions
#     /usr/share/icons/hicolor/*/apps/gnatter.*       the icon, 16 to 256 px and scalable
#     /usr/share/doc/gnatter/copyright                machine-readable, made from LICENSE
#     /usr/share/doc/gnatter/changelog.Debian.gz      from packaging/linux/changelog
#     /usr/share/lintian/overrides/gnatter            the lintian tags that do not apply
#
# Build it after the program with `cpack -G DEB` in the build folder (scripts/run.sh
# --package does). The manual page goes to section 6, games and amusements, where
# man-pages(7) puts "funny little programs"; the package's Section is x11, since Debian
# keeps section games for programs in /usr/games. The Debian revision makes the version
# 1.0.0-1 rather than a native 1.0.0, so that a fixed package can follow without a new
# program version, and is why the changelog is changelog.Debian.gz.
#
# Nothing here applies on Windows or macOS, nor while the build has no target gnatter
# (fly/x11, built when the XCB development packages are installed).
if(WIN32 OR APPLE)
  return()
endif()
if(NOT TARGET gnatter)
  # A CPackConfig.cmake left from a configuration that had the program would let cpack
  # (and scripts/run.sh --package) pack a program that is no longer built.
  file(REMOVE "${CMAKE_BINARY_DIR}/CPackConfig.cmake" "${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake")
  return()
endif()

include(GNUInstallDirs)
# The address is a stand-in until the project has one that answers; a release build
# passes the real one (and packaging/linux/changelog's entries carry it too).
set(GNATTER_DEB_MAINTAINER "The Gnatter developers <gnatter@example.org>"
  CACHE STRING "Maintainer field of the Debian package: a name and an e-mail address")
set(GNATTER_DEB_REVISION 1 CACHE STRING "Debian revision of the package (the n in 1.0.0-n)")
set(_gnatter_linux "${PROJECT_SOURCE_DIR}/packaging/linux")
set(_gnatter_staged "${PROJECT_BINARY_DIR}/packaging/linux")
set(_gnatter_docdir "${CMAKE_INSTALL_DATAROOTDIR}/doc/gnatter")
file(MAKE_DIRECTORY "${_gnatter_staged}")

# The hardening flags dpkg-buildflags gives Debian's own packages, which lintian looks
# for in a packaged program (Debian's compilers already make position-independent
# executables).
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  target_compile_definitions(gnatter PRIVATE "$<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>")
  target_compile_options(gnatter PRIVATE -fstack-protector-strong)
  target_link_options(gnatter PRIVATE "LINKER:-z,relro,-z,now")
endif()

# The manual page and the changelog, compressed as Debian wants them: gzip -9 without
# the name and time stamp, so that the same text always gives the same bytes.
find_program(GNATTER_GZIP gzip REQUIRED)
set(_gnatter_compressed)
foreach(_pair "gnatter.6=gnatter.6.gz" "changelog=changelog.Debian.gz")
  string(REPLACE "=" ";" _pair "${_pair}")
  list(GET _pair 0 _source)
  list(GET _pair 1 _target)
  string(REGEX REPLACE "\\.gz$" "" _copy "${_target}")
  add_custom_command(OUTPUT "${_gnatter_staged}/${_target}"
    COMMAND ${CMAKE_COMMAND} -E copy "${_gnatter_linux}/${_source}" "${_gnatter_staged}/${_copy}"
    COMMAND "${GNATTER_GZIP}" -9nf "${_gnatter_staged}/${_copy}"
    DEPENDS "${_gnatter_linux}/${_source}"
    COMMENT "Compressing packaging/linux/${_source}"
    VERBATIM)
  list(APPEND _gnatter_compressed "${_gnatter_staged}/${_target}")
endforeach()
add_custom_target(gnatter_package_docs ALL DEPENDS ${_gnatter_compressed})

# The Debian copyright file (copyright-format 1.0) from LICENSE, so that the two never
# disagree: the holder and years from its Copyright line, the licence text as the body.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/LICENSE")
file(READ "${PROJECT_SOURCE_DIR}/LICENSE" _gnatter_license)
if(NOT _gnatter_license MATCHES "^MIT License\n\nCopyright \\(c\\) ([^\n]+)\n\n(Permission is hereby granted.*)$")
  message(FATAL_ERROR "LICENSE no longer starts with \"MIT License\", a blank line and one "
    "\"Copyright (c) ...\" line followed by the licence text; cmake/LinuxPackaging.cmake "
    "makes the package's copyright file from that layout and needs updating.")
endif()
set(_gnatter_holder "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" _gnatter_text)
# Continuation lines start with a space; an empty line is written " .".
string(REPLACE "\n" "\n " _gnatter_text " ${_gnatter_text}")
string(REPLACE "\n \n" "\n .\n" _gnatter_text "${_gnatter_text}")
file(WRITE "${_gnatter_staged}/copyright"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: Gnatter\n"
  "\n"
  "Files: *\n"
  "Copyright: ${_gnatter_holder}\n"
  "License: Expat\n"
  "${_gnatter_text}\n")

install(TARGETS gnatter RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
# A stripping install (CPack's, or cmake --install --strip) also drops the compilers'
# version notes, as Debian's own packages do (dh_strip).
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/$<TARGET_FILE_NAME:gnatter>\"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endif()
install(FILES "${_gnatter_staged}/gnatter.6.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man6")
install(FILES "${_gnatter_linux}/gnatter.desktop" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/applications")
install(DIRECTORY "${_gnatter_linux}/icons/" DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons")
install(FILES "${_gnatter_staged}/copyright" "${_gnatter_staged}/changelog.Debian.gz"
  DESTINATION "${_gnatter_docdir}")
install(FILES "${_gnatter_linux}/lintian-overrides"
  DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides" RENAME gnatter)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME gnatter)
set(CPACK_PACKAGE_VENDOR "The Gnatter developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${GNATTER_DEB_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flies that crawl over the desktop")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"Gnatter lets a few flies out onto the X11 desktop. They walk in short runs,
groom, take off and fly, perch on the edges of windows and of the screen, flee
a pointer that comes at them fast and leave when their time is up. A left
click on a fly squashes it, unless swatting is turned off.

The number of flies, how long they stay, their size and how much it varies
are options of the command gnatter. A tray icon, where the desktop has an
XEmbed tray, and the actions of the menu entry make the flies leave and turn
swatting on and off. Wayland sessions run it through XWayland.")
set(CPACK_DEBIAN_PACKAGE_RELEASE ${GNATTER_DEB_REVISION})
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends comes from the libraries the program links, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Files are 0644 and the program 0755 by install()'s defaults; directories are made
# 0755 on the staged files, whatever the umask of whoever packs.
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/LinuxPackageDirectories.cmake")
# The architecture CPack would ask dpkg for anyway, asked here too so that the tests know
# the package's file name. Without dpkg there is no Debian package to make.
find_program(GNATTER_DPKG dpkg)
if(GNATTER_DPKG)
  execute_process(COMMAND "${GNATTER_DPKG}" --print-architecture
    OUTPUT_VARIABLE _gnatter_arch OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _gnatter_status)
  if(_gnatter_status EQUAL 0 AND _gnatter_arch)
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${_gnatter_arch})
    set(GNATTER_DEB_VERSION "${PROJECT_VERSION}-${GNATTER_DEB_REVISION}")
    set(GNATTER_DEB_FILE "${PROJECT_BINARY_DIR}/gnatter_${GNATTER_DEB_VERSION}_${_gnatter_arch}.deb")
  endif()
endif()
# No source package: the git repository is the source distribution.
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
