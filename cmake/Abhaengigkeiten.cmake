# SPDX-License-Identifier: GPL-3.0-or-later
# The libraries the program links, found once for the program's layers and
# for the fuzz build.
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets DBus)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
# The X11 connection Qt opens, for the desktop's startup notification.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
find_path(ESPEAK_NG_INCLUDE espeak-ng/speak_lib.h REQUIRED)
find_library(ESPEAK_NG_LIB espeak-ng REQUIRED)

