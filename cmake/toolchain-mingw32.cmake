# 32-bit Windows, the deliverables' target: mingw-w64 i686 with posix threads.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(V7_MINGW_TRIPLE i686-w64-mingw32)
set(V7_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
