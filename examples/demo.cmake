# catpack reads a leading "/" as a switch, so the demo runs in a work folder
# and names the example tree by a relative path.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(RELATIVE_PATH tree "${WORK_DIR}" "${SOURCE_TREE}")

foreach(arguments IN ITEMS "-in;${tree};-out;example.cat" "-in;example.cat;-dump")
  string(REPLACE ";" " " shown "${arguments}")
  message("$ catpack ${shown}")
  string(REPLACE "|" ";" emulator "${EMULATOR}")
  execute_process(COMMAND ${emulator} "${CATPACK}" ${arguments}
    WORKING_DIRECTORY "${WORK_DIR}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "catpack ${shown} ended with exit code ${status}")
  endif()
endforeach()
