#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each for a bounded time.
#
#   fuzz/run.sh [seconds per target] [target ...]     default: 60 s, all targets
#   FUZZ_MERGE=1 fuzz/run.sh ...    afterwards add the inputs that reach new code
#                                    to the kept corpus in fuzz/corpus/<target>/
#
# The kept corpus (fuzz/corpus/<target>/) is only read; new inputs go to
# build-fuzz/corpus/<target>/, and inputs that break a property or crash go to
# build-fuzz/funde/. The unit test test_countdown replays the kept corpus.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=../scripts/setup.sh
source scripts/setup.sh
# clang with libFuzzer and the sanitizer runtimes, besides what the program needs.
pakete_sicherstellen "${PAKETE_BAU[@]}" clang libclang-rt-14-dev

sekunden=${1:-60}
shift || true
ziele=("$@")
[ ${#ziele[@]} -eq 0 ] && ziele=(zahl sprecher)

bau=build-fuzz
if [ ! -f "$bau/build.ninja" ]; then
    cmake -S fuzz -B "$bau" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$bau" -j 2

export QT_QPA_PLATFORM=offscreen LANG=C TZ=UTC
export ASAN_OPTIONS=${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

fehler=0
for ziel in "${ziele[@]}"; do
    mkdir -p "$bau/corpus/$ziel" "$bau/funde"
    echo "== fuzz_$ziel for $sekunden s"
    if ! "$bau/fuzz_$ziel" -max_total_time="$sekunden" -print_final_stats=1 \
        -artifact_prefix="$bau/funde/$ziel-" "$bau/corpus/$ziel" "fuzz/corpus/$ziel" \
        2> "$bau/fuzz_$ziel.log"; then
        fehler=1
        echo "fuzz_$ziel FOUND A FAULT, see $bau/fuzz_$ziel.log and $bau/funde/"
    fi
    grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)|^#[0-9]+.*DONE' \
        "$bau/fuzz_$ziel.log" || true
    if [ "${FUZZ_MERGE:-0}" = 1 ] && [ $fehler -eq 0 ]; then
        "$bau/fuzz_$ziel" -merge=1 "fuzz/corpus/$ziel" "$bau/corpus/$ziel" 2>> "$bau/fuzz_$ziel.log"
    fi
done
exit $fehler
