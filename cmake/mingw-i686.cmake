# Cross build for 32-bit Windows with Debian's MinGW-w64 i686 toolchain
# (package g++-mingw-w64-i686).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TUFLAT_MINGW_TRIPLE i686-w64-mingw32)
# The win32 thread model needs no winpthread library, so a static link pulls
# in nothing beyond the system's own DLLs; the unsuffixed name is whichever
# variant the system's alternatives chose.
find_program(TUFLAT_MINGW_CXX NAMES ${TUFLAT_MINGW_TRIPLE}-g++-win32 ${TUFLAT_MINGW_TRIPLE}-g++)
if(NOT TUFLAT_MINGW_CXX)
  message(FATAL_ERROR "${TUFLAT_MINGW_TRIPLE}-g++ not found; install g++-mingw-w64-i686")
endif()
set(CMAKE_CXX_COMPILER ${TUFLAT_MINGW_CXX})

set(CMAKE_FIND_ROOT_PATH /usr/${TUFLAT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
