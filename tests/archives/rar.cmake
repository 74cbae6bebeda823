# The RAR reader (TRAR) over the UnRAR stand-in, on archives the tests write themselves and on the
# public corpus when it is present.
vv_add_test(rar_tests
  ${CMAKE_CURRENT_LIST_DIR}/TrarTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RarCorpusTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RarHostileTest.cpp
  LIBS vv_rar ZLIB::ZLIB)

# A library that works like the stand-in but reports interface version 3, as libunrar.so in a
# folder of its own that the test makes the program folder.
vv_add_unrar_library(rar_fake_v3 3)
set_target_properties(rar_fake_v3 PROPERTIES OUTPUT_NAME unrar
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/fake-unrar-v3)
target_compile_definitions(rar_tests PRIVATE
  VV_FAKE_UNRAR_DIR="${CMAKE_BINARY_DIR}/tests/fake-unrar-v3")
add_dependencies(rar_tests unrar_standin rar_fake_v3)
