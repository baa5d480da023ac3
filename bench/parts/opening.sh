#!/usr/bin/env bash
# Opening a 50 MB song while the player runs: the real program on a private
# session bus is handed the song over the bus (OpenUri), and bus_probe times
# every Metadata Get it answers while the song opens, against the same Gets
# while the player idles. Target: every Get answered within 100 ms.
# Environment: SONABEL_BUILD; OPENING_MB overrides the song's size.
set -euo pipefail
build=${SONABEL_BUILD:?}
work=$(mktemp -d)
bus_pid= player_pid=
cleanup() {
    [ -n "$player_pid" ] && kill "$player_pid" 2>/dev/null && wait "$player_pid" 2>/dev/null || true
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

"$build/bench/big_midi_bench" "$work" "${OPENING_MB:-50}" 0 | grep -E '^(file|open_seconds)'
mkdir -p "$work/program" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
cp "$build/sonabel" "$build/GM.MID" "$build/GS.MID" "$work/program/"
dbus-daemon --session --nofork --print-address=1 >"$work/bus" 2>/dev/null &
bus_pid=$!
for _ in $(seq 100); do [ -s "$work/bus" ] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS=$(head -1 "$work/bus")
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=offscreen SONABEL_OUTPUT=silent
"$work/program/sonabel" >/dev/null 2>&1 &
player_pid=$!
for _ in $(seq 200); do
    gdbus introspect --session --dest org.mpris.MediaPlayer2.sonabel \
        --object-path /org/mpris/MediaPlayer2 >/dev/null 2>&1 && break
    sleep 0.05
done
"$build/bench/bus_probe" "$work/black.mid"
gdbus call --session --dest org.mpris.MediaPlayer2.sonabel --object-path /org/mpris/MediaPlayer2 \
    --method org.freedesktop.DBus.Properties.Get org.mpris.MediaPlayer2.Player Metadata |
    grep -o "'mpris:length': <int64 [0-9]*>" || echo "the song did not open"
