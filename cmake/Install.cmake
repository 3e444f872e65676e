# SPDX-License-Identifier: GPL-3.0-or-later
# Installation: the binary, its menu entry, icons, AppStream metainfo and
# manual pages (English and German).
#
#   cmake --install build [--prefix DIR]
#
# The Debian package (debian/, built with dpkg-buildpackage) installs exactly
# these files through the same rules.
include(GNUInstallDirs)

set(TEMPIRO_DATEN ${CMAKE_CURRENT_LIST_DIR}/../data)

install(TARGETS tempiro RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TEMPIRO_DATEN}/de.tempiro.Tempiro.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TEMPIRO_DATEN}/de.tempiro.Tempiro.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(groesse 48 64 128)
  install(FILES ${TEMPIRO_DATEN}/icons/${groesse}/tempiro.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${groesse}x${groesse}/apps)
endforeach()
install(FILES ${TEMPIRO_DATEN}/man/tempiro.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TEMPIRO_DATEN}/man/de/tempiro.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/de/man1)
