#!/usr/bin/env bash
# The words of a song in the window: how late each change of the line is
# painted against the syllable's time (target 50 ms), and whether a seek
# shows the new place's line at once.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$SONABEL_BUILD/bench/lyric_timing_bench" "$work"
