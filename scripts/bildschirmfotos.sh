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
hier="$PWD"
bin="$PWD/build/tempiro"
docs="$PWD/docs"
mkdir -p "$docs/bilder"

tmp=$(mktemp -d)
sitzung=
programm=
aufraeumen() {
    [ -n "$programm" ] && kill "$programm" 2>/dev/null
    [ -n "$sitzung" ] && kill "$sitzung" 2>/dev/null && wait "$sitzung"
    rm -rf "$tmp"
}
trap aufraeumen EXIT

# The private session of the end-to-end tests (scripts/privatsitzung.py): a
# display, a home and a session bus of its own, no sound server: the window
# looks the same, and nothing is heard. It writes its environment once it is up.
/usr/bin/python3 scripts/privatsitzung.py start --anzeige 640x480 "$tmp/umgebung" \
    >"$tmp/sitzung.log" 2>&1 &
sitzung=$!
until [ -s "$tmp/umgebung" ]; do
    kill -0 "$sitzung" 2>/dev/null || { echo "no private session:"; cat "$tmp/sitzung.log"; exit 1; }
    sleep 0.1
done
# shellcheck source=/dev/null
source "$tmp/umgebung"
export XDG_CONFIG_HOME="$HOME/.config" XDG_CACHE_HOME="$HOME/.cache" XDG_DATA_HOME="$HOME/.local/share"
unset WAYLAND_DISPLAY SESSION_MANAGER
mkdir "$tmp/arbeit"
cd "$tmp/arbeit"
LD_PRELOAD="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/faketime/libfaketime.so.1" \
    FAKETIME="@2026-12-05 14:03:20" FAKETIME_NO_CACHE=1 "$bin" >"$tmp/programm.log" 2>&1 &
programm=$!
fenster=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tempiro Zeitansage$' | head -1)

# Controls are clicked where the window's form places them.
klick() {
    # shellcheck disable=SC2046
    xdotool mousemove --window "$fenster" $(/usr/bin/python3 "$hier/scripts/privatsitzung.py" punkt "$1") click 1
    sleep 0.3
}
foto() {
    xdotool mousemove 630 470  # no control under the pointer
    sleep 0.3
    import -window "$fenster" -strip -define png:exclude-chunks=date,time "$1"
    echo "wrote docs/${1#"$docs"/}"
}

sleep 1.5  # the clock line has ticked
foto "$docs/screenshot.png"

for _ in 1 2 3; do
    klick btn_ZeitSpeichern
    sleep 0.4
done

# Five minutes, "BelichtungsUhr", the seconds beat on, "Timer Start".
klick Combo_M  # the minutes' text field
xdotool key ctrl+a type --delay 40 05
klick Check_Dauer     # "BelichtungsUhr"
klick Command1        # "start" under "Sekundenschlag"
klick Command_Start   # "Timer Start"
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
