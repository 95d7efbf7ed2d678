# File offsets and times are 64 bits on every platform, whatever flags a
# build is given. On a 32-bit target of the GNU C library they are 32 bits
# unless asked for: the program, its tests and its benchmarks all ask. A
# target that cannot give 64-bit offsets and times is refused here rather
# than built to give wrong results. Windows builds use the 64-bit calls
# explicitly and need nothing.
if(WIN32)
  return()
endif()

include(CheckCXXSourceCompiles)

check_cxx_source_compiles([[
#include <features.h>
#ifndef __GLIBC__
#error not the GNU C library
#endif
int main() { return 0; }
]] CATPACK_GLIBC)
if(CATPACK_GLIBC)
  add_compile_definitions(_FILE_OFFSET_BITS=64 _TIME_BITS=64)
  set(CMAKE_REQUIRED_DEFINITIONS -D_FILE_OFFSET_BITS=64 -D_TIME_BITS=64)
endif()

check_cxx_source_compiles([[
#include <sys/types.h>
#include <ctime>
static_assert(sizeof(off_t) == 8, "off_t");
static_assert(sizeof(time_t) == 8, "time_t");
int main() { return 0; }
]] CATPACK_WIDE_OFFSETS_AND_TIMES)
unset(CMAKE_REQUIRED_DEFINITIONS)
if(NOT CATPACK_WIDE_OFFSETS_AND_TIMES)
  message(FATAL_ERROR "This target offers no 64-bit off_t and time_t; catpack needs both "
                      "(with the GNU C library, version 2.34 or later)")
endif()
