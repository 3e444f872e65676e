#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package the way a fresh clone builds it, checks it with
# lintian, and compares its program files with what `cmake --install` of the
# build in build/ installs. Any lintian error or warning, or any difference,
# fails the run.
#
#   scripts/paket.sh [DIR]    keeps the .deb (and .buildinfo, .changes) in DIR,
#                             default build-deb/
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
pakete_sicherstellen "${PAKETE_BAU[@]}" "${PAKETE_PAKET[@]}"
ablage=$(realpath -m "${1:-build-deb}")
bauen build

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# dpkg-buildpackage writes its results beside the source tree, so the tree
# is copied: what git tracks and what is new and not ignored, as a clone
# with the current changes would hold it.
mkdir "$tmp/tempiro"
quelldateien | tar --null -T - -cf - | tar -xf - -C "$tmp/tempiro"
(cd "$tmp/tempiro" && dpkg-buildpackage -us -uc -b -j"$(nproc)" >"$tmp/bau.log" 2>&1) || {
    tail -n 40 "$tmp/bau.log"
    exit 1
}
lintian --fail-on error,warning --display-info "$tmp"/tempiro_*.changes
deb=$(echo "$tmp"/tempiro_*.deb)

# The program files of both ways, with their checksums. The package adds its
# own documentation under usr/share/doc and compresses the manual pages;
# uncompressed, they must be the same. The binary is built twice with
# different flags, so only its presence is compared.
liste() {
    (cd "$1" && find . \( -type f -o -type l \) -printf '%P\n' | grep -v '^usr/share/doc/' | sort |
        while read -r f; do
            if [ -L "$f" ]; then
                echo "$f -> $(readlink "$f")"
            elif [[ $f == usr/bin/* ]]; then
                echo "$f"
            elif [[ $f == *.gz ]]; then
                echo "${f%.gz} $(gzip -dc "$f" | md5sum | cut -d' ' -f1)"
            else
                echo "$f $(md5sum <"$f" | cut -d' ' -f1)"
            fi
        done)
}
dpkg-deb -x "$deb" "$tmp/paket"
DESTDIR="$tmp/cmake" cmake --install build --prefix /usr >/dev/null
liste "$tmp/paket" >"$tmp/paket.txt"
liste "$tmp/cmake" >"$tmp/cmake.txt"
if ! diff -u --label package "$tmp/paket.txt" --label "cmake --install" "$tmp/cmake.txt"; then
    echo "The package and cmake --install install different files." >&2
    exit 1
fi

mkdir -p "$ablage"
cp "$tmp"/tempiro*_* "$ablage"/
echo "Package: $ablage/$(basename "$deb") ($(wc -l <"$tmp/paket.txt") program files, lintian clean)"
