#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes docs/screenshot.png from the real binary on a virtual display, with a
# private sound server so speech starts as on a desktop.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
bin="$PWD/build/tempiro"
ziel="$PWD/docs/screenshot.png"
tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; pulseaudio --kill 2>/dev/null || true; rm -rf "$tmp"' EXIT
export XDG_RUNTIME_DIR="$tmp/run" HOME="$tmp" PULSE_RUNTIME_PATH="$tmp/run/pulse"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pulseaudio -n --daemonize=yes --exit-idle-time=-1 --load="module-null-sink sink_name=null" \
    --load=module-native-protocol-unix 2>/dev/null || true
# Let the server pick a free display number.
exec 5>"$tmp/display"
Xvfb -displayfd 5 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
for _ in $(seq 50); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$tmp/display")"
cd "$tmp"
"$bin" &
sleep 3
fenster=$(xdotool search --name "^Tempiro Zeitansage$" | head -1)
xdotool mousemove 0 0
sleep 1.2
import -window "$fenster" "$ziel"
echo "wrote $ziel"
