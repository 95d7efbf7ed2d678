# The README for Windows has every line ended by CR LF and otherwise the
# README's bytes unchanged.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${SCRATCH}")
file(MAKE_DIRECTORY "${SCRATCH}")
set(converted "${SCRATCH}/README.txt")
execute_process(COMMAND "${CMAKE_COMMAND}" -DINPUT=${README} -DOUTPUT=${converted} -P "${CONVERTER}"
  COMMAND_ERROR_IS_FATAL ANY)

# The bytes of a file as ";xx;xx..." in hexadecimal, so that byte sequences
# can be replaced without straddling a byte boundary.
function(read_bytes path result)
  file(READ "${path}" hex HEX)
  string(REGEX REPLACE "(..)" ";\\1" hex "${hex}")
  set(${result} "${hex}" PARENT_SCOPE)
endfunction()

read_bytes("${README}" original)
read_bytes("${converted}" text)
if(original MATCHES ";0d" OR NOT original MATCHES ";0a")
  message(FATAL_ERROR "the README should have line feeds and no carriage return")
endif()

string(REPLACE ";0d;0a" "" withoutLineEnds "${text}")
if(withoutLineEnds MATCHES ";0[ad]")
  message(FATAL_ERROR "README.txt holds a line end other than CR LF")
endif()

string(REPLACE ";0d;0a" ";0a" restored "${text}")
if(NOT restored STREQUAL original)
  message(FATAL_ERROR "README.txt differs from the README in more than its line ends")
endif()
