# Cross build for 64-bit Windows (package g++-mingw-w64-x86-64). The same code
# as the 32-bit build; it is what the tests run under Wine on a machine that
# cannot run 32-bit programs.
#   cmake -S . -B build-windows64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
set(TUFLAT_MINGW_TRIPLE x86_64-w64-mingw32)
set(TUFLAT_MINGW_PACKAGE g++-mingw-w64-x86-64)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
