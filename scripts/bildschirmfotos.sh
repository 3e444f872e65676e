#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the pictures of the user guide from the real program on a private
# virtual display, with its clock set to Saturday, 5 December 2026, 14:03:20:
#
#   docs/screenshot.png             the window as it opens (also in the README)
#   docs/bilder/belichtung.png      a running exposure countdown of 5 minutes
#   docs/bilder/zeitnehmung.png     zeitnehmung.txt after three presses of
#                                   "Zeit speichern"
#
# It prints the three lines of zeitnehmung.txt for the text in the guide.
set -euo pipefail
# shellcheck source=scripts/setup.sh
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
pakete_sicherstellen "${PAKETE_BAU[@]}" "${PAKETE_BILDER[@]}"
bauen build
bin="$PWD/build/tempiro"
docs="$PWD/docs"
mkdir -p "$docs/bilder"

tmp=$(mktemp -d)
xvfb=
programm=
aufraeumen() {
    [ -n "$programm" ] && kill "$programm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap aufraeumen EXIT

# A display of its own (the server picks a free number), a home of its own,
# no sound server: the window looks the same, and nothing is heard.
# -noreset: otherwise the server resets whenever its last client leaves (a
# short xdotool call), and a client connecting just then is turned away.
exec 5>"$tmp/anzeige"
Xvfb -displayfd 5 -screen 0 640x480x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$tmp/anzeige" ] && break; sleep 0.1; done
DISPLAY=":$(cat "$tmp/anzeige")"
export DISPLAY HOME="$tmp" XDG_RUNTIME_DIR="$tmp"
export PULSE_SERVER="unix:$tmp/kein-tonserver" LANG=C.UTF-8
mkdir "$tmp/arbeit"
cd "$tmp/arbeit"
LD_PRELOAD="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/faketime/libfaketime.so.1" \
    FAKETIME="@2026-12-05 14:03:20" FAKETIME_NO_CACHE=1 "$bin" >"$tmp/programm.log" 2>&1 &
programm=$!
fenster=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tempiro Zeitansage$' | head -1)

# Positions in window pixels: the window is laid out in twips, 15 to a pixel.
klick() { xdotool mousemove --window "$fenster" "$1" "$2" click 1; sleep 0.3; }
foto() {
    xdotool mousemove 630 470  # no control under the pointer
    sleep 0.3
    import -window "$fenster" -strip -define png:exclude-chunks=date,time "$1"
    echo "wrote docs/${1#"$docs"/}"
}

sleep 1.5  # the clock line has ticked
foto "$docs/screenshot.png"

for _ in 1 2 3; do
    klick 70 205  # "Zeit speichern"
    sleep 0.4
done

# Five minutes, "BelichtungsUhr", the seconds beat on, "Timer Start".
klick 133 90  # the minutes' text field
xdotool key ctrl+a type --delay 40 05
klick 135 175  # "BelichtungsUhr"
klick 44 168   # "start" under "Sekundenschlag"
klick 144 128  # "Timer Start"
sleep 3.3
foto "$docs/bilder/belichtung.png"

# The stamp file under a title bar with its name.
inhalt=$(tr -d '\r' <zeitnehmung.txt)
convert \( -background '#e0e0e0' -fill black -font Liberation-Sans-Bold -pointsize 13 \
    label:zeitnehmung.txt -bordercolor '#e0e0e0' -border 8x5 \) \
    \( -background white -fill black -font Liberation-Mono -pointsize 15 \
    label:"$inhalt" -bordercolor white -border 14 \) \
    -background '#e0e0e0' -append -bordercolor '#a0a0a0' -border 1 \
    -strip -define png:exclude-chunks=date,time "$docs/bilder/zeitnehmung.png"
echo "wrote docs/bilder/zeitnehmung.png"
echo "zeitnehmung.txt:"
echo "$inhalt"
