#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Draws bild@2x.jpg, the window's hourglass at twice the size of bild.jpg
# (230 x 288), shown where a logical pixel has two or more device pixels. The
# shapes are those of bild.jpg, measured on its 115 x 144 grid and doubled; the
# JPEG settings are its own. Run again only when the picture changes; the
# output is the same byte for byte each time. Needs ImageMagick (Debian:
# imagemagick).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
# Coordinates are pixel centres on the large grid: a point x of the small
# picture's grid (pixel edges at whole numbers) lies at 2x - 0.5.
convert -size 230x288 xc:'#F6EADA' -draw "
  fill '#CCE6F5' stroke none
  polygon 60.5,40.5 170.5,40.5 122.5,144.5 170.5,248.5 60.5,248.5 108.5,144.5
  fill '#E1AF4E'
  polygon 83.5,71.5 147.5,71.5 118.5,126.5 112.5,126.5
  rectangle 112,128 119,199
  polygon 115.5,194.5 157.5,246.5 73.5,246.5
  fill none stroke '#3E5560' stroke-width 3.5 stroke-linejoin miter
  polygon 60.5,40.5 170.5,40.5 122.5,144.5 170.5,248.5 60.5,248.5 108.5,144.5
  fill '#6C4A29' stroke none
  rectangle 28,16 203,37
  rectangle 28,252 203,273
  rectangle 36,38 49,251
  rectangle 182,38 195,251
" -strip -quality 88 -sampling-factor 2x2,1x1,1x1 bild@2x.jpg
