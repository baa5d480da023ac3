#!/usr/bin/env bash
# The window's own work with long playlists: loading an album, advancing,
# status updates and the play menu.
set -euo pipefail
"$SONABEL_BUILD/bench/playlist_load_bench"
echo
"$SONABEL_BUILD/bench/play_flow_bench"
