# What a release holds and how CPack packs it.
# Linux and other POSIX systems: the program, its man page and the README
# under the usual prefix folders, packed as a Debian package.
# Windows: catpack.exe and a README.txt with CR LF line ends side by side,
# packed as a .zip.

set(CPACK_PACKAGE_NAME catpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the catpack developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "assemble, compare and convert sets of data files")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "catpack reads folder trees and catalogs (an index file name.cat and a data\n"
  "file name.dat) into one set of files. It can reduce the set to its\n"
  "difference from a base set (new and changed files plus deletion markers),\n"
  "keep or drop files by regular expressions and list them, and writes the\n"
  "result as a new catalog, as a catalog in the old scrambled format, appended\n"
  "to an existing catalog, or as files below a folder with their modification\n"
  "times restored. A catalog is replaced only once the new one is complete.")
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(readme_crlf ${CMAKE_BINARY_DIR}/README.txt)
  add_custom_command(OUTPUT ${readme_crlf}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${PROJECT_SOURCE_DIR}/README.md -DOUTPUT=${readme_crlf}
            -P ${PROJECT_SOURCE_DIR}/cmake/crlf_text.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/cmake/crlf_text.cmake
    COMMENT "Writing README.txt with CR LF line ends")
  add_custom_target(catpack_readme_crlf ALL DEPENDS ${readme_crlf})

  install(TARGETS catpack RUNTIME DESTINATION .)
  install(FILES ${readme_crlf} DESTINATION .)

  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(windows_kind win32)
  else()
    set(windows_kind win64)
  endif()
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME catpack-${PROJECT_VERSION}-${windows_kind})
else()
  include(GNUInstallDirs)
  install(TARGETS catpack RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/doc/catpack.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})

  # catpack_<version>_<architecture>.deb, depending on the packages that hold
  # the shared libraries the program links (found by dpkg-shlibdeps). The
  # debian preset builds it with Debian's packaging flags, and
  # cmake/deb_layout.cmake gives its files Debian's layout, with the
  # copyright file and changelog of packaging/.
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER
    "the catpack developers <maintainers@users.noreply.c-seed-53b53c38.example>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb_layout.cmake)
  set(CPACK_CATPACK_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
  set(CPACK_CATPACK_STRIP ${CMAKE_STRIP})
endif()

include(CPack)
