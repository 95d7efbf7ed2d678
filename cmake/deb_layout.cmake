# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the files staged for the Debian
# package, before it packs them: gives them the layout that Debian policy
# asks for and debhelper would make, where `cmake --install` keeps the plain
# one.
# - the program stripped of the .comment and .note sections too, as dh_strip does;
# - the man page and the README compressed with gzip -9n (no name, no time);
# - the Debian changelog as changelog.gz and the copyright file, both from
#   packaging/, in the package's documentation folder.
cmake_minimum_required(VERSION 3.25)
set(root "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${root}/share/doc/${CPACK_PACKAGE_NAME}")
set(source "${CPACK_CATPACK_PACKAGING_DIR}")
if(NOT EXISTS "${root}/bin/${CPACK_PACKAGE_NAME}")
  message(FATAL_ERROR "no staged program in ${root}")
endif()

execute_process(COMMAND "${CPACK_CATPACK_STRIP}" --remove-section=.comment --remove-section=.note
                        "${root}/bin/${CPACK_PACKAGE_NAME}"
                COMMAND_ERROR_IS_FATAL ANY)

function(place source target)
  file(MAKE_DIRECTORY "${target}")
  file(COPY "${source}" DESTINATION "${target}"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

function(compress path)
  execute_process(COMMAND gzip -9nf "${path}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()

compress("${root}/share/man/man1/${CPACK_PACKAGE_NAME}.1")
compress("${doc}/README.md")
place("${source}/copyright" "${doc}")
place("${source}/changelog" "${doc}")
compress("${doc}/changelog")
