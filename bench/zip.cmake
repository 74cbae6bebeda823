# ZIP directory read against bsdtar -tf (see README.md).
add_executable(zip_bench ${CMAKE_CURRENT_LIST_DIR}/zip_bench.cpp)
target_link_libraries(zip_bench PRIVATE vv_zip vv_test_fixtures)
set_target_properties(zip_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
