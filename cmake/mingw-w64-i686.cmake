# Cross-building the 32-bit Windows program with mingw-w64 (Debian's g++-mingw-w64-i686); its
# tests run under Wine's 32-bit loader where the machine can execute it.
set(ORNIVEL_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORNIVEL_WINE wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
