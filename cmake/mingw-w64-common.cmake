# Cross-compiling for Windows with MinGW-w64; tests run under Wine. Included
# by the per-architecture toolchain files, which set:
#   ZELTRA_MINGW_PREFIX  the compilers' prefix (i686-w64-mingw32, x86_64-w64-mingw32)
#   ZELTRA_WINE_NAMES    the Wine loader that runs this build's programs
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread-model compilers by name, never the unsuffixed ones, which
# follow the machine's alternatives: the posix variant would link winpthreads
# into the executables, whose notice THIRD-PARTY-NOTICES.txt does not carry.
find_program(CMAKE_C_COMPILER NAMES ${ZELTRA_MINGW_PREFIX}-gcc-win32 REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${ZELTRA_MINGW_PREFIX}-g++-win32 REQUIRED)
# The resource compiler comes with binutils, which has no thread model.
find_program(CMAKE_RC_COMPILER NAMES ${ZELTRA_MINGW_PREFIX}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${ZELTRA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(ZELTRA_WINE NAMES ${ZELTRA_WINE_NAMES} PATHS /usr/lib/wine REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZELTRA_WINE})
