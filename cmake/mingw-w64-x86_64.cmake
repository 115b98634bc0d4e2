# 64-bit Windows, run by the 64-bit loader itself: Debian's wine wrapper picks
# the 32-bit loader whenever it is installed, even where it cannot run.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ZELTRA_MINGW_PREFIX x86_64-w64-mingw32)
set(ZELTRA_WINE_NAMES wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
