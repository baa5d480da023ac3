// A file made ready to play: every track merged into one list of timed events
// in playing order, the tempo map, and the length. Plain C++, immutable once
// built; the sequencer thread, the renderer and the tests share it read-only.
//
// Order of events that fall on the same tick (the same time):
//   1. tempo changes,
//   2. SysEx (so a reset comes before the set-up that follows it),
//   3. every other channel message (bank, program, controllers, pitch bend,
//      pressure), in file order,
//   4. note-offs (including note-on with velocity 0),
//   5. note-ons,
//   6. a note-off that follows a note-on of the same channel and key at the
//      same tick in the same track (a zero-length note still ends).
// Within each class, events keep track order and then file order. Format 2
// tracks are laid end to end, each starting at the default tempo.
//
// Only what a synthesizer needs is kept: tempo changes, SysEx and channel
// messages. Text and other meta events, and system messages a file should not
// contain, are dropped (they still count for the length). A song with more
// than 65536 distinct SysEx messages keeps the first 65536.
//
// Building reads the tracks straight from the file's bytes and merges them as
// it goes, so memory is the file plus 12 bytes an event kept. A big song's
// tracks are read on a second thread, ahead of the merge; build() returns once
// both are done.
#pragma once

#include "engine/MidiFile.h"
#include "engine/MidiOutput.h"
#include "engine/TempoMap.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

// A count of microseconds kept as two 32-bit halves, so that a TimedEvent
// packs into 12 bytes without losing alignment; reads and writes like an
// std::int64_t.
struct SplitTime
{
    std::uint32_t low = 0;
    std::uint32_t high = 0;

    SplitTime() = default;
    SplitTime(std::int64_t value) // NOLINT: converts implicitly, as an int64 would
        : low(std::uint32_t(std::uint64_t(value))), high(std::uint32_t(std::uint64_t(value) >> 32))
    {}
    operator std::int64_t() const { return std::int64_t((std::uint64_t(high) << 32) | low); }
};

// One event of the merged time line: 12 bytes, since a "black MIDI" song has
// tens of millions of them.
struct TimedEvent
{
    enum Class : std::uint8_t {
        Tempo = 0,
        SysEx = 1,
        Control = 2,
        NoteOff = 3,
        NoteOn = 4,
        LateNoteOff = 5,
    };

    SplitTime timeUs;        // from the start of the song
    std::uint8_t status = 0; // channel status, 0xF0 SysEx, 0xFF tempo
    // Channel messages: the data bytes. Tempo: 0x51 and 0. SysEx: which
    // message (Timeline::sysEx() finds it).
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    std::uint8_t eventClass = Control;

    int channel() const { return status & 0x0F; }
    int kind() const { return status & 0xF0; }
};
static_assert(sizeof(TimedEvent) == 12);

class Timeline
{
public:
    // Builds from a file that opened (file.ok()).
    static std::shared_ptr<const Timeline> build(const MidiFile &file);

    const std::vector<TimedEvent> &events() const { return m_events; }
    // Complete SysEx messages, F0 ... F7 (continuation packets joined).
    std::span<const std::uint8_t> sysEx(const TimedEvent &e) const
    {
        return m_sysEx[std::size_t(e.data1) | (std::size_t(e.data2) << 8)];
    }
    // The tick of event i on the merged time line (exact while a tick lasts
    // at least a microsecond), and the tempo a Tempo event i sets.
    std::int64_t tickAt(std::size_t i) const;
    std::uint32_t tempoAt(std::size_t i) const;
    const TempoMap &tempoMap() const { return m_tempo; }

    // Time of the last event, End of Track included.
    std::int64_t lengthUs() const { return m_lengthUs; }
    // The same in whole milliseconds (rounded to the nearest).
    std::int64_t lengthMs() const { return (m_lengthUs + 500) / 1000; }
    std::int64_t lengthTicks() const { return m_lengthTicks; }
    // Bit n set: channel n carries at least one channel message.
    std::uint16_t channelsUsed() const { return m_channels; }
    // Every instrument the song selects (program 0 where a channel plays notes
    // before any program change), each once, in order of first use.
    const std::vector<MidiInstrument> &instruments() const { return m_instruments; }

    // Index of the first event at or after the time.
    std::size_t indexAt(std::int64_t timeUs) const;

private:
    class Merger; // builds a time line (Timeline.cpp)

    std::vector<TimedEvent> m_events;
    // Distinct SysEx messages (a song repeats the same few); at most 65536.
    std::vector<std::vector<std::uint8_t>> m_sysEx;
    // (event index, tempo) of every Tempo event, in order.
    std::vector<std::pair<std::size_t, std::uint32_t>> m_tempoEvents;
    TempoMap m_tempo;
    std::int64_t m_lengthUs = 0;
    std::int64_t m_lengthTicks = 0;
    std::uint16_t m_channels = 0;
    std::vector<MidiInstrument> m_instruments;
};
