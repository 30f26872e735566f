# The part of the MinGW-w64 cross builds that does not depend on the target:
# the including toolchain file sets TUFLAT_MINGW_TRIPLE, TUFLAT_MINGW_PACKAGE
# and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 thread model needs no winpthread library, so a static link pulls
# in nothing beyond the system's own DLLs; the unsuffixed name is whichever
# variant the system's alternatives chose.
find_program(TUFLAT_MINGW_CXX NAMES ${TUFLAT_MINGW_TRIPLE}-g++-win32 ${TUFLAT_MINGW_TRIPLE}-g++)
if(NOT TUFLAT_MINGW_CXX)
  message(FATAL_ERROR "${TUFLAT_MINGW_TRIPLE}-g++ not found; install ${TUFLAT_MINGW_PACKAGE}")
endif()
set(CMAKE_CXX_COMPILER ${TUFLAT_MINGW_CXX})

set(CMAKE_FIND_ROOT_PATH /usr/${TUFLAT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
