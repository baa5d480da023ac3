#!/usr/bin/env bash
# The engine's figures:
#  - render speed, over the openmsx songs (Debian's openttd-openmsx): the time
#    sonabel-render takes on every core (its default) to write a WAV and a FLAC
#    file, against FluidSynth's own player (fluidsynth -ni -F) and against that
#    player on every core (-o synth.cpu-cores=N), and on one core (--jobs 1)
#    for reference; each song runs the five in turn, so a load that comes and
#    goes hits all alike;
#  - lossless saving: the samples in which the FLAC file of a song differs from
#    its WAV file (two renders of the same song, which must be the same);
#  - fidelity: correlation of the 50 ms RMS envelopes of the parallel render
#    with FluidSynth's render and with our own single-piece render, the minimum
#    of each over the songs;
#  - clicks: in the same renders, and in renders of the jazz-soft GM, GS and
#    percussion test files and the openmsx songs with TimGM6mb too, the 10 ms
#    windows where FluidSynth's render (default settings) is silent (below
#    -70 dBFS) and ours is not (above -60 dBFS), and the clicks (windows 6 dB
#    over FluidSynth's loudest around them);
#  - memory: peak RSS of both renders with FluidR3_GM.sf2 and with TimGM6mb,
#    ours also on one core (one synthesizer, as the player has), and the ratio;
#    then the player itself (the real program on a private X server) against
#    FluidSynth's own player, both playing the song for a while in real time
#    into a file: peak RSS, and the memory of their own (anonymous pages, not
#    the shared libraries' pages);
#  - song endings: a string chord ending at several points of a second, played
#    in real time through the device and closed the moment it says the song is
#    done, against FluidSynth's render of the same song (reverb and chorus off
#    in both: their oscillators cannot be put in step between two renders):
#    the largest level difference from the end to one second later;
#  - headroom: the peak of every openmsx song at 100 % and at the top of the
#    volume range, through the output's limiter;
#  - timing: lateness of every event over 60 s of real-time playback of a dense
#    song on the silent output, with the other core kept busy.
# Environment: SONABEL_BUILD (the build folder); ENGINE_BENCH_SECONDS shortens
# the timing run; ENGINE_BENCH_FILES limits the speed and fidelity runs to N
# songs.
set -euo pipefail

build=${SONABEL_BUILD:?}
render="$build/sonabel-render"
envelope="$build/bench/engine_envelope"
differ="$build/bench/audio_samples_differ"
levels="$build/bench/engine_levels"
small=/usr/share/sounds/sf2/TimGM6mb.sf2
corpus=${SONABEL_TOP:?}/tests/data/corpus/jazz-soft
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

