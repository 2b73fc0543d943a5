# Installing and packaging: the two commands, the desktop entry, the icon, the
# AppStream file and the manual pages; a Debian package through CPack.
include(GNUInstallDirs)

install(TARGETS benutzerverwaltung korval-db RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/de.korval.benutzerverwaltung.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES resources/korval.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME de.korval.benutzerverwaltung.svg)
install(FILES resources/de.korval.benutzerverwaltung.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The hourly expiry of dated memberships: a timer the package enables, and a
# service that waits for its configuration (an example goes with the documentation).
install(FILES resources/systemd/korval-ablauf.service resources/systemd/korval-ablauf.timer
        DESTINATION /lib/systemd/system)
install(FILES resources/systemd/ablauf.conf.beispiel DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/benutzerverwaltung)

# Manual pages compressed as Debian wants them (gzip -9n: no name, no time stamp).
find_program(GZIP gzip REQUIRED)
foreach(seite benutzerverwaltung korval-db)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${seite}.1.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP} -9n -c ${CMAKE_SOURCE_DIR}/man/${seite}.1 > ${CMAKE_BINARY_DIR}/man/${seite}.1.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/man/${seite}.1 VERBATIM)
  list(APPEND KORVAL_MANSEITEN ${CMAKE_BINARY_DIR}/man/${seite}.1.gz)
endforeach()
add_custom_target(manseiten ALL DEPENDS ${KORVAL_MANSEITEN})
install(FILES ${KORVAL_MANSEITEN} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The copyright file every Debian package carries.
file(WRITE ${CMAKE_BINARY_DIR}/copyright
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: benutzerverwaltung\n\n"
  "Files: *\nCopyright: 2026 KORVAL Software\nLicense: proprietary\n"
  " Nur für Kunden der KORVAL Software.\n")
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${GZIP} -9n -c ${CMAKE_SOURCE_DIR}/resources/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/changelog VERBATIM)
add_custom_target(changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/benutzerverwaltung)

set(CPACK_PACKAGE_NAME benutzerverwaltung)
set(CPACK_PACKAGE_VENDOR "KORVAL Software")
set(CPACK_PACKAGE_CONTACT "KORVAL Software <support@korval.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "KORVAL Benutzerverwaltung: Berechtigungsgruppen und Programmrechte")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Die Benutzerverwaltung der KORVAL-Anwendungen pflegt Berechtigungsgruppen,
ihre Mitarbeiter und die Gruppen jeder Programmstufe, auf einer eingebetteten
SQLite-Datenbank oder einem gemeinsamen PostgreSQL-Server.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.korval.example")
# Libraries it links, found by dpkg-shlibdeps; plus what Qt loads at run time:
# the SQL drivers, the SVG image plugins and the German translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, libqt6svg6, qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/resources/debian/postinst ${CMAKE_SOURCE_DIR}/resources/debian/prerm
    ${CMAKE_SOURCE_DIR}/resources/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_GENERATOR DEB)
include(CPack)
