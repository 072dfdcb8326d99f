# Cross build for 64-bit Windows with Debian's mingw-w64.
# The -posix compilers use winpthreads, which std::thread, std::mutex and
# std::condition_variable need; the -win32 ones lack them in GCC 12.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(PELLMOR_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${PELLMOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${PELLMOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${PELLMOR_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${PELLMOR_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       ${PELLMOR_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${PELLMOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One self-contained .exe: no libgcc_s, libstdc++ or libwinpthread DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# ctest (and anything else CMake runs from the build) starts Windows programs under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
