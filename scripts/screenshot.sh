#!/usr/bin/env bash
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
Xvfb :91 -screen 0 640x480x24 -nolisten tcp >/dev/null 2>&1 &
sleep 1
cd "$tmp"
DISPLAY=:91 "$bin" &
sleep 3
fenster=$(DISPLAY=:91 xdotool search --name "^Tempiro Zeitansage$" | head -1)
DISPLAY=:91 xdotool mousemove 0 0
sleep 1.2
DISPLAY=:91 import -window "$fenster" "$ziel"
echo "wrote $ziel"
