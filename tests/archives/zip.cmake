# Tests of the ZIP reader and extractor. The extraction tests load the stand-in unzip library
# from the program folder, so it must be built first.
vv_add_test(zip_tests
  ${CMAKE_CURRENT_LIST_DIR}/zip_directory_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/zip_extract_test.cpp
  LIBS vv_zip ZLIB::ZLIB)
add_dependencies(zip_tests unzdll_standin)
