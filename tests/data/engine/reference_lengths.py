#!/usr/bin/python3
# Writes reference_lengths.tsv: the length in whole milliseconds of every corpus
# file that python3-mido can read, computed by mido, for engine_reader_test to
# compare against. Run by hand from tests/data: ./engine/reference_lengths.py
#
# Format 2 files are not timed by mido; their tracks play one after another,
# each starting at the default tempo, so the reference is the sum of the
# lengths of each track taken as a file of its own.
import glob
import os
import sys

import mido
from mido.midifiles import meta


class MetaSpec_program_name(meta.MetaSpec_text):
    # mido 1.2.10 cannot copy an unknown meta event; 0x08 is a plain text event.
    type_byte = 0x08


meta.add_meta_spec(MetaSpec_program_name)


# Where the player deliberately differs from mido, the player's value is pinned
# instead, with the reason beside it.
OVERRIDES = {
    'unit-cases/tracks_empty-65535-tracks.mid':
        (64000, 'mido 1.2.10 reads none of its 65535 tracks; each track is '
                '61440 ticks at 480 per quarter and 120 bpm, as in its siblings'),
}
# Files with a header but no track have nothing to play: they fail to open, so
# mido's 0 ms is not pinned.
NOT_PINNED = {
    'unit-cases/header_header-type-00-single.mid',
    'unit-cases/header_header-type-01-multi-track.mid',
    'unit-cases/header_header-type-02-multi-song.mid',
    'unit-cases/tracks_empty-00000-tracks.mid',
}


def length_ms(path):
    m = mido.MidiFile(path)
    if m.type == 2:
        total = 0.0
        for t in m.tracks:
            single = mido.MidiFile(type=1, ticks_per_beat=m.ticks_per_beat)
            single.tracks.append(t)
            total += single.length
        return total
    return m.length


os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'corpus'))
print('# file\tlength_ms (from mido, rounded to the nearest ms)')
for f in sorted(glob.glob('*/*.mid')):
    if f in NOT_PINNED:
        print(f'# {f}: no track, fails to open')
        continue
    if f in OVERRIDES:
        ms, why = OVERRIDES[f]
        print(f'# {f}: {why}')
        print(f'{f}\t{ms}')
        continue
    try:
        ms = length_ms(f)
    except Exception as e:  # the reader has its own tests for damaged files
        print(f'# {f}: mido cannot read it ({type(e).__name__})', file=sys.stderr)
        continue
    print(f'{f}\t{int(round(ms * 1000))}')
