#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up what is missing, builds, and runs the whole test suite.
set -euo pipefail
hier="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/setup.sh
source "$hier/scripts/setup.sh"
pakete=("${PAKETE_BAU[@]}" "${PAKETE_TEST[@]}")
if [ "${CI:-}" = true ] || [ "${TEMPIRO_PIPEWIRE:-}" = 1 ]; then
    pakete+=("${PAKETE_PIPEWIRE[@]}")
else
    fehlt=$(fehlende_pakete "${PAKETE_PIPEWIRE[@]}")
    [ -z "$fehlt" ] || echo "PipeWire is not installed ($fehlt): its sound tests are skipped." \
        "TEMPIRO_PIPEWIRE=1 ./test.sh installs it."
fi
if [ "${CI:-}" = true ] || [ "${TEMPIRO_GNOME:-}" = 1 ]; then
    pakete+=("${PAKETE_GNOME[@]}")
else
    fehlt=$(fehlende_pakete "${PAKETE_GNOME[@]}")
    [ -z "$fehlt" ] || echo "GNOME's session manager and portal are not installed ($fehlt):" \
        "the session hold's GNOME scenarios are skipped. TEMPIRO_GNOME=1 ./test.sh installs them."
fi
pakete_sicherstellen "${pakete[@]}"
bauen build
ctest --test-dir build --output-on-failure -j 2

# The unit suite once more under AddressSanitizer (with leak checks) and
# UndefinedBehaviorSanitizer; any finding fails the run. The end-to-end tests
# and the benchmarks are not repeated here.
bauen build-asan \
    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j 2 -LE 'e2e|bench'
