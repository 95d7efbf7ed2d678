# Runs the Windows test programs under wine's 64-bit loader, in a wine
# prefix of the build's own, quietly.
execute_process(COMMAND dpkg -L wine64 OUTPUT_VARIABLE wineFiles ERROR_QUIET)
string(REGEX MATCHALL "[^\n]*/wine64" candidates "${wineFiles}")
set(wineLoader "")
foreach(candidate IN LISTS candidates)
  if(NOT wineLoader AND EXISTS "${candidate}" AND NOT IS_DIRECTORY "${candidate}")
    set(wineLoader "${candidate}")
  endif()
endforeach()
if(NOT wineLoader)
  message(FATAL_ERROR "The Windows tests need the loader of Debian's wine64 package")
endif()
set(CATPACK_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
# The wine server of the same package, which the tests keep running.
string(REGEX REPLACE "wine64$" "wineserver64" CATPACK_WINE_SERVER "${wineLoader}")
set(CMAKE_CROSSCOMPILING_EMULATOR
  env "WINEPREFIX=${CATPACK_WINE_PREFIX}" WINEDEBUG=-all "${wineLoader}")
# Creating the prefix takes a while and prints; do it once, here.
if(NOT EXISTS "${CATPACK_WINE_PREFIX}/system.reg")
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
    OUTPUT_QUIET ERROR_QUIET)
endif()
