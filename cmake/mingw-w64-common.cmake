# What the mingw-w64 toolchain files share; each sets ORNIVEL_MINGW_TRIPLET, the processor and
# ORNIVEL_WINE (the Wine that runs its programs) before including this file. The posix thread
# model gives std::thread and std::mutex; executables link statically, so nothing has to be
# shipped beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ORNIVEL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORNIVEL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ORNIVEL_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORNIVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Each test program through wine-run.sh, which starts it once more when Wine failed to start it.
set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${ORNIVEL_WINE})
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
