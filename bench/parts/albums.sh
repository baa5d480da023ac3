#!/usr/bin/env bash
# Albums and editing: remove, clear, shuffle, sort, move and save on a shown
# window with playlists of 10 000 and 100 000 entries, and their growth.
set -euo pipefail
"$SONABEL_BUILD/bench/playlist_edit_bench"
