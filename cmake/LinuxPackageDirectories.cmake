# Run by CPack (CPACK_PRE_BUILD_SCRIPTS, set in cmake/LinuxPackaging.cmake) on the staged
# files, before it packs them: every directory becomes 0755. install() creates the parent
# directories of what it installs (usr/, usr/bin/, usr/share/doc/gnatter/, ...) with the
# packer's umask, so under a umask such as 077 they would go into the package as 0700,
# and dpkg would make them unreadable to everyone but root.
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_DIRECTORY}")
  message(FATAL_ERROR "LinuxPackageDirectories.cmake: CPack's staging folder "
    "\"${CPACK_TEMPORARY_DIRECTORY}\" does not exist; run it through cpack only.")
endif()
file(GLOB_RECURSE _entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
set(_directories "${CPACK_TEMPORARY_DIRECTORY}")
foreach(_entry IN LISTS _entries)
  if(IS_DIRECTORY "${_entry}" AND NOT IS_SYMLINK "${_entry}")
    list(APPEND _directories "${_entry}")
  endif()
endforeach()
file(CHMOD ${_directories} DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
