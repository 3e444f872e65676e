#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up what is missing, builds, and opens the Tempiro window. The program
# keeps its two files (zeitnehmung.txt, SprecherNr.txt) in the directory you
# start it from.
set -euo pipefail
arbeitsordner="$(pwd)"
hier="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=scripts/setup.sh
source "$hier/scripts/setup.sh"
pakete_sicherstellen "${PAKETE_BAU[@]}"
# The program alone: the tests and benchmarks are built by ./test.sh.
BAU_ZIEL=tempiro bauen build
cd "$arbeitsordner"
exec "$hier/build/tempiro"
