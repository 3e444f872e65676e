# Installation and the Debian package.
#
#   cmake --install build [--prefix DIR]    binary, menu entry, icons, AppStream data
#   cd build && cpack                       tempiro_<version>_<arch>.deb
include(GNUInstallDirs)

set(TEMPIRO_DATEN ${CMAKE_CURRENT_LIST_DIR}/../data)

install(TARGETS tempiro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TEMPIRO_DATEN}/tempiro.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TEMPIRO_DATEN}/de.tempiro.Tempiro.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(groesse 48 64 128)
  install(FILES ${TEMPIRO_DATEN}/icons/${groesse}/tempiro.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${groesse}x${groesse}/apps)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tempiro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tempiro <tempiro@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Sprechende Tischuhr mit Countdown und Zeitstempeln")
set(CPACK_PACKAGE_DESCRIPTION
    "Tempiro zeigt Datum und Uhrzeit mit MEZ oder MESZ, sagt Uhrzeit und Datum mit
einer deutschen Stimme an, zählt zu einer Uhrzeit oder über eine Dauer herunter
und schreibt nummerierte Zeitstempel mit Hundertstelsekunden.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Libraries the binary links are found by dpkg-shlibdeps; the voices' data and
# the window font are read at run time and must be named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data, fonts-liberation2")
# Qt's Wayland platform plugin gives a native window in a Wayland session;
# without it Qt falls back to X11 through XWayland and the program works all
# the same, so it is recommended (installed by default) rather than required.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
