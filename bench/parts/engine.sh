#!/usr/bin/env bash
# The engine's figures:
#  - render speed: sonabel-render against FluidSynth's own player (fluidsynth -F)
#    on the same file, SoundFont and rate; the time ratio (ours / theirs);
#  - fidelity: correlation of the 50 ms RMS envelopes of both renders, for
#    every file of Debian's openttd-openmsx, and the minimum;
#  - memory: peak RSS of both renders with FluidR3_GM.sf2, and the ratio;
#  - timing: lateness of every event over 60 s of real-time playback of a dense
#    song on the silent output, with the other core kept busy.
# Environment: SONABEL_BUILD (the build folder); ENGINE_BENCH_SECONDS shortens
# the timing run; ENGINE_BENCH_FILES limits the fidelity run to N files.
set -euo pipefail

build=${SONABEL_BUILD:?}
render="$build/sonabel-render"
envelope="$build/bench/engine_envelope"
timing="$build/bench/engine_timing"
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
rate=44100
songs=/usr/share/games/openttd/baseset/openmsx
speed_song="$songs/tttheme2.mid"
tmp=$(mktemp -d)
spinner=
cleanup() {
    if [ -n "$spinner" ]; then kill "$spinner" 2>/dev/null || true; fi
    rm -rf "$tmp"
}
trap cleanup EXIT

theirs() { fluidsynth -q -ni -F "$2" -r "$rate" "$soundfont" "$1" >/dev/null 2>&1 </dev/null; }
ours() { "$render" --soundfont "$soundfont" --rate "$rate" "$1" "$2"; }

echo "-- render speed ($(basename "$speed_song"), $(basename "$soundfont"), $rate Hz)"
hyperfine --warmup 1 --runs 5 --style basic --export-json "$tmp/speed.json" \
    -n sonabel-render "$render --soundfont $soundfont --rate $rate $speed_song $tmp/ours.wav" \
    -n fluidsynth "fluidsynth -q -ni -F $tmp/theirs.wav -r $rate $soundfont $speed_song" \
    >/dev/null
python3 - "$tmp/speed.json" <<'PY'
import json, sys
r = {x['command']: x['mean'] for x in json.load(open(sys.argv[1]))['results']}
print(f"sonabel-render: {r['sonabel-render']:.3f} s  fluidsynth: {r['fluidsynth']:.3f} s")
print(f"render_time_ratio: {r['sonabel-render'] / r['fluidsynth']:.3f}  (target <= 1.0)")
PY

echo "-- memory (peak RSS, $(basename "$speed_song"), $(basename "$soundfont"))"
/usr/bin/time -f %M -o "$tmp/ours.rss" "$render" --soundfont "$soundfont" --rate "$rate" \
    "$speed_song" "$tmp/ours.wav"
/usr/bin/time -f %M -o "$tmp/theirs.rss" fluidsynth -q -ni -F "$tmp/theirs.wav" -r "$rate" \
    "$soundfont" "$speed_song" >/dev/null 2>&1 </dev/null
o=$(tail -1 "$tmp/ours.rss")
t=$(tail -1 "$tmp/theirs.rss")
echo "sonabel-render: $o KB  fluidsynth: $t KB"
awk -v o="$o" -v t="$t" 'BEGIN { printf "peak_rss_ratio: %.3f  (target <= 0.5)\n", o / t }'

echo "-- fidelity (RMS envelope correlation, 50 ms windows)"
min=
count=0
for song in "$songs"/*.mid; do
    count=$((count + 1))
    if [ -n "${ENGINE_BENCH_FILES:-}" ] && [ "$count" -gt "$ENGINE_BENCH_FILES" ]; then break; fi
    ours "$song" "$tmp/a.wav"
    theirs "$song" "$tmp/b.wav"
    r=$("$envelope" "$tmp/a.wav" "$tmp/b.wav")
    printf '%-34s %s\n' "$(basename "$song")" "$r"
    min=$(awk -v a="$r" -v b="${min:-2}" 'BEGIN { print (a < b ? a : b) }')
done
echo "envelope_correlation_min: $min  (target >= 0.98)"

echo "-- timing (real-time playback, silent output, other core busy)"
seconds=${ENGINE_BENCH_SECONDS:-60}
(while :; do :; done) &
spinner=$!
# The peer: a bare real-time sleeper in the same minutes shows how late this
# machine wakes any thread; a virtual machine's own pauses show up there too.
"$build/bench/timer_floor" "$seconds" >"$tmp/floor.txt" &
floor=$!
"$timing" "$seconds" | tee "$tmp/timing.txt"
wait "$floor"
kill "$spinner"
spinner=
cat "$tmp/floor.txt"
value() { awk -v k="$1:" '$1 == k { print $2 }' "$2"; }
awk -v p="$(value lateness_p99_us "$tmp/timing.txt")" -v m="$(value lateness_max_us "$tmp/timing.txt")" \
    -v fp="$(value floor_p99_us "$tmp/floor.txt")" -v fm="$(value floor_max_us "$tmp/floor.txt")" \
    'BEGIN { printf "p99 against the floor: %.2f x   max against the floor: %.2f x\n", p / (fp > 0 ? fp : 1), m / (fm > 0 ? fm : 1) }'
echo "(targets: p99 <= 1000 us, max <= 5000 us)"
