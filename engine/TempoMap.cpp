// Ticks to microseconds and back; see TempoMap.h.
#include "engine/TempoMap.h"

#include <algorithm>
#include <cmath>

TempoMap::TempoMap(const MidiDivision &division,
                   const std::vector<std::pair<std::int64_t, std::uint32_t>> &changes)
{
    m_segments.clear();
    if (division.smpte) {
        // 29 stands for 29.97 frames per second (drop frame).
        const double fps =
            division.framesPerSecond == 29 ? 30000.0 / 1001.0 : double(division.framesPerSecond);
        m_segments.push_back({0, 0.0, 1e6 / (fps * division.ticksPerFrame)});
        m_ticksPerQuarter = 0;
        return;
    }
    m_ticksPerQuarter = double(std::max(1, division.ticksPerQuarter));
    m_segments.push_back({0, 0.0, double(midi::DefaultTempo) / m_ticksPerQuarter});
    for (const auto &[tick, tempo] : changes)
        append(tick, tempo);
}

void TempoMap::append(std::int64_t tick, std::uint32_t tempo)
{
    if (m_ticksPerQuarter == 0 || tempo == 0 || tick < m_lastChange)
        return;
    m_lastChange = tick;
    Segment &last = m_segments.back();
    const double usPerTick = double(tempo) / m_ticksPerQuarter;
    if (tick == last.tick) {
        last.usPerTick = usPerTick;
        return;
    }
    const double start = last.startUs + double(tick - last.tick) * last.usPerTick;
    m_segments.push_back({tick, start, usPerTick});
}

std::size_t TempoMap::segmentForTick(std::int64_t tick) const
{
    const auto it = std::upper_bound(m_segments.begin(), m_segments.end(), tick,
                                     [](std::int64_t t, const Segment &s) { return t < s.tick; });
    return it == m_segments.begin() ? 0 : std::size_t(it - m_segments.begin() - 1);
}

double TempoMap::toMicroseconds(std::int64_t tick) const
{
    const Segment &s = m_segments[segmentForTick(tick)];
    return s.startUs + double(tick - s.tick) * s.usPerTick;
}

std::int64_t TempoMap::toTick(double microseconds) const
{
    if (microseconds <= 0)
        return 0;
    const auto it = std::upper_bound(m_segments.begin(), m_segments.end(), microseconds,
                                     [](double us, const Segment &s) { return us < s.startUs; });
    const Segment &s = it == m_segments.begin() ? m_segments.front() : *(it - 1);
    std::int64_t tick =
        s.tick + static_cast<std::int64_t>(std::floor((microseconds - s.startUs) / s.usPerTick));
    // Rounding may land one tick off in either direction; settle on the exact answer.
    // (Bounded: with absurd times doubles cannot tell neighbouring ticks apart.)
    for (int i = 0; i < 4 && tick > 0 && toMicroseconds(tick) > microseconds; ++i)
        --tick;
    for (int i = 0; i < 4 && toMicroseconds(tick + 1) <= microseconds; ++i)
        ++tick;
    return tick;
}

double TempoMap::microsecondsPerTick(std::int64_t tick) const
{
    return m_segments[segmentForTick(tick)].usPerTick;
}
