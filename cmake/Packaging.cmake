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

# The manual page and the package's changelog, compressed as Debian wants them (gzip -9n:
# best compression, no name or time stamp, so every build gives the same bytes), and the
# machine-readable copyright file.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install)
foreach(pair "resources/man/quorvel.1|quorvel.1.gz" "debian/changelog|changelog.gz")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 src)
  list(GET pair 1 out)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${src})
  execute_process(COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/${src} OUTPUT_FILE ${CMAKE_BINARY_DIR}/install/${out}
                  RESULT_VARIABLE gzip_result)
  if(NOT gzip_result EQUAL 0)
    message(FATAL_ERROR "Could not compress ${src}")
  endif()
endforeach()
install(FILES ${CMAKE_BINARY_DIR}/install/quorvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_BINARY_DIR}/install/changelog.gz ${CMAKE_SOURCE_DIR}/debian/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvel)

set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VENDOR Harrowlin)
set(CPACK_PACKAGE_CONTACT "Harrowlin <quorvel@harrowlin.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Write e-mail newsletters and keep the mailing lists they go to")
# The extended description, line by line as it goes into the package (under 80 columns).
set(CPACK_PACKAGE_DESCRIPTION "Quorvel is a desktop program for writing e-mail newsletters and keeping
the mailing lists they go to. One window holds the mail lists (subscribers
with name, address and phone, and per list its servers, header, footer and
signature), a rich-text newsletter editor, a preview of the mailed digest and
a POP3 inbox. A newsletter goes to the checked subscribers of a list in one
SMTP transaction; the inbox can remove subscribers who ask to leave.
Addresses can be pulled out of any text file, and two wizards walk a new user
through the first list and newsletter.")
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
