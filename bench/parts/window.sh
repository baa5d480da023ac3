#!/usr/bin/env bash
# The window's own work with long playlists: loading an album, advancing,
# status updates and the play menu; then how long transport commands hold the
# window's thread on the real device, and how quickly it answers while songs
# are saved as audio.
set -euo pipefail
"$SONABEL_BUILD/bench/playlist_load_bench"
echo
"$SONABEL_BUILD/bench/play_flow_bench"
echo
# The longest any transport command or song change holds the window's thread,
# on the real synthesizer with the reset before each song.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$SONABEL_BUILD/bench/transport_bench" "$work"
echo
# How quickly the window answers while the playlist is saved as audio on every
# core and a song plays on.
"$SONABEL_BUILD/bench/save_audio_bench" "$work"
