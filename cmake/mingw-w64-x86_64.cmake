# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix; zlib
# from libz-mingw-w64-dev). Programs are linked statically so they run under Wine or Windows
# without the toolchain's DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VV_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VV_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VV_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
