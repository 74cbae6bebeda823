# The Windows build of archive.exe, made with the mingw-w64 cross compiler into its own program
# folder, VAREVUDOV_WINDOWS_DIR/bin. Skipped (the Wine tests then skip too) when the cross
# compiler or its zlib is missing; VV_WINDOWS_ARCHIVER_BUILT tells the Wine tests and bench.
option(VAREVUDOV_WINDOWS_ARCHIVER "Also build archive.exe as a Windows program (mingw-w64)" ON)
set(VAREVUDOV_WINDOWS_DIR ${CMAKE_BINARY_DIR}/windows CACHE INTERNAL "")
find_program(VV_MINGW_CXX x86_64-w64-mingw32-g++-posix)
find_file(VV_MINGW_ZLIB libz.a PATHS /usr/x86_64-w64-mingw32/lib NO_DEFAULT_PATH)
if(VAREVUDOV_WINDOWS_ARCHIVER AND VV_MINGW_CXX AND VV_MINGW_ZLIB)
  set(VV_WINDOWS_ARCHIVER_BUILT ON CACHE INTERNAL "archive.exe for Windows is built")
  include(ExternalProject)
  ExternalProject_Add(archiver_windows
    SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/windows
    BINARY_DIR ${VAREVUDOV_WINDOWS_DIR}
    CMAKE_ARGS --toolchain ${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
      -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
else()
  set(VV_WINDOWS_ARCHIVER_BUILT OFF CACHE INTERNAL "archive.exe for Windows is built")
  message(STATUS "archive.exe for Windows not built: needs g++-mingw-w64-x86-64-posix and "
                 "libz-mingw-w64-dev")
endif()
