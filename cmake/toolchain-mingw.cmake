# Shared part of the mingw-w64 toolchains; V7_MINGW_TRIPLE and V7_WINE_ARCH are set by the
# toolchain file that includes this one.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${V7_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${V7_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${V7_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${V7_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The mingw runtime is linked in, so no mingw DLL has to stand beside a binary.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${V7_WINE_ARCH}")
