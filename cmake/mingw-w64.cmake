# Cross-builds qovant.exe for 64-bit Windows on Debian with mingw-w64:
#   cmake -S . -B build-win --toolchain cmake/mingw-w64.cmake
# The posix-threads variant of the compiler, since the loader's threads are
# std::thread. Tests run under wine (CMAKE_CROSSCOMPILING_EMULATOR).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QOVANT_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QOVANT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QOVANT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QOVANT_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QOVANT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# wine64 where Debian splits it out, wine otherwise.
find_program(QOVANT_WINE NAMES wine64 wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QOVANT_WINE})
