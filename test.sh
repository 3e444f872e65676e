#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite.
set -euo pipefail
hier="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/setup.sh
source "$hier/scripts/setup.sh"
pakete_sicherstellen "${PAKETE_BAU[@]}" "${PAKETE_TEST[@]}"
bauen build
ctest --test-dir build --output-on-failure -j 2
