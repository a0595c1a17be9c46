# Cross build for 32-bit Windows with MinGW-w64; tests run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(PIVANE_MINGW_PREFIX i686-w64-mingw32)
# The POSIX thread model gives GoogleTest the std::mutex it needs. pivane.exe
# links no runtime at all, so the thread model's library (winpthreads, which
# imports functions that Windows 95 to XP lack) never reaches it.
set(CMAKE_C_COMPILER ${PIVANE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PIVANE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${PIVANE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${PIVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(PIVANE_WINE wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${PIVANE_WINE})
