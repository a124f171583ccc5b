# The Windows backends built as 64-bit programs, only to run their tests: this kind of machine
# cannot execute the 32-bit loader that Wine needs for 32-bit programs, but wine64 runs 64-bit
# ones. The shipped program is the 32-bit build of mingw-w64-i686.cmake.
set(ORNIVEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ORNIVEL_WINE /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
