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
    try:
        ms = length_ms(f)
    except Exception as e:  # the reader has its own tests for damaged files
        print(f'# {f}: mido cannot read it ({type(e).__name__})', file=sys.stderr)
        continue
    print(f'{f}\t{int(round(ms * 1000))}')
