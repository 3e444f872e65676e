#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the desktop icons from the window's own picture (src/ui/bild.jpg): the
# portrait picture is widened to a square in its own background colour and
# scaled to the usual sizes. The PNGs are kept in the repository; run this
# again only when the picture changes. Needs ImageMagick (Debian: imagemagick).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
bild=../../src/ui/bild.jpg
hintergrund=$(convert "$bild" -format '%[pixel:p{0,0}]' info:)
for groesse in 48 64 128; do
    mkdir -p "$groesse"
    convert "$bild" -background "$hintergrund" -gravity center -extent 144x144 \
        -filter Lanczos -resize "${groesse}x${groesse}" -strip \
        -define png:exclude-chunks=date,time "$groesse/tempiro.png"
done
