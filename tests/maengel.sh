#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Proves that the tests catch real faults. Each patch in tests/maengel puts one
# small, realistic fault into the program; its header names the tests that
# exist to catch it, in a line "Caught by: NAME..." of CTest names (e2e_* are
# end-to-end scenarios). Each fault is applied in turn to a scratch copy of the
# source tree, the copy is built, the named tests run, and each must fail.
#
#   tests/maengel.sh --check     every patch still applies exactly (git apply)
#   tests/maengel.sh             the faults the unit tests catch (./test.sh runs it)
#   tests/maengel.sh --e2e       the faults only the end-to-end scenarios catch
#   tests/maengel.sh [--e2e] 04 11   only the patches whose names start so
#
# Prints one line per fault; exits 1 when a patch no longer applies, a fault
# does not build, or one goes unnoticed.
set -euo pipefail
hier="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=scripts/setup.sh
source "$hier/scripts/setup.sh"
cd "$hier"
art=einheit
case ${1:-} in
    --check) art=pruefen; shift ;;
    --e2e) art=e2e; shift ;;
esac

faenger() { sed -n 's/^Caught by: //p' "$1"; }  # the tests that catch a patch's fault
gewaehlt() {  # a patch of this run's kind, and among those asked for
    local name f
    name=$(basename "$1" .patch)
    f=$(faenger "$1")
    if [ $# -gt 1 ] && ! printf '%s\n' "${@:2}" | grep -q "^${name:0:2}"; then return 1; fi
    case $art in
        e2e) [[ " $f" == *" e2e_"* ]] ;;
        *) [[ " $f" != *" e2e_"* ]] ;;
    esac
}

fehler=0
for patch in tests/maengel/*.patch; do
    name=$(basename "$patch" .patch)
    if [ -z "$(faenger "$patch")" ]; then
        echo "$name: names no test that catches it (a line \"Caught by: ...\")"
        fehler=1
    elif ! git apply --check "$patch" 2>/dev/null; then
        echo "$name: NO LONGER APPLIES"
        fehler=1
    fi
done
[ "$art" = pruefen ] && exit $fehler
[ $fehler = 0 ] || exit 1

patches=()
for patch in tests/maengel/*.patch; do
    if gewaehlt "$patch" "$@"; then patches+=("$patch"); fi
done
[ ${#patches[@]} -gt 0 ] || exit 0

kopie=$(mktemp -d /tmp/tempiro-maengel.XXXXXX)
trap 'rm -rf "$kopie"' EXIT
quelldateien | xargs -0 cp --parents -t "$kopie"
cd "$kopie"
# What the faults' tests need, built once without a fault.
ziele=(tempiro)
for patch in "${patches[@]}"; do
    for t in $(faenger "$patch"); do [[ $t == e2e_* ]] || ziele+=("${t%_skala2}"); done
done
mapfile -t ziele < <(printf '%s\n' "${ziele[@]}" | sort -u)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target "${ziele[@]}" >bau.log 2>&1 ||
    { echo "the scratch copy does not build without a fault:"; tail -20 bau.log; exit 1; }

for patch in "${patches[@]}"; do
    name=$(basename "$patch" .patch)
    tests=$(faenger "$patch")
    git apply "$patch"
    if ! cmake --build build -j "$(nproc)" --target "${ziele[@]}" >bau.log 2>&1; then
        echo "$name: DOES NOT BUILD"
        fehler=1
    else
        uebersehen=()
        for t in $tests; do
            if ctest --test-dir build -R "^$t\$" --timeout 300 >lauf.log 2>&1; then
                uebersehen+=("$t")
            fi
        done
        if [ ${#uebersehen[@]} -eq 0 ]; then
            echo "$name: caught by $tests"
        else
            echo "$name: NOT CAUGHT by ${uebersehen[*]}"
            fehler=1
        fi
    fi
    git apply -R "$patch"
done
exit $fehler
