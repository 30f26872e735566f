# Cross build for 32-bit Windows, the tool's own platform, with Debian's
# MinGW-w64 toolchain (package g++-mingw-w64-i686).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
set(TUFLAT_MINGW_TRIPLE i686-w64-mingw32)
set(TUFLAT_MINGW_PACKAGE g++-mingw-w64-i686)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
