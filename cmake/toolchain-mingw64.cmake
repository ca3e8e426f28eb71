# 64-bit Windows: the same sources, for running the tests under Wine on machines whose kernel
# cannot execute 32-bit code (and so cannot start 32-bit Wine).
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(V7_MINGW_TRIPLE x86_64-w64-mingw32)
set(V7_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw.cmake)
