# Installing as a desktop application: the menu entry, icons and metainfo under the prefix,
# and a Debian package of the whole installation (cpack -G DEB).
set(QUORVEL_APP_ID example.harrowlin.quorvel)
set(desktop_dir ${QUORVEL_RESOURCE_DIR}/desktop)
install(FILES ${desktop_dir}/${QUORVEL_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop_dir}/${QUORVEL_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${desktop_dir}/icons/${size}x${size}/quorvel.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${desktop_dir}/quorvel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR Harrowlin)
set(CPACK_PACKAGE_CONTACT "Harrowlin <quorvel@harrowlin.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Write e-mail newsletters and keep the mailing lists they go to")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
# The libraries the program links come from dpkg-shlibdeps; the Qt plugins and sound backends
# it loads at run time are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hunspell-en-us, xdg-utils")
include(CPack)
