# The ZIP side of the archive readers: TZip with its unzip library binding (GUI-free) and the
# progress window, which alone needs Qt Widgets.
add_library(vv_zip STATIC
  ${CMAKE_CURRENT_LIST_DIR}/Zip.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipExtract.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipEntries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZipDlls.cpp)
target_include_directories(vv_zip PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vv_zip PUBLIC vv_platform PRIVATE ZLIB::ZLIB)

add_library(vv_zip_widgets STATIC ${CMAKE_CURRENT_LIST_DIR}/ProgressForm.cpp)
target_link_libraries(vv_zip_widgets PUBLIC vv_zip Qt6::Widgets)
