# The desktop program: the two windows, the Qt prompter and file dialog, the banner, main().

# The banner picture is painted and JPEG-encoded at build time by our own small program; the
# window decodes it with libjpeg when it opens.
add_executable(make-banner ${CMAKE_CURRENT_SOURCE_DIR}/banner/MakeBanner.cpp)
target_link_libraries(make-banner PRIVATE JPEG::JPEG)
set_target_properties(make-banner PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/banner.jpg ${CMAKE_CURRENT_BINARY_DIR}/BannerData.cpp
  COMMAND make-banner ${CMAKE_CURRENT_BINARY_DIR}/banner.jpg ${CMAKE_CURRENT_BINARY_DIR}/BannerData.cpp
  DEPENDS make-banner
  COMMENT "Painting the banner picture")

# The two forms as a library, so the GUI tests drive the same code as the program.
add_library(vv_gui STATIC
  ${CMAKE_CURRENT_SOURCE_DIR}/Unit1.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Memo.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Unit2.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/WindowPlacement.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/DropInput.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Places.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/StopSignals.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/icon/Icon.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/QtPrompter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/OpenDialog.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/Banner.cpp
  ${CMAKE_CURRENT_BINARY_DIR}/BannerData.cpp)
target_include_directories(vv_gui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(vv_gui PUBLIC vv_workflow vv_shell_widgets vv_tga_widgets vv_zip_widgets Qt6::Widgets
  JPEG::JPEG)

add_executable(varevudov ${CMAKE_CURRENT_SOURCE_DIR}/main.cpp)
target_link_libraries(varevudov PRIVATE vv_gui vv_version)

# The program is of no use without the archiver and the stand-in libraries beside it.
add_dependencies(varevudov archiver unzdll_standin unrar_standin)

# scripts/screenshot's driver: the two windows converting a sample under Xvfb, photographed.
add_executable(varevudov-screenshot EXCLUDE_FROM_ALL
  ${CMAKE_CURRENT_SOURCE_DIR}/screenshot/ScreenshotMain.cpp)
target_link_libraries(varevudov-screenshot PRIVATE vv_gui)
add_dependencies(varevudov-screenshot varevudov)
