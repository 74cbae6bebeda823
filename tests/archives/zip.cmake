# Tests of the ZIP reader and extractor. The extraction tests load the stand-in unzip library
# from the program folder, so it must be built first.
vv_add_test(zip_tests
  ${CMAKE_CURRENT_LIST_DIR}/ZipDirectoryTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipExtractTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipCorpusTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipFuzzTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipFuzz.cpp
  LIBS vv_zip ZLIB::ZLIB)
add_dependencies(zip_tests unzdll_standin)
# The seeds the fuzz regression test writes, and where a fuzz run starts from.
set(VV_ZIP_FUZZ_SEEDS ${CMAKE_BINARY_DIR}/tests/zip-fuzz-seeds)
target_compile_definitions(zip_tests PRIVATE VV_ZIP_FUZZ_SEEDS="${VV_ZIP_FUZZ_SEEDS}")

# libFuzzer target for the directory reader (-DVAREVUDOV_FUZZ=ON). Run by hand:
#   zip_directory_fuzzer -max_total_time=600 <corpus> <build>/tests/zip-fuzz-seeds
vv_add_fuzzer(zip_directory_fuzzer
  ${CMAKE_CURRENT_LIST_DIR}/ZipFuzzMain.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipFuzz.cpp
  INSTRUMENT vv_zip LIBS vv_test_fixtures)

# A fake unzip library that records the parameter block, under the Windows name in a folder of
# its own (reached through DllDirectory).
set(VV_FAKE_UNZDLL_DIR ${CMAKE_BINARY_DIR}/tests/bin/fake-unzdll)
add_library(zip_fake_unzdll MODULE ${CMAKE_CURRENT_LIST_DIR}/FakeUnzDll.cpp)
set_target_properties(zip_fake_unzdll PROPERTIES
  PREFIX "" OUTPUT_NAME UnzDll SUFFIX ".dll"
  LIBRARY_OUTPUT_DIRECTORY ${VV_FAKE_UNZDLL_DIR})
target_include_directories(zip_fake_unzdll PRIVATE ${PROJECT_SOURCE_DIR})
vv_add_test(zip_params_tests ${CMAKE_CURRENT_LIST_DIR}/ZipParamsTest.cpp LIBS vv_zip ZLIB::ZLIB)
target_compile_definitions(zip_params_tests PRIVATE VV_FAKE_UNZDLL_DIR="${VV_FAKE_UNZDLL_DIR}")
add_dependencies(zip_params_tests zip_fake_unzdll)

vv_add_test(zip_progress_tests ${CMAKE_CURRENT_LIST_DIR}/ZipProgressTest.cpp
  LIBS vv_zip_widgets ZLIB::ZLIB)
add_dependencies(zip_progress_tests unzdll_standin)
