# Cross-compiles for 64-bit Windows (x64) with the mingw-w64 "-posix" thread flavour,
# whose libstdc++ has std::thread and friends (through winpthreads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(VELTRIX_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${VELTRIX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELTRIX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VELTRIX_TRIPLE}-windres)
set(CMAKE_OBJDUMP      ${VELTRIX_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${VELTRIX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The Wine runner (CMAKE_CROSSCOMPILING_EMULATOR) is set in the top CMakeLists.txt,
# because it points at the private Wine prefix inside the build tree.
