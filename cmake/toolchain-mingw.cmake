# Cross compilation for Windows with mingw-w64, posix thread model. Included by the
# per-architecture toolchain files after they set CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
set(LUMARIX_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER   ${LUMARIX_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMARIX_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${LUMARIX_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${LUMARIX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
