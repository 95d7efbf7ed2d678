# The Debian package is named with the version and architecture, holds exactly
# the program, the man page and the README, compressed, the copyright file
# and the changelog, whose latest entry is of the package's version, and
# describes itself.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/deb_package.cmake)
find_program(DPKG_DEB dpkg-deb REQUIRED)
find_program(DPKG_PARSECHANGELOG dpkg-parsechangelog REQUIRED)
find_program(GZIP gzip REQUIRED)

execute_process(COMMAND "${DPKG_DEB}" -c "${DEB}" OUTPUT_VARIABLE listing COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "\n[^d][^\n]*" fileLines "\n${listing}")
set(files "")
foreach(line IN LISTS fileLines)
  string(REGEX MATCH "^\n([^ ]+) [^ ]+ +[0-9]+ [^ ]+ [^ ]+ (.*)$" _ "${line}")
  list(APPEND files "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}")
endforeach()
list(SORT files)
set(expected
  "-rw-r--r-- ./usr/share/doc/catpack/README.md.gz"
  "-rw-r--r-- ./usr/share/doc/catpack/changelog.gz"
  "-rw-r--r-- ./usr/share/doc/catpack/copyright"
  "-rw-r--r-- ./usr/share/man/man1/catpack.1.gz"
  "-rwxr-xr-x ./usr/bin/catpack")
list(SORT expected)
if(NOT files STREQUAL expected)
  message(FATAL_ERROR "files in the package:\n${listing}\nexpected: ${expected}")
endif()

foreach(field Package Version Architecture Description Depends)
  execute_process(COMMAND "${DPKG_DEB}" -f "${DEB}" ${field}
    OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  set(control_${field} "${value}")
endforeach()
if(NOT control_Package STREQUAL "catpack" OR NOT control_Version STREQUAL "${VERSION}"
   OR NOT DEB MATCHES "_${control_Architecture}\\.deb$")
  message(FATAL_ERROR "package ${control_Package}, version ${control_Version}, "
                      "architecture ${control_Architecture} do not match ${DEB}")
endif()
# A summary line, then a longer text of its own lines.
if(NOT control_Description MATCHES "^[a-z][^\n]+\n [^\n]+\n [^\n]+")
  message(FATAL_ERROR "the description has no summary and long text:\n${control_Description}")
endif()
if(control_Depends STREQUAL "")
  message(FATAL_ERROR "the package names no dependencies")
endif()

# The compressed files are the project's own, unchanged.
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${DPKG_DEB}" -x "${DEB}" "${SCRATCH}" COMMAND_ERROR_IS_FATAL ANY)
set(doc "${SCRATCH}/usr/share/doc/catpack")
foreach(pair "usr/share/man/man1/catpack.1=doc/catpack.1" "usr/share/doc/catpack/README.md=README.md"
             "usr/share/doc/catpack/changelog=packaging/changelog")
  string(REGEX MATCH "^([^=]*)=(.*)$" _ "${pair}")
  execute_process(COMMAND "${GZIP}" -dc "${SCRATCH}/${CMAKE_MATCH_1}.gz"
    OUTPUT_FILE "${SCRATCH}/${CMAKE_MATCH_1}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SCRATCH}/${CMAKE_MATCH_1}"
    "${SOURCE_DIR}/${CMAKE_MATCH_2}" RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${CMAKE_MATCH_1}.gz does not hold ${CMAKE_MATCH_2}")
  endif()
endforeach()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${doc}/copyright"
  "${SOURCE_DIR}/packaging/copyright" RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "the package's copyright file is not packaging/copyright")
endif()
execute_process(COMMAND "${DPKG_PARSECHANGELOG}" -l "${doc}/changelog" -S Version
  OUTPUT_VARIABLE changelogVersion OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
if(NOT changelogVersion STREQUAL VERSION)
  message(FATAL_ERROR "the latest changelog entry is for ${changelogVersion}, not ${VERSION}: "
                      "add an entry to packaging/changelog")
endif()