cores=$(nproc)
echo "-- render speed and fidelity (openmsx songs, $(basename "$soundfont"), $rate Hz, $cores cores)"
# Wall-clock seconds a command takes.
seconds() {
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1 </dev/null
    t1=$(date +%s.%N)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }'
}
printf '%-30s %8s %8s %8s %8s %8s %9s %9s %9s\n' song fs_s cores_s ours_s flac_s one_s r_ours_fs r_flac_fs r_one_fs
count=0
for song in "$songs"/*.mid; do
    count=$((count + 1))
    if [ -n "${ENGINE_BENCH_FILES:-}" ] && [ "$count" -gt "$ENGINE_BENCH_FILES" ]; then break; fi
    t_fs=$(seconds fluidsynth -q -ni -F "$tmp/fs.wav" -r "$rate" "$soundfont" "$song")
    t_cores=$(seconds fluidsynth -q -ni -o synth.cpu-cores="$cores" -F "$tmp/cores.wav" -r "$rate" "$soundfont" "$song")
    t_ours=$(seconds "$render" --soundfont "$soundfont" --rate "$rate" "$song" "$tmp/ours.wav")
    t_flac=$(seconds "$render" --soundfont "$soundfont" --rate "$rate" "$song" "$tmp/ours.flac")
    t_one=$(seconds "$render" --soundfont "$soundfont" --rate "$rate" --jobs 1 "$song" "$tmp/one.wav")
    c_fs=$("$envelope" "$tmp/ours.wav" "$tmp/fs.wav")
    c_one=$("$envelope" "$tmp/ours.wav" "$tmp/one.wav")
    echo "$(basename "$soundfont") $(basename "$song") $("$levels" clicks "$tmp/ours.wav" "$tmp/fs.wav")" >>"$tmp/clicks.txt"
    d_flac=$("$differ" "$tmp/ours.flac" "$tmp/ours.wav")
    echo "$(basename "$song") $t_fs $t_cores $t_ours $t_one $c_fs $c_one $t_flac $d_flac" >>"$tmp/songs.txt"
    awk -v n="$(basename "$song")" -v a="$t_fs" -v b="$t_cores" -v c="$t_ours" -v d="$t_one" -v f="$t_flac" \
        'BEGIN { printf "%-30s %8.2f %8.2f %8.2f %8.2f %8.2f %9.3f %9.3f %9.3f\n", n, a, b, c, f, d, c / a, f / a, d / a }'
done
awk '{ fs += $2; cores += $3; ours += $4; one += $5; flac += $8; differ += $9
       if (min_fs == "" || $6 < min_fs) min_fs = $6
       if (min_one == "" || $7 < min_one) min_one = $7 }
     END {
       printf "total: fluidsynth %.1f s, fluidsynth on every core %.1f s, sonabel-render %.1f s (FLAC %.1f s), on one core %.1f s\n", fs, cores, ours, flac, one
       printf "render_time_ratio: %.3f  (sonabel-render to WAV / fluidsynth -ni -F; target <= 0.6)\n", ours / fs
       printf "render_time_ratio_flac: %.3f  (sonabel-render to FLAC / fluidsynth -ni -F; target <= 0.7)\n", flac / fs
       printf "flac_samples_differing: %d  (FLAC decoded against the WAV of the same song; target 0)\n", differ
       printf "render_time_ratio_cores: %.3f  (sonabel-render / fluidsynth -o synth.cpu-cores=N; target <= 1.0)\n", ours / cores
       printf "render_time_ratio_one_core: %.3f  (sonabel-render --jobs 1 / fluidsynth -ni -F)\n", one / fs
       printf "envelope_correlation_min: %.4f  (parallel against fluidsynth; target >= 0.98)\n", min_fs
       printf "envelope_correlation_single_min: %.4f  (parallel against one piece; target >= 0.999)\n", min_one
     }' "$tmp/songs.txt"

echo "-- clicks (10 ms windows: ours above -60 dBFS where FluidSynth's render is below -70; clicks 6 dB over it)"
count=0
for song in "$corpus"/test-all-gm-sounds.mid "$corpus"/test-all-gs-sounds.mid \
    "$corpus"/test-all-gm-percussion.mid "$songs"/*.mid; do
    count=$((count + 1))
    if [ -n "${ENGINE_BENCH_FILES:-}" ] && [ "$count" -gt $((ENGINE_BENCH_FILES + 3)) ]; then break; fi
    for sf in "$small" "$soundfont"; do
        # The openmsx songs with FluidR3 were rendered above.
        if [ "$sf" = "$soundfont" ] && [ "${song#"$songs"}" != "$song" ]; then continue; fi
        fluidsynth -q -ni -F "$tmp/fs.wav" -r "$rate" "$sf" "$song" >/dev/null 2>&1 </dev/null
        "$render" --soundfont "$sf" --rate "$rate" "$song" "$tmp/ours.wav"
        echo "$(basename "$sf") $(basename "$song") $("$levels" clicks "$tmp/ours.wav" "$tmp/fs.wav")" >>"$tmp/clicks.txt"
    done
done
awk '{ printf "%-16s %-34s %s windows, %s clicks\n", $1, $2, $3, $12 }
     { sound += $3; clicks += $12 }
     END { printf "clicks_total: %d windows of sound where FluidSynth is silent, %d clicks, over %d renders (target 0 and 0)\n", sound, clicks, NR }' \
    "$tmp/clicks.txt"

echo "-- memory (peak RSS, $(basename "$speed_song"))"
for sf in "$soundfont" "$small"; do
    /usr/bin/time -f %M -o "$tmp/ours.rss" "$render" --soundfont "$sf" --rate "$rate" \
        "$speed_song" "$tmp/ours.wav"
    /usr/bin/time -f %M -o "$tmp/one.rss" "$render" --soundfont "$sf" --rate "$rate" --jobs 1 \
        "$speed_song" "$tmp/ours.wav"
    /usr/bin/time -f %M -o "$tmp/theirs.rss" fluidsynth -q -ni -F "$tmp/theirs.wav" -r "$rate" \
        "$sf" "$speed_song" >/dev/null 2>&1 </dev/null
    o=$(tail -1 "$tmp/ours.rss")
    n=$(tail -1 "$tmp/one.rss")
    t=$(tail -1 "$tmp/theirs.rss")
    echo "$(basename "$sf"): sonabel-render $o KB, on one core $n KB; fluidsynth $t KB"
    awk -v o="$o" -v n="$n" -v t="$t" -v f="$(basename "$sf")" \
        'BEGIN { printf "peak_rss_ratio %s: %.3f, on one core %.3f  (target < 1; with FluidR3 <= 0.5)\n", f, o / t, n / t }'
done
# The peak RSS and the anonymous RSS (KB) of a process after PLAY_SECONDS.
play_memory() {
    local pid=$1
    sleep "${PLAY_SECONDS:-8}"
    awk '/^VmHWM/ { h = $2 } /^RssAnon/ { a = $2 } END { print h, a }' "/proc/$pid/status"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
mkdir -p "$tmp/home/config" "$tmp/home/runtime"
chmod 700 "$tmp/home/runtime"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$tmp/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.05; done
display=":$(head -1 "$tmp/display")"
for sf in "$soundfont" "$small"; do
    DISPLAY=$display XDG_CONFIG_HOME="$tmp/home/config" XDG_RUNTIME_DIR="$tmp/home/runtime" \
        SONABEL_SOUNDFONT="$sf" SONABEL_AUDIO_DRIVER=file SONABEL_AUDIO_FILE="$tmp/player.wav" \
        "$build/sonabel" "$speed_song" >/dev/null 2>&1 </dev/null &
    read -r ours_peak ours_anon < <(play_memory $!)
    fluidsynth -q -i -a file -o audio.file.name="$tmp/fs_player.wav" "$sf" "$speed_song" \
        >/dev/null 2>&1 </dev/null &
    read -r fs_peak fs_anon < <(play_memory $!)
    echo "$(basename "$sf") playing: sonabel peak $ours_peak KB, own $ours_anon KB; fluidsynth peak $fs_peak KB, own $fs_anon KB"
    awk -v a="$ours_peak" -v b="$ours_anon" -v c="$fs_peak" -v d="$fs_anon" -v f="$(basename "$sf")" \
        'BEGIN { printf "player_memory_ratio %s: peak %.3f, own %.3f  (sonabel / fluidsynth playing)\n", f, a / c, b / d }'
done
kill "$xvfb" 2>/dev/null || true

echo "-- song endings (a string chord played through the device, closed when done; against fluidsynth -R 0 -C 0 -F)"
for sf in "$small" "$soundfont"; do
    ends="1140 1530 1980 2100 2500 2900"
    # shellcheck disable=SC2086
    "$build/bench/engine_endings" "$sf" "$tmp" $ends >"$tmp/endings.txt"
    for end in $ends; do
        fluidsynth -q -ni -R 0 -C 0 -F "$tmp/ref_$end.wav" -r "$rate" "$sf" "$tmp/$end.mid" \
            >/dev/null 2>&1 </dev/null
        d=$("$levels" tail "$tmp/ours_$end.wav" "$tmp/ref_$end.wav" $((end - 100)))
        echo "$(basename "$sf") end at $end ms: $(grep "^$end ms" "$tmp/endings.txt" | cut -d: -f2-); $d"
    done
done | tee "$tmp/tails.txt"
awk '{ d = $(NF - 12); if (d < 0) d = -d; if (d > worst) worst = d }
     END { printf "ending_level_difference_max_db: %.2f  (target <= 3)\n", worst }' "$tmp/tails.txt"

echo "-- headroom ($(basename "$soundfont"), the openmsx songs)"
files=("$songs"/*.mid)
if [ -n "${ENGINE_BENCH_FILES:-}" ]; then files=("${files[@]:0:$ENGINE_BENCH_FILES}"); fi
"$build/bench/engine_headroom" "$soundfont" "${files[@]}"

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
