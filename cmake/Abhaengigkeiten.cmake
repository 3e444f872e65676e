# SPDX-License-Identifier: GPL-3.0-or-later
# The libraries the program links, found once and gathered in one interface
# target, so the program and the fuzz build cannot drift apart.
find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets DBus)
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
pkg_check_modules(ICU REQUIRED IMPORTED_TARGET icu-uc icu-i18n)
find_path(ESPEAK_NG_INCLUDE espeak-ng/speak_lib.h REQUIRED)
find_library(ESPEAK_NG_LIB espeak-ng REQUIRED)

add_library(tempiro_abhaengigkeiten INTERFACE)
target_include_directories(tempiro_abhaengigkeiten INTERFACE ${ESPEAK_NG_INCLUDE})
target_link_libraries(tempiro_abhaengigkeiten INTERFACE Qt6::Core Qt6::Gui Qt6::Widgets Qt6::DBus
                      PkgConfig::PULSE PkgConfig::ICU ${ESPEAK_NG_LIB} Threads::Threads)
