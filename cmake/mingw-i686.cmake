# Cross build for 32-bit Windows with MinGW-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PIVANE_MINGW_PREFIX i686-w64-mingw32)
# The win32 thread model: the POSIX one links winpthreads into every program,
# and winpthreads imports KERNEL32 functions that Windows 95 to XP lack, so
# the loader of those systems would refuse pivane.exe.
set(CMAKE_C_COMPILER ${PIVANE_MINGW_PREFIX}-gcc-win32)
set(CMAKE_CXX_COMPILER ${PIVANE_MINGW_PREFIX}-g++-win32)
set(CMAKE_RC_COMPILER ${PIVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PIVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(PIVANE_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PIVANE_WINE})
