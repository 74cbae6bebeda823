# The Wine bench (see README.md): varevudov-cli with the Windows build of archive.exe against
# that archive.exe alone under Wine on maps staged beforehand.
if(VV_WINDOWS_ARCHIVER_BUILT)
  add_custom_target(wine_bench
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine/run-bench ${CMAKE_BINARY_DIR}
    DEPENDS make-packages varevudov-cli archiver_windows unzdll_standin unrar_standin
    USES_TERMINAL)
else()
  message(STATUS "wine_bench not available: archive.exe for Windows is not built")
endif()
