# The path of the Debian package that the package workflow made,
# catpack_<version>_<architecture>.deb in the build folder; the calling check
# fails when it is missing or older than the program it should hold.
find_program(DPKG dpkg REQUIRED)
execute_process(COMMAND "${DPKG}" --print-architecture
  OUTPUT_VARIABLE architecture OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(DEB "${BUILD_DIR}/catpack_${VERSION}_${architecture}.deb")
if(NOT EXISTS "${DEB}")
  message(FATAL_ERROR "${DEB} is missing: run cmake --workflow --preset package")
endif()
if(NOT "${DEB}" IS_NEWER_THAN "${CATPACK}")
  message(FATAL_ERROR "${DEB} is older than ${CATPACK}: run cmake --workflow --preset package")
endif()
