# `cmake --install` into a scratch prefix puts exactly the program, the man
# page and the README in place, and the installed program runs.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" emulator "${EMULATOR}")
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${SCRATCH}"
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed (${status}):\n${output}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false RELATIVE "${SCRATCH}" "${SCRATCH}/*")
list(SORT installed)
set(expected bin/catpack share/doc/catpack/README.md share/man/man1/catpack.1)
if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed files: ${installed}\nexpected: ${expected}")
endif()

foreach(pair "share/man/man1/catpack.1=${PAGE}" "share/doc/catpack/README.md=${README}")
  string(REGEX MATCH "^([^=]*)=(.*)$" _ "${pair}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${SCRATCH}/${CMAKE_MATCH_1}"
    "${CMAKE_MATCH_2}" RESULT_VARIABLE differs)
  if(NOT differs EQUAL 0)
    message(FATAL_ERROR "${CMAKE_MATCH_1} differs from ${CMAKE_MATCH_2}")
  endif()
endforeach()

execute_process(COMMAND ${emulator} "${CATPACK}" -? OUTPUT_VARIABLE builtUsage)
execute_process(COMMAND ${emulator} "${SCRATCH}/bin/catpack" -? OUTPUT_VARIABLE usage RESULT_VARIABLE status)
if(NOT status EQUAL 1 OR NOT usage STREQUAL builtUsage OR NOT usage MATCHES "\nUsage: catpack -in ")
  message(FATAL_ERROR "installed catpack -? ended with ${status} and printed:\n${usage}")
endif()
