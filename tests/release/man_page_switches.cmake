# Every switch that the program's usage text and its error hint name has an
# entry of its own in the man page's lists, and the page carries the
# program's version.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" emulator "${EMULATOR}")
execute_process(COMMAND ${emulator} "${CATPACK}" -? OUTPUT_VARIABLE usage)
execute_process(COMMAND ${emulator} "${CATPACK}" ERROR_VARIABLE hint OUTPUT_QUIET)

# A switch is a "-" and a name at the start of a line, after a blank or after "[".
string(REGEX REPLACE "[\n[]" " " words " ${usage} ${hint}")
string(REGEX MATCHALL " -[a-z0-9?]+" switches "${words}")
list(TRANSFORM switches STRIP)
list(REMOVE_DUPLICATES switches)
foreach(needed -in -out -?)
  if(NOT needed IN_LIST switches)
    message(FATAL_ERROR "${needed} not found in the usage text and hint:\n${usage}${hint}")
  endif()
endforeach()

# Entries are the lines after .TP; roff spells "-" as "\-".
file(READ "${PAGE}" page)
string(REGEX MATCHALL "\n\\.TP\n[^\n]*" entries "${page}")
if(NOT page MATCHES "\n\\.TH CATPACK 1 [^ ]+ \"catpack ${VERSION}\"")
  message(FATAL_ERROR "the page's .TH line does not name catpack ${VERSION}")
endif()
foreach(switch IN LISTS switches)
  string(SUBSTRING "${switch}" 1 -1 name)
  string(REPLACE "?" "[?]" name "${name}")
  if(NOT entries MATCHES "\\\\-${name}([ \";]|$)")
    message(FATAL_ERROR "the man page has no entry for the switch ${switch}")
  endif()
endforeach()
list(LENGTH switches count)
message(STATUS "${count} switches, each with an entry: ${switches}")
