# The program unpacked from the Debian package runs, prints the same usage
# text as the program that was built, and every shared library it loads comes
# from a package that the Debian package depends on.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/deb_package.cmake)
find_program(DPKG_DEB dpkg-deb REQUIRED)
find_program(LDD ldd REQUIRED)

file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${DPKG_DEB}" -x "${DEB}" "${SCRATCH}" COMMAND_ERROR_IS_FATAL ANY)
set(unpacked "${SCRATCH}/usr/bin/catpack")

execute_process(COMMAND "${CATPACK}" -? OUTPUT_VARIABLE builtUsage)
execute_process(COMMAND "${unpacked}" -? RESULT_VARIABLE status OUTPUT_VARIABLE usage)
if(NOT status EQUAL 1 OR NOT usage STREQUAL builtUsage OR NOT usage MATCHES "\nUsage: catpack -in ")
  message(FATAL_ERROR "the packaged catpack -? ended with ${status} and printed:\n${usage}")
endif()

execute_process(COMMAND "${DPKG_DEB}" -f "${DEB}" Depends
  OUTPUT_VARIABLE depends OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
# "a (>= 1), b | c" names the packages a, b and c.
string(REGEX REPLACE " *\\([^)]*\\)" "" dependencyNames "${depends}")
string(REGEX REPLACE " *[,|] *" ";" dependencyNames "${dependencyNames}")
execute_process(COMMAND "${LDD}" "${unpacked}" OUTPUT_VARIABLE libraries COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "=> /[^ ]+" paths "${libraries}")
if(paths STREQUAL "")
  message(FATAL_ERROR "ldd found no shared library:\n${libraries}")
endif()
foreach(path IN LISTS paths)
  string(SUBSTRING "${path}" 3 -1 path)
  execute_process(COMMAND "${DPKG}" -S "${path}" OUTPUT_VARIABLE owner RESULT_VARIABLE found
    ERROR_QUIET)
  if(NOT found EQUAL 0)
    file(REAL_PATH "${path}" path)
    execute_process(COMMAND "${DPKG}" -S "${path}" OUTPUT_VARIABLE owner COMMAND_ERROR_IS_FATAL ANY)
  endif()
  string(REGEX MATCH "^[^:,]+" package "${owner}")
  if(NOT package IN_LIST dependencyNames)
    message(FATAL_ERROR "${path} comes from ${package}, which Depends does not name: ${depends}")
  endif()
  message(STATUS "${path} comes from ${package}")
endforeach()
