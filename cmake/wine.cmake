# The Windows build's tests run under wine, the toolchain's emulator, in a
# prefix of the build tree's own, made once: setting up a new prefix takes
# wine longer than GoogleTest allows the test binary to list its tests.
include_guard(GLOBAL)

set(QOVANT_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
find_program(QOVANT_WINESERVER wineserver REQUIRED)
# WINEDEBUG=-all: wine's own notices would mix with the standard error the
# tests compare.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env WINEPREFIX=${QOVANT_WINE_PREFIX}
    WINEDEBUG=-all ${CMAKE_CROSSCOMPILING_EMULATOR})
# Without mscoree and mshtml, wineboot does not offer to download the .NET
# and HTML engines, which nothing here uses. wineserver -w waits until the
# prefix is written.
add_custom_command(OUTPUT ${QOVANT_WINE_PREFIX}/made
  COMMAND ${CMAKE_COMMAND} -E env WINEDLLOVERRIDES=mscoree,mshtml= ${CMAKE_CROSSCOMPILING_EMULATOR}
          wineboot -i
  COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${QOVANT_WINE_PREFIX} ${QOVANT_WINESERVER} -w
  COMMAND ${CMAKE_COMMAND} -E touch ${QOVANT_WINE_PREFIX}/made
  COMMENT "Preparing the wine prefix ${QOVANT_WINE_PREFIX}"
  VERBATIM)
add_custom_target(qovant_wine_prefix ALL DEPENDS ${QOVANT_WINE_PREFIX}/made)
# The test binary lists its tests under wine as soon as it is linked.
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR}
               CALL add_dependencies qovant_tests qovant_wine_prefix)
