# Checks the release zip: it holds exactly one folder TOP with exactly the listed files,
# each byte-identical to the file it was made from (the executables the other tests ran,
# the README and the licence), and both text files have Windows (CRLF) line endings.
#   cmake -DZIP=<zip> -DTOP=<folder> -DCONTENTS=<list> -DWORK=<scratch> -P check_package.cmake
# CONTENTS holds one "name-in-zip=source-path" line per expected file.
foreach(var ZIP TOP CONTENTS WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_package.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT EXISTS "${ZIP}")
  message(FATAL_ERROR "no release zip at ${ZIP}")
endif()

file(STRINGS "${CONTENTS}" rows)
set(expected)
foreach(row IN LISTS rows)
  string(REGEX MATCH "^([^=]+)=(.+)$" _ "${row}")
  list(APPEND expected "${TOP}/${CMAKE_MATCH_1}")
  set(source_of_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()
list(SORT expected)

file(REMOVE_RECURSE "${WORK}")
file(ARCHIVE_EXTRACT INPUT "${ZIP}" DESTINATION "${WORK}")
file(GLOB_RECURSE actual LIST_DIRECTORIES false RELATIVE "${WORK}" "${WORK}/*")
list(SORT actual)

set(failures "")
if(NOT actual STREQUAL expected)
  string(REPLACE ";" "\n  " e "${expected}")
  string(REPLACE ";" "\n  " a "${actual}")
  string(APPEND failures "zip contents differ\n expected:\n  ${e}\n actual:\n  ${a}\n")
endif()

foreach(row IN LISTS rows)
  string(REGEX MATCH "^([^=]+)=" _ "${row}")
  set(name "${CMAKE_MATCH_1}")
  set(packed "${WORK}/${TOP}/${name}")
  set(source "${source_of_${name}}")
  if(NOT EXISTS "${packed}")
    continue()  # already reported with the contents
  endif()
  if(NOT EXISTS "${source}")
    string(APPEND failures "${name}: its source ${source} does not exist\n")
    continue()
  endif()
  file(SHA256 "${packed}" packed_hash)
  file(SHA256 "${source}" source_hash)
  if(NOT packed_hash STREQUAL source_hash)
    file(SIZE "${packed}" packed_size)
    file(SIZE "${source}" source_size)
    string(APPEND failures "${name} is not a copy of ${source}\n"
      " expected sha256 ${source_hash} (${source_size} bytes)\n"
      " actual   sha256 ${packed_hash} (${packed_size} bytes)\n")
  endif()
endforeach()

# Notepad on older Windows shows a file with bare LF line ends as one long line.
foreach(text README.txt LICENSE.txt)
  set(packed "${WORK}/${TOP}/${text}")
  if(NOT EXISTS "${packed}")
    continue()
  endif()
  # As hex bytes, one per space-separated pair: file(READ) as text drops carriage returns.
  file(READ "${packed}" hex HEX)
  string(REGEX REPLACE "(..)" " \\1" bytes "${hex}")
  string(REGEX MATCHALL " 0a" lf "${bytes}")
  string(REGEX MATCHALL " 0d 0a" crlf "${bytes}")
  list(LENGTH lf lf_count)
  list(LENGTH crlf crlf_count)
  if(lf_count EQUAL 0 OR NOT lf_count EQUAL crlf_count)
    string(APPEND failures "${text} line endings: expected every one of its ${lf_count} "
      "line feeds after a carriage return, actual ${crlf_count}\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
list(LENGTH expected count)
message(STATUS "${ZIP}: ${count} files, all as expected")
