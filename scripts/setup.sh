#!/usr/bin/env bash
# Installs the Debian packages that are missing (and only those), configures
# and builds into build/. Sourced by run.sh and test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# Build and run: compiler, Qt 6 Widgets and its Wayland platform plugin (a
# native window in a Wayland session), the speech engine, the sound client, the
# window font.
PAKETE_BAU=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-wayland libespeak-ng-dev
            espeak-ng-data libpulse-dev libicu-dev fonts-liberation2)
# Tests: a virtual display and sound server, and the tools that drive them; a
# session bus with the accessibility bus and Debian's Python bindings for it; a
# headless Wayland compositor; a JPEG decoder for the high-resolution picture.
PAKETE_TEST=(xvfb xauth x11-utils xdotool pulseaudio pulseaudio-utils sox libfaketime
             appstream desktop-file-utils dpkg-dev python3 dbus-daemon at-spi2-core
             python3-pyatspi weston libjpeg-turbo-progs)
# Benchmarks (bench.sh): the reference clock, a session bus for it, the X
# DAMAGE headers for the measuring helpers.
PAKETE_BENCH=(gnome-clocks dbus-daemon libxdamage-dev)

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

bauen() {
    local dir=${1:-build}
    shift || true
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    fi
    cmake --build "$dir" -j "$(nproc)"
}
