# 32-bit Windows (the product), run by Debian's wine, which picks the 32-bit loader.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ZELTRA_MINGW_PREFIX i686-w64-mingw32)
set(ZELTRA_WINE_NAMES wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
