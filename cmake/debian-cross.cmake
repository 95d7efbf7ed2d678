# A cross build for another Debian architecture, with that architecture's
# cross compiler and the flags dpkg-buildflags gives for it, as a package
# build for it would be made. CATPACK_CROSS_ARCH names the architecture in
# Debian's terms (i386, armhf, s390x, ...). The programs it builds run here
# under qemu-user, which the tests use as their emulator.
if(NOT CATPACK_CROSS_ARCH)
  message(FATAL_ERROR "Set CATPACK_CROSS_ARCH to a Debian architecture (i386, armhf, s390x)")
endif()
# The compiler checks' own projects need it too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES CATPACK_CROSS_ARCH)

execute_process(COMMAND dpkg-architecture -a ${CATPACK_CROSS_ARCH} -q DEB_HOST_GNU_TYPE
  OUTPUT_VARIABLE cross_triplet OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND dpkg-architecture -a ${CATPACK_CROSS_ARCH} -q DEB_HOST_GNU_CPU
  OUTPUT_VARIABLE cross_cpu OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${cross_cpu})
set(CMAKE_C_COMPILER ${cross_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${cross_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${cross_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The architecture's own packaging flags; CMake reads no CPPFLAGS, so they
# go in front of the CFLAGS and CXXFLAGS.
foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND env DEB_HOST_ARCH=${CATPACK_CROSS_ARCH} dpkg-buildflags --get ${kind}
    WORKING_DIRECTORY "${CMAKE_CURRENT_LIST_DIR}/.."
    OUTPUT_VARIABLE cross_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(CMAKE_C_FLAGS_INIT "${cross_CPPFLAGS} ${cross_CFLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${cross_CPPFLAGS} ${cross_CXXFLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${cross_LDFLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${cross_LDFLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${cross_LDFLAGS}")

# qemu-user names some processors its own way.
set(qemu_cpu ${cross_cpu})
if(cross_cpu MATCHES "^i.86$")
  set(qemu_cpu i386)
endif()
find_program(CATPACK_QEMU qemu-${qemu_cpu}-static REQUIRED)
# The library path keeps the loader on the cross libraries: the host's own
# 32-bit libraries may be in its cache, and taking them hangs the program.
set(CMAKE_CROSSCOMPILING_EMULATOR
  "${CATPACK_QEMU}" -L /usr/${cross_triplet} -E LD_LIBRARY_PATH=/usr/${cross_triplet}/lib)
