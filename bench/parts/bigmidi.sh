#!/usr/bin/env bash
# "Black MIDI" songs of millions of notes:
#  - 50 MB and 200 MB files of 128 tracks: opening time, reading speed and peak
#    memory while opening, then 20 s of real-time play through the synthesizer
#    with the lateness of every event;
#  - a dense 50 MB song of 64 tracks whose notes all start together: the same
#    figures, the peak memory of `sonabel-render --info` on it, and the CPU of
#    playing it against FluidSynth's own player on the same song and SoundFont
#    (both through FluidSynth's file driver, in turns, the mean of the turns).
# Environment: SONABEL_BUILD; BIGMIDI_MB overrides the sizes, BIGMIDI_PLAY_SECONDS
# the play time, BIGMIDI_TURNS the turns of the CPU comparison.
set -euo pipefail
work=$(mktemp -d)
pid=
cleanup() {
    if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
bench="$SONABEL_BUILD/bench/big_midi_bench"
seconds=${BIGMIDI_PLAY_SECONDS:-20}
soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
export SONABEL_SOUNDFONT="$soundfont" SONABEL_AUDIO_DRIVER=file SONABEL_AUDIO_FILE="$work/out.wav"

sizes=${BIGMIDI_MB:-50 200}
for mb in $sizes; do
    echo "-- $mb MB, 128 tracks"
    "$bench" "$work" "$mb" "$([ "$mb" = "${sizes%% *}" ] && echo "$seconds" || echo 0)"
    rm -f "$work/black.mid" "$work/out.wav"
done

echo "-- 50 MB, 64 tracks in step ($(basename "$soundfont"))"
song="$work/chords.mid"
"$bench" "$work" 50 "$seconds" chords | tee "$work/ours.txt"
/usr/bin/time -f %M -o "$work/info.rss" "$SONABEL_BUILD/sonabel-render" --info "$song" >/dev/null
awk -v kb="$(tail -1 "$work/info.rss")" -v mb="$(stat -c %s "$song")" \
    'BEGIN { f = mb / 1048576; printf "info_peak_rss_mb: %.1f  (sonabel-render --info; target <= 6 x file + 100 = %.1f)\n", kb / 1024, 6 * f + 100 }'

# CPU of FluidSynth's own player over the same seconds of the same song, once
# it has loaded (its CPU from the 6th second on, read from /proc).
theirs() {
    fluidsynth -q -ni -a file -o audio.file.name="$work/fs.wav" "$soundfont" "$song" \
        >/dev/null 2>&1 </dev/null &
    pid=$!
    sleep 6
    local a b
    a=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    sleep "$seconds"
    b=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
    awk -v t=$((b - a)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" 'BEGIN { printf "%.1f\n", 100 * t / hz / s }'
}
value() { awk -v k="$1:" '$1 == k { print $2 }' "$2"; }
turns=${BIGMIDI_TURNS:-3}
: >"$work/cpu.txt"
for turn in $(seq "$turns"); do
    ours=$(if [ "$turn" = 1 ]; then cat "$work/ours.txt"; else "$bench" "$work" 50 "$seconds" chords; fi |
        awk '$1 == "play_cpu_percent:" { print $2 }')
    echo "$ours $(theirs)" >>"$work/cpu.txt"
done
awk '{ o += $1; t += $2; printf "turn %d: sonabel %.1f %%, fluidsynth %.1f %%\n", NR, $1, $2 }
     END { printf "play_cpu_ratio: %.3f  (sonabel / FluidSynth'"'"'s own player, %.1f %% / %.1f %% of a core; target <= 1.0)\n", o / t, o / NR, t / NR }' \
    "$work/cpu.txt"
