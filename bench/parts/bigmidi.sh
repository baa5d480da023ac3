#!/usr/bin/env bash
# A "black MIDI" song of millions of notes: opening time, reading speed and peak
# memory while opening (50 MB and 200 MB files), then 20 s of real-time play
# through the synthesizer with the lateness of every event.
# Environment: SONABEL_BUILD; BIGMIDI_MB overrides the sizes, BIGMIDI_PLAY_SECONDS the play time.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=${BIGMIDI_MB:-50 200}
for mb in $sizes; do
    echo "-- $mb MB"
    SONABEL_AUDIO_DRIVER=file SONABEL_AUDIO_FILE="$work/out.wav" \
        "$SONABEL_BUILD/bench/big_midi_bench" "$work" "$mb" \
        "$([ "$mb" = "${sizes%% *}" ] && echo "${BIGMIDI_PLAY_SECONDS:-20}" || echo 0)"
    rm -f "$work/black.mid" "$work/out.wav"
done
