# cmake --install and the Debian package (cpack -G DEB). Layout under the prefix:
#   bin/                   varevudov, varevudov-cli
#   lib/varevudov/         archive.exe, the two stand-in libraries, samples/
#   share/applications/    desktop entry          share/metainfo/  AppStream metainfo
#   share/icons/hicolor/   icon (SVG and PNGs)    share/man/man1/  manual pages
#   share/doc/varevudov/   copyright, changelog   share/mime/packages/  the VKA file type
# The programs find lib/varevudov relative to their own folder (VAREVUDOV_BUNDLE_FROM_BIN), so
# a DESTDIR staging tree or a copied prefix runs as it is.
set(VV_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
set(VV_GENERATED_DIR ${CMAKE_BINARY_DIR}/packaging)
# The date of this version: metainfo release and package changelog (fixed, so builds repeat).
set(VAREVUDOV_RELEASE_DATE 2026-12-08)
set(VAREVUDOV_RELEASE_DATE_RFC2822 "Tue, 08 Dec 2026 00:00:00 +0000")
set(VAREVUDOV_PACKAGE_MAINTAINER "varevudov maintainers <maintainers@varevudov.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

# The icon is drawn by our own small program at build time, as the banner is.
add_executable(make-icon ${PROJECT_SOURCE_DIR}/app/icon/MakeIcon.cpp
  ${PROJECT_SOURCE_DIR}/app/icon/Icon.cpp)
target_include_directories(make-icon PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(make-icon PRIVATE Qt6::Gui)
set_target_properties(make-icon PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VV_GENERATED_DIR})
set(VV_ICON_SIZES 16 24 32 48 64 128 256)
set(VV_ICON_FILES ${VV_GENERATED_DIR}/icon/varevudov.svg)
foreach(size ${VV_ICON_SIZES})
  list(APPEND VV_ICON_FILES ${VV_GENERATED_DIR}/icon/${size}x${size}/varevudov.png)
endforeach()
add_custom_command(
  OUTPUT ${VV_ICON_FILES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${VV_GENERATED_DIR}/icon
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen $<TARGET_FILE:make-icon>
          ${VV_GENERATED_DIR}/icon
  DEPENDS make-icon
  COMMENT "Drawing the icon")

# Texts that carry the version, and the compressed forms Debian expects.
configure_file(${VV_PACKAGING_DIR}/varevudov.metainfo.xml.in
               ${VV_GENERATED_DIR}/varevudov.metainfo.xml @ONLY)
configure_file(${VV_PACKAGING_DIR}/changelog.in ${VV_GENERATED_DIR}/changelog @ONLY)
set(VV_GZIPPED)
foreach(page varevudov.1 changelog)
  if(page STREQUAL "changelog")
    set(source ${VV_GENERATED_DIR}/changelog)
  else()
    configure_file(${VV_PACKAGING_DIR}/${page}.in ${VV_GENERATED_DIR}/${page} @ONLY)
    set(source ${VV_GENERATED_DIR}/${page})
  endif()
  add_custom_command(
    OUTPUT ${source}.gz
    COMMAND gzip -9 -n -c ${source} > ${source}.gz
    DEPENDS ${source}
    VERBATIM)
  list(APPEND VV_GZIPPED ${source}.gz)
endforeach()
add_custom_target(varevudov-install-files ALL DEPENDS ${VV_ICON_FILES} ${VV_GZIPPED})

set(VV_PKGDIR ${VAREVUDOV_INSTALL_PKGDIR})
install(TARGETS varevudov varevudov-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS archiver RUNTIME DESTINATION ${VV_PKGDIR})
install(TARGETS unrar_standin unzdll_standin LIBRARY DESTINATION ${VV_PKGDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${PROJECT_SOURCE_DIR}/samples/desert.zip ${PROJECT_SOURCE_DIR}/samples/twin-maps.zip
              ${PROJECT_SOURCE_DIR}/samples/big-hill.rar
        DESTINATION ${VV_PKGDIR}/samples)
install(FILES ${VV_PACKAGING_DIR}/varevudov.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${VV_PACKAGING_DIR}/varevudov-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME varevudov.xml)
install(FILES ${VV_GENERATED_DIR}/varevudov.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${VV_GENERATED_DIR}/icon/varevudov.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size ${VV_ICON_SIZES})
  install(FILES ${VV_GENERATED_DIR}/icon/${size}x${size}/varevudov.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${VV_GENERATED_DIR}/varevudov.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The command's page names the installed folders, so it is written when the prefix is known: at
# install time (cmake --install --prefix, or cpack's /usr).
set(VV_INSTALLED_PKGDIR "@VV_INSTALLED_PKGDIR@")  # kept for the install-time step
configure_file(${VV_PACKAGING_DIR}/varevudov-cli.1.in ${VV_GENERATED_DIR}/varevudov-cli.1.in.at
               @ONLY)
install(CODE "
  set(VV_INSTALLED_PKGDIR \"\${CMAKE_INSTALL_PREFIX}/${VV_PKGDIR}\")
  configure_file(\"${VV_GENERATED_DIR}/varevudov-cli.1.in.at\"
                 \"${VV_GENERATED_DIR}/installed/varevudov-cli.1\" @ONLY)
  execute_process(COMMAND gzip -9 -n -f \"${VV_GENERATED_DIR}/installed/varevudov-cli.1\")
  file(INSTALL \"${VV_GENERATED_DIR}/installed/varevudov-cli.1.gz\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_MANDIR}/man1\")")
install(FILES ${VV_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varevudov)
# A version without a Debian revision makes a native package, whose changelog is changelog.gz.
install(FILES ${VV_GENERATED_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/varevudov)

# cpack -G DEB: varevudov_<version>_amd64.deb, dependencies computed from the binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varevudov)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${VAREVUDOV_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts Ironvale map packages into VKA archives")
set(CPACK_PACKAGE_DESCRIPTION
    "Players of Ironvale share maps as ZIP or RAR packages; the game loads maps
only from VKA archives. This program turns one package, or every package in
a folder, into VKA archives in a target folder, through a desktop window or
the varevudov-cli command. It can also unpack a VKA archive and show a map's
minimap while it works.
.
A stand-in for the game's archiving tool and stand-in unzip and UnRAR
libraries are included; a user's own copy of the game's Archive.exe in their
program folder is used instead (through Wine).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${VAREVUDOV_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS wine)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS libunrar5)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_POST_BUILD_SCRIPTS ${VV_PACKAGING_DIR}/DropLdconfigScripts.cmake)
include(CPack)
