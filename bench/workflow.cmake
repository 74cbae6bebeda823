# The conversion workflow bench (see README.md): a package generator, a peak-memory runner and
# the script that times varevudov-cli against bsdtar + archive.exe.
add_executable(make-packages ${CMAKE_CURRENT_LIST_DIR}/workflow/MakePackages.cpp)
target_link_libraries(make-packages PRIVATE vv_test_fixtures)
add_executable(peak-memory ${CMAKE_CURRENT_LIST_DIR}/workflow/PeakMemory.cpp)
set_target_properties(make-packages peak-memory PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_custom_target(workflow_bench
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/workflow/run-bench ${CMAKE_BINARY_DIR}
  DEPENDS make-packages peak-memory varevudov-cli archiver unzdll_standin unrar_standin
  USES_TERMINAL)

# The same folder run through the main window (offscreen), against varevudov-cli.
add_executable(gui-folder-run ${CMAKE_CURRENT_LIST_DIR}/workflow/GuiFolderRun.cpp)
target_link_libraries(gui-folder-run PRIVATE vv_gui)
set_target_properties(gui-folder-run PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_custom_target(gui_bench
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/workflow/run-gui-bench ${CMAKE_BINARY_DIR}
  DEPENDS make-packages gui-folder-run varevudov-cli archiver unzdll_standin unrar_standin
  USES_TERMINAL)

# One package of many tiny maps: 1,000 against 4,000 (discovery must stay linear in maps).
add_executable(many-maps ${CMAKE_CURRENT_LIST_DIR}/workflow/ManyMaps.cpp)
target_link_libraries(many-maps PRIVATE vv_test_fixtures)
set_target_properties(many-maps PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_custom_target(many_maps_bench
  COMMAND ${CMAKE_CURRENT_BINARY_DIR}/many-maps ${CMAKE_BINARY_DIR}/bin
  DEPENDS many-maps varevudov-cli archiver unzdll_standin unrar_standin
  USES_TERMINAL)
