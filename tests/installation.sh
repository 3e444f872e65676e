#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The packaging around the binary, checked with the desktop's own tools in the
# source tree: the menu entry and the metainfo validate, both manual pages
# render without a warning, every place that states the version states the
# project's (the first argument), and every source file carries its licence
# line. Prints what fails; exits 1 then.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export LC_ALL=C.UTF-8 MANROFFSEQ= MANWIDTH=80
version=$1 fehler=0
pruefe() {  # what is checked, then the command
    local was=$1
    shift
    if ! "$@"; then
        echo "FAILED: $was"
        fehler=1
    fi
}
ohne_ausgabe() { local aus; aus=$("$@" 2>&1 >/dev/null) && [ -z "$aus" ] || { echo "$aus"; false; }; }
pruefe "menu entry" desktop-file-validate data/de.tempiro.Tempiro.desktop
pruefe "metainfo" appstreamcli validate --no-net data/de.tempiro.Tempiro.metainfo.xml
pruefe "manual pages" ohne_ausgabe man --warnings -E UTF-8 -l data/man/tempiro.1 data/man/de/tempiro.1
versionen=$(sed -nE '1s/^tempiro \(([^)]+)\).*/\1/p' debian/changelog
            sed -nE 's/.*<release version="([^"]+)".*/\1/p' data/*.metainfo.xml | head -1
            sed -nE 's/^\.TH .*"tempiro ([^"]+)".*/\1/p' data/man/tempiro.1 data/man/de/tempiro.1)
pruefe "versions: changelog, metainfo, manual pages ($versionen)" \
    test "$(echo "$versionen" | sort -u)" = "$version"
pruefe "licence lines" scripts/spdx_pruefen.sh
exit $fehler
