# A native build with the compiler and linker flags that Debian builds its
# packages with, as dpkg-buildflags gives them, run in the source folder as
# a package build runs it (its -ffile-prefix-map names that folder).
# DEB_BUILD_MAINT_OPTIONS in the environment chooses the hardening; the
# debian preset sets hardening=+all, which adds -z now to the linking.
# CMake reads no CPPFLAGS, so they go in front of the CXXFLAGS.
foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
  execute_process(COMMAND dpkg-buildflags --get ${kind}
    WORKING_DIRECTORY "${CMAKE_CURRENT_LIST_DIR}/.."
    OUTPUT_VARIABLE debian_${kind} OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set(CMAKE_CXX_FLAGS_INIT "${debian_CPPFLAGS} ${debian_CXXFLAGS}")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${debian_LDFLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${debian_LDFLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${debian_LDFLAGS}")
