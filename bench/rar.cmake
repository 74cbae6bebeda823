# RAR extraction through TRAR and the UnRAR stand-in against bsdtar -xf (see README.md).
add_executable(rar_bench ${CMAKE_CURRENT_LIST_DIR}/rar_bench.cpp)
target_link_libraries(rar_bench PRIVATE vv_rar vv_test_fixtures)
target_compile_definitions(rar_bench PRIVATE VV_PROGRAM_DIR="${VAREVUDOV_PROGRAM_DIR}")
set_target_properties(rar_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(rar_bench unrar_standin)
