# The RAR reader (TRAR) and its binding to the UnRAR library. GUI-free.
add_library(vv_rar STATIC
  ${CMAKE_CURRENT_LIST_DIR}/RAR.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RAR_DLL.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RarEntries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RarReport.cpp
)
target_link_libraries(vv_rar PUBLIC vv_platform)
