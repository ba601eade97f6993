# The i686 Windows build: see toolchain-mingw-w64.cmake.
set(QX_MINGW_CPU i686)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake)
