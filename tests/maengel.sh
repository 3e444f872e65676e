#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves that the unit tests catch real faults. Each patch in tests/maengel
# puts one small fault into the program (a carry left out, a boundary moved,
# a rule changed); this script applies each in turn to a scratch copy of the
# source tree, builds it, runs the unit tests and expects them to fail. It
# prints which tests caught each fault, and exits 1 when one went unnoticed
# or did not build. Takes some minutes; CI does not run it.
#
#   tests/maengel.sh              every patch
#   tests/maengel.sh 04 11        the patches whose names start so
set -euo pipefail
hier="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/setup.sh
source "$hier/scripts/setup.sh"
kopie=$(mktemp -d /tmp/tempiro-maengel.XXXXXX)
trap 'rm -rf "$kopie"' EXIT
quelldateien | (cd "$hier" && xargs -0 cp --parents -t "$kopie")
cd "$kopie"
einheiten() { ctest --test-dir build -LE 'e2e|bench' -j "$(nproc)" --output-on-failure >"$1" 2>&1; }
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" >/dev/null
einheiten ohne.log || { echo "the unit tests fail without any fault:"; tail -20 ohne.log; exit 1; }

uebersehen=0
for patch in tests/maengel/*.patch; do
    name=$(basename "$patch" .patch)
    if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -q "^${name:0:2}"; then continue; fi
    patch -s -p1 <"$patch"
    if ! cmake --build build -j "$(nproc)" >bau.log 2>&1; then
        echo "$name: DOES NOT BUILD"
        uebersehen=1
    elif einheiten lauf.log; then
        echo "$name: NOT CAUGHT"
        uebersehen=1
    else
        echo "$name: caught by $(sed -n 's/^[[:space:]]*[0-9]* - \([a-z0-9_]*\) (.*)$/\1/p' lauf.log | tr '\n' ' ')"
    fi
    patch -s -R -p1 <"$patch"
done
exit $uebersehen
