#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Names every source file (C and C++, Python, shell and other scripts, CMake,
# debian/rules) whose first line, or second after a "#!" line, is not the
# project's licence line, and every file whose "#!" line has slipped below
# it; exits with 1 if there is one.
#
#   scripts/spdx_pruefen.sh [DIR]     DIR: the source tree, default this one
set -euo pipefail
wurzel=$(cd "${1:-$(dirname "${BASH_SOURCE[0]}")/..}" && pwd)
# shellcheck source=scripts/setup.sh
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$wurzel"

kennung='SPDX-License-Identifier: GPL-3.0-or-later'
fehlt=0
geprueft=0
while IFS= read -r -d '' datei; do
    kopf=()
    mapfile -t -n 2 kopf < <(head -n 2 "$datei" | tr -d '\0\r')
    erste=${kopf[0]:-}
    zweite=${kopf[1]:-}
    case "$datei" in
        *.c | *.cpp | *.h) zeile="// $kennung" ;;
        *.py | *.sh | *.cmake | CMakeLists.txt | */CMakeLists.txt | debian/rules) zeile="# $kennung" ;;
        *) if [[ $erste == '#!'* || $zweite == '#!'* ]]; then zeile="# $kennung"; else continue; fi ;;
    esac
    geprueft=$((geprueft + 1))
    oben=$erste
    [[ $erste == '#!'* ]] && oben=$zweite
    if [[ $zweite == '#!'* || $oben != "$zeile" ]]; then
        echo "$datei"
        fehlt=1
    fi
done < <(quelldateien)
if [ "$geprueft" -eq 0 ]; then
    echo "no source files found in $wurzel" >&2
    exit 1
fi
exit "$fehlt"
