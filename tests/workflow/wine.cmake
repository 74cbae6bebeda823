# End to end under real Wine: the Windows build of archive.exe (standins/archiver/windows.cmake)
# in a program folder of its own. One Wine prefix serves the whole test run: the setup test
# makes it (the first wineboot takes a while) and keeps its server alive between the tests, the
# cleanup test ends the server and removes the prefix. Where Wine or the cross compiler is
# missing the tests skip with the reason.
set(VV_WINE_PREFIX ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
set(VV_WINDOWS_ARCHIVER ${VAREVUDOV_WINDOWS_DIR}/bin/archive.exe)

add_executable(wine_tests WineConvertTest.cpp)
set_target_properties(wine_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/bin)
target_include_directories(wine_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(wine_tests PRIVATE vv_test_support vv_workflow)
target_compile_definitions(wine_tests PRIVATE
  VV_WINE_PREFIX="${VV_WINE_PREFIX}"
  VV_WINDOWS_ARCHIVER="${VV_WINDOWS_ARCHIVER}"
  VV_SAMPLES_DIR="${PROJECT_SOURCE_DIR}/samples")
add_dependencies(wine_tests archiver varevudov-cli unzdll_standin unrar_standin)
if(VV_WINDOWS_ARCHIVER_BUILT)
  add_dependencies(wine_tests archiver_windows)
endif()
gtest_discover_tests(wine_tests DISCOVERY_TIMEOUT 60
  PROPERTIES FIXTURES_REQUIRED wine_prefix RESOURCE_LOCK wine_prefix)

add_test(NAME wine_prefix_setup
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine-prefix setup ${VV_WINE_PREFIX})
add_test(NAME wine_prefix_cleanup
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/wine-prefix cleanup ${VV_WINE_PREFIX})
set_tests_properties(wine_prefix_setup PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)
set_tests_properties(wine_prefix_cleanup PROPERTIES FIXTURES_CLEANUP wine_prefix)
