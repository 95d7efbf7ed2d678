# man formats the page without a single warning, and the page has the
# sections a user looks for.
cmake_minimum_required(VERSION 3.25)
find_program(MAN man REQUIRED)
set(ENV{LC_ALL} C.UTF-8)
set(ENV{MANWIDTH} 80)
execute_process(COMMAND "${MAN}" --warnings -l "${PAGE}"
  RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "man --warnings ended with ${status}:\n${warnings}")
endif()

foreach(section NAME SYNOPSIS DESCRIPTION OPTIONS ARGUMENTS "CATALOG FORMATS" DIFF FILTERS
                "EXIT STATUS" EXAMPLES SAFETY "LIMITS ON LINUX" FILES)
  if(NOT text MATCHES "\n${section}\n")
    message(FATAL_ERROR "the formatted page has no section ${section}:\n${text}")
  endif()
endforeach()
