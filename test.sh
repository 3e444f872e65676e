#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up what is missing, builds, and runs the whole test suite.
set -euo pipefail
hier="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/setup.sh
source "$hier/scripts/setup.sh"
pakete=("${PAKETE_BAU[@]}" "${PAKETE_TEST[@]}")
# Packages that change a desktop they are installed on (see scripts/setup.sh):
# installed only under CI or when asked, their tests skipped otherwise.
wahlweise() {  # the variable that asks for them, what they are for, the packages
    local wunsch=$1 wofuer=$2 fehlt
    shift 2
    if [ "${CI:-}" = true ] || [ "${!wunsch:-}" = 1 ]; then
        pakete+=("$@")
    else
        fehlt=$(fehlende_pakete "$@")
        [ -z "$fehlt" ] || echo "Not installed ($fehlt): $wofuer are skipped." \
            "$wunsch=1 ./test.sh installs them."
    fi
}
wahlweise TEMPIRO_PIPEWIRE "the PipeWire sound tests" "${PAKETE_PIPEWIRE[@]}"
wahlweise TEMPIRO_ORCA "the screen-reader tests with Orca" "${PAKETE_ORCA[@]}"
wahlweise TEMPIRO_GNOME "the session hold's GNOME scenarios" "${PAKETE_GNOME[@]}"
wahlweise TEMPIRO_BENACHRICHTIGUNG "the notification scenario" "${PAKETE_BENACHRICHTIGUNG[@]}"
pakete_sicherstellen "${pakete[@]}"
# The C++ as the committed .clang-format writes it, and the Python of the
# tests, the benchmarks and the scripts as black writes it (pyproject.toml): a
# difference fails the run, before anything is built.
find src tests fuzz bench \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 |
    xargs -0 clang-format --dry-run --Werror
black --check --quiet tests bench scripts
bauen build
ctest --test-dir build --output-on-failure -j 2
# The test lines against their budget, counted on that formatted code; over
# it, the run fails.
tests/zeilen.sh
# Every committed fault still applies exactly, and names the tests that catch it.
tests/maengel.sh --check

# The unit suite once more under AddressSanitizer (with leak checks) and
# UndefinedBehaviorSanitizer; any finding fails the run. The end-to-end tests
# and the benchmarks are not repeated here.
bauen build-asan \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j 2 -LE 'e2e|bench'

# The teeth of the unit tests: each committed fault they must catch is put
# into a scratch copy of the program, built, and its tests run; a fault that
# goes unnoticed fails the run. (The faults only the end-to-end scenarios
# catch: tests/maengel.sh --e2e.)
tests/maengel.sh
