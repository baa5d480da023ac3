#!/usr/bin/env bash
# New entries: the folder walk against find(1) on generated trees of 2 000 and
# 20 000 MIDI files, and its growth between them.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$SONABEL_BUILD/bench/folder_scan_bench" "$work" 15
