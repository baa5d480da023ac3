// Ticks to microseconds and back, through the tempo changes of a file.
// Plain C++; immutable once built, so shareable between threads.
//
// With a ticks-per-quarter division each tempo change holds from its tick on;
// before the first one the tempo is 120 beats per minute. With an SMPTE
// division time is fixed by the frame rate and tempo changes are ignored.
#pragma once

#include "engine/MidiFile.h"

#include <cstdint>
#include <utility>
#include <vector>

class TempoMap
{
public:
    TempoMap() = default;
    // changes: (tick, microseconds per quarter) in tick order; a later change at
    // the same tick replaces an earlier one. A tempo of 0 is ignored.
    TempoMap(const MidiDivision &division,
             const std::vector<std::pair<std::int64_t, std::uint32_t>> &changes);

    // Adds a change at or after the last one, as if it had been in changes;
    // ticks before it keep their times.
    void append(std::int64_t tick, std::uint32_t tempo);

    // The time of a tick, in microseconds from tick 0.
    double toMicroseconds(std::int64_t tick) const;
    // The last tick that falls at or before the time (the inverse of
    // toMicroseconds for every tick: toTick(toMicroseconds(t)) == t).
    std::int64_t toTick(double microseconds) const;

    // The length of one tick at a tick, in microseconds.
    double microsecondsPerTick(std::int64_t tick) const;

private:
    struct Segment
    {
        std::int64_t tick;
        double startUs;
        double usPerTick;
    };
    std::size_t segmentForTick(std::int64_t tick) const;

    std::vector<Segment> m_segments{{0, 0.0, double(midi::DefaultTempo) / 96.0}};
    double m_ticksPerQuarter = 96.0; // 0 with an SMPTE division
    std::int64_t m_lastChange = 0;
};
