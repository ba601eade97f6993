# The x86_64 Windows build: see toolchain-mingw-w64.cmake.
set(QX_MINGW_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-w64.cmake)
