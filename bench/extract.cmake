# Extraction time against entry count: TRAR and TZip over the stand-in libraries (see README.md).
add_executable(extract_bench ${CMAKE_CURRENT_LIST_DIR}/extract_bench.cpp)
target_link_libraries(extract_bench PRIVATE vv_rar vv_zip vv_test_fixtures)
target_compile_definitions(extract_bench PRIVATE VV_PROGRAM_DIR="${VAREVUDOV_PROGRAM_DIR}")
set_target_properties(extract_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(extract_bench unrar_standin unzdll_standin)
