#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages that are missing (and only those), configures
# and builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Build and run: compiler, Qt 6 Widgets and its Wayland platform plugin (a
# native window in a Wayland session), the speech engine, the sound client, the
# X11 client library (the launcher's startup notification), the window font.
PAKETE_BAU=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-wayland libespeak-ng-dev
            espeak-ng-data libpulse-dev libicu-dev libxcb1-dev fonts-liberation2)
# Tests: a virtual display and sound server, and the tools that drive them
# (xdotool, python3-xlib); a private session bus with stand-ins of the desktop
# services on python3-dbusmock and the bus bindings of Debian's Python, and the
# accessibility bus; a headless Wayland compositor; a window manager (metacity;
# it changes nothing until chosen as a session's) and the desktop's bus tools
# (gdbus, dbus-monitor) for a second start and the actions; the manual page
# renderer; pytest, which runs the end-to-end scenarios; black and
# clang-format, whose formatting test.sh checks.
PAKETE_TEST=(xvfb xauth x11-utils xdotool pulseaudio pulseaudio-utils sox
             appstream desktop-file-utils dpkg-dev python3 dbus-daemon python3-dbus python3-gi
             at-spi2-core weston metacity libglib2.0-bin dbus-bin man-db groff-base python3-xlib
             python3-pytest python3-dbusmock black clang-format)
# The sound tests' second server. Installing pipewire-pulse enables its user
# socket for every user, which makes it the sound server of a PulseAudio
# desktop at its next login; test.sh therefore installs these only under CI
# (CI=true) or when asked (TEMPIRO_PIPEWIRE=1).
PAKETE_PIPEWIRE=(pipewire pipewire-pulse wireplumber dbus-daemon)
# The screen reader the accessibility tests run: Orca with speech-dispatcher
# (and metacity, of the test packages, as its window manager), the German
# locale's sources. speech-dispatcher's
# user service speaks for every program of a desktop once installed, so
# test.sh installs these only under CI (CI=true) or when asked
# (TEMPIRO_ORCA=1).
PAKETE_ORCA=(orca speech-dispatcher locales python3-dbus)
# The session hold's scenarios on GNOME's own session manager, desktop portal
# (with its gtk backend, which waits for GNOME Shell's screen saver name:
# python3-dbusmock's stands for it) and screen saver proxy. They bring a portal
# backend and GNOME's settings daemons onto a desktop that may use others;
# test.sh therefore installs these only under CI (CI=true) or when asked
# (TEMPIRO_GNOME=1).
PAKETE_GNOME=(gnome-session-bin xdg-desktop-portal xdg-desktop-portal-gtk
              gnome-settings-daemon dbus-daemon python3-dbus python3-dbusmock)
# A real notification server for the scenario of a countdown that ends with
# its window hidden. Its D-Bus activation file would make it the notification
# server of a desktop it is installed on, so test.sh installs it only under CI
# (CI=true) or when asked (TEMPIRO_BENACHRICHTIGUNG=1).
PAKETE_BENACHRICHTIGUNG=(notification-daemon dbus-daemon dbus-bin)
# The pictures of the user guide (scripts/bildschirmfotos.sh), in the tests'
# private session (scripts/privatsitzung.py).
PAKETE_BILDER=(xvfb xauth xdotool imagemagick libfaketime dpkg-dev python3 python3-dbus
               python3-xlib dbus-daemon)
# The Debian package (scripts/paket.sh): its build tools and checker.
PAKETE_PAKET=(build-essential debhelper dpkg-dev lintian)
# Benchmarks (bench/bench.sh): the reference clock, a session bus for it, the X
# DAMAGE headers for the measuring helpers.
PAKETE_BENCH=(gnome-clocks dbus-daemon libxdamage-dev stress-ng)

fehlende_pakete() {
    local fehlt=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || fehlt+=("$p")
    done
    echo "${fehlt[@]:-}"
}

pakete_sicherstellen() {
    local fehlt
    fehlt=$(fehlende_pakete "$@")
    [ -z "$fehlt" ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: $fehlt"
        apt-get update -qq
        # shellcheck disable=SC2086
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $fehlt
    elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        echo "Installing: $fehlt"
        sudo apt-get update -qq
        # shellcheck disable=SC2086
        sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $fehlt
    else
        echo "Missing Debian packages. Install them with:"
        echo "  sudo apt-get install $fehlt"
        exit 1
    fi
}

# The files of the source tree, NUL-separated, relative to the current
# directory: what git tracks and what is new and not ignored; outside a git
# checkout everything but the build directories.
quelldateien() {
    if git rev-parse --git-dir >/dev/null 2>&1; then
        local f
        git ls-files -z --cached --others --exclude-standard |
            while IFS= read -r -d '' f; do if [ -f "$f" ]; then printf '%s\0' "$f"; fi; done
    else
        find . \( -path ./.git -o -path './build*' -o -path './obj-*' -o -path ./debian/tempiro \
            -o -path ./debian/.debhelper \) -prune -o -type f -printf '%P\0'
    fi
}

# bauen DIR [cmake options...]: configures DIR once and builds everything.
# With BAU_ZIEL set, builds that target alone.
bauen() {
    local dir=${1:-build}
    shift || true
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$dir" -j "$(nproc)" ${BAU_ZIEL:+--target "$BAU_ZIEL"}
}
