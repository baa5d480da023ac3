#!/usr/bin/env bash
# Albums and editing: remove, clear, shuffle, sort, move and save on a shown
# window with playlists of 10 000 and 100 000 entries, and their growth; then a
# giant album of 100 MB: the reader's memory against the file's size, the load
# into the playlist (on its worker, with the longest the window waits), and
# default.mal kept at the close.
set -euo pipefail
"$SONABEL_BUILD/bench/playlist_edit_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$SONABEL_BUILD/bench/album_memory_bench" make "$work" 100
for mode in read load save; do
    "$SONABEL_BUILD/bench/album_memory_bench" "$mode" "$work"
done
