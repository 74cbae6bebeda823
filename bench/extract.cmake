# Extraction time against entry count: TRAR and TZip over the stand-in libraries (see README.md).
add_executable(extract_bench ${CMAKE_CURRENT_LIST_DIR}/extract_bench.cpp
  ${PROJECT_SOURCE_DIR}/tests/archives/rar_writer.cpp)
target_include_directories(extract_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/archives)
target_link_libraries(extract_bench PRIVATE vv_rar vv_zip ZLIB::ZLIB)
target_compile_definitions(extract_bench PRIVATE VV_PROGRAM_DIR="${VAREVUDOV_PROGRAM_DIR}")
set_target_properties(extract_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(extract_bench unrar-standin unzdll_standin)
