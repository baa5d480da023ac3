// Merges the tracks of a file into one ordered, timed list; see Timeline.h.
#include "engine/Timeline.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>

namespace {

std::int64_t toWholeUs(double us)
{
    // Absurd tempos and deltas can reach times no clock will ever see; clamp
    // them far beyond any song so integer arithmetic on them stays defined.
    constexpr double limit = 1e17;
    return static_cast<std::int64_t>(std::llround(std::clamp(us, 0.0, limit)));
}

} // namespace

namespace {

// An event kept for the time line, before its time is known.
struct Candidate
{
    std::int64_t tick;
    std::uint32_t tempo; // a Tempo event's microseconds per quarter
    std::uint8_t status, data1, data2, eventClass;
};

// The events one track gives the time line, in (tick, class) order: file
// order within a class.
class TrackStream
{
public:
    TrackStream(const MidiFile &file, std::size_t index, std::int64_t offset, bool sequential,
                std::function<int(std::vector<std::uint8_t> &&)> keepSysEx)
        : m_file(file), m_reader(file.events(index)), m_offset(offset),
          m_keepSysEx(std::move(keepSysEx))
    {
        // Each pattern of a format 2 file starts at the default tempo.
        if (sequential) {
            m_next = {offset, midi::DefaultTempo, 0xFF, midi::MetaTempo, 0, TimedEvent::Tempo};
            m_haveNext = true;
        } else {
            m_haveNext = readNext();
        }
    }

    bool atEnd() const { return !m_haveNext; }
    std::int64_t nextTick() const { return m_next.tick; }

    // Appends the events before the tick limit to out.
    void appendUntil(std::int64_t limit, std::vector<Candidate> &out)
    {
        while (m_haveNext && m_next.tick < limit) {
            const std::size_t group = out.size();
            const std::int64_t tick = m_next.tick;
            bool sorted = true;
            do {
                if (out.size() > group && m_next.eventClass < out.back().eventClass)
                    sorted = false;
                // Field by field: m_next was just written so, and one wide
                // load of it would wait for those writes to land.
                Candidate &c = out.emplace_back();
                c.tick = m_next.tick;
                c.tempo = m_next.tempo;
                c.status = m_next.status;
                c.data1 = m_next.data1;
                c.data2 = m_next.data2;
                c.eventClass = m_next.eventClass;
                m_haveNext = readNext();
            } while (m_haveNext && m_next.tick == tick);
            if (!sorted)
                std::stable_sort(out.begin() + std::ptrdiff_t(group), out.end(),
                                 [](const Candidate &a, const Candidate &b) {
                                     return a.eventClass < b.eventClass;
                                 });
        }
    }

private:
    // The next kept event of the track into m_next; false at the track's end.
    bool readNext()
    {
        MidiEvent me;
        while (m_reader.next(me)) {
            const std::int64_t tick = me.tick + m_offset;
            if (tick != m_currentTick) {
                m_currentTick = tick;
                // Only the keys set at the last tick are cleared.
                for (std::uint16_t key : m_onKeys)
                    m_onsAtTick.reset(key);
                m_onKeys.clear();
            }
            if (me.isChannel()) {
                std::uint8_t eventClass = TimedEvent::Control;
                const std::size_t key = std::size_t(me.status & 0x0F) * 128 + me.data1;
                const int kind = me.status & 0xF0;
                if (kind == 0x90 && me.data2 > 0) {
                    eventClass = TimedEvent::NoteOn;
                    if (!m_onsAtTick.test(key))
                        m_onKeys.push_back(std::uint16_t(key));
                    m_onsAtTick.set(key);
                } else if (kind == 0x80 || kind == 0x90) {
                    eventClass =
                        m_onsAtTick.test(key) ? TimedEvent::LateNoteOff : TimedEvent::NoteOff;
                    m_onsAtTick.reset(key);
                }
                m_next = {tick, 0, me.status, me.data1, me.data2, eventClass};
                return true;
            }
            const auto payload = m_file.payload(me);
            if (me.status == 0xF0) {
                m_pending.assign(1, 0xF0);
                m_pending.insert(m_pending.end(), payload.begin(), payload.end());
            } else if (me.status == 0xF7) {
                if (m_pending.empty()) {
                    // An escape: only a complete SysEx inside one is of use here.
                    if (payload.size() >= 2 && payload.front() == 0xF0)
                        m_pending.assign(payload.begin(), payload.end());
                } else {
                    m_pending.insert(m_pending.end(), payload.begin(), payload.end());
                }
            } else if (me.isMeta(midi::MetaTempo) && payload.size() >= 3) {
                const std::uint32_t tempo = (std::uint32_t(payload[0]) << 16) |
                                            (std::uint32_t(payload[1]) << 8) | payload[2];
                m_next = {tick, tempo, 0xFF, midi::MetaTempo, 0, TimedEvent::Tempo};
                return true;
            } else {
                continue;
            }
            if (!m_pending.empty() && m_pending.back() == 0xF7) {
                const int index = m_keepSysEx(std::move(m_pending));
                m_pending.clear();
                if (index < 0)
                    continue; // no room left for another message
                m_next = {tick,
                          0,
                          0xF0,
                          std::uint8_t(index & 0xFF),
                          std::uint8_t(index >> 8),
                          TimedEvent::SysEx};
                return true;
            }
        }
        return false;
    }

    const MidiFile &m_file;
    MidiEventReader m_reader;
    std::int64_t m_offset;
    std::function<int(std::vector<std::uint8_t> &&)> m_keepSysEx;
    std::int64_t m_currentTick = -1;
    std::bitset<16 * 128> m_onsAtTick;   // note-ons of this track at m_currentTick
    std::vector<std::uint16_t> m_onKeys; // the keys set in m_onsAtTick
    std::vector<std::uint8_t> m_pending; // a SysEx waiting for its continuation
    Candidate m_next{};
    bool m_haveNext = false;
};

// One window's events as read from the tracks, before they are merged.
struct Batch
{
    std::int64_t from = 0; // the window's first tick
    std::int64_t span = 0; // and its width in ticks
    std::vector<Candidate> events;
};

// From this many events on, the tracks are read on a second thread.
constexpr std::size_t ReadAheadFrom = std::size_t(1) << 16;

// Runs produce on a thread of its own, filling two batches in turn, while
// consume takes each filled one, in order, on the calling thread. A failure on
// either side ends both and is thrown here.
template <typename Produce, typename Consume> void readAhead(Produce &produce, Consume &consume)
{
    std::array<Batch, 2> batches;
    std::array<bool, 2> full{};
    bool finished = false;  // produce has no more (or failed)
    bool cancelled = false; // consume failed
    std::exception_ptr failure;
    std::mutex mutex;
    std::condition_variable changed;

    auto read = [&] {
        bool more = true;
        for (std::size_t k = 0; more; ++k) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return !full[k % 2] || cancelled; });
                if (cancelled)
                    return;
            }
            std::exception_ptr error;
            try {
                more = produce(batches[k % 2]);
            } catch (...) {
                error = std::current_exception();
                more = false;
            }
            {
                std::lock_guard lock(mutex);
                full[k % 2] = more;
                finished = !more;
                failure = error;
            }
            changed.notify_all();
        }
    };
    std::thread reader;
    try {
        reader = std::thread(read);
    } catch (const std::system_error &) {
        // No thread to be had: read and merge in turn.
        while (produce(batches[0]))
            consume(batches[0]);
        return;
    }

    try {
        for (std::size_t k = 0;; ++k) {
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return full[k % 2] || finished; });
                if (!full[k % 2])
                    break;
            }
            consume(batches[k % 2]);
            {
                std::lock_guard lock(mutex);
                full[k % 2] = false;
            }
            changed.notify_all();
        }
    } catch (...) {
        {
            std::lock_guard lock(mutex);
            cancelled = true;
        }
        changed.notify_all();
        reader.join();
        throw;
    }
    reader.join();
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace

std::shared_ptr<const Timeline> Timeline::build(const MidiFile &file)
{
    auto timeline = std::make_shared<Timeline>();
    Timeline &t = *timeline;
    const bool sequential = file.format() == 2;
    const std::size_t trackCount = file.trackCount();

    // Where each track starts (format 2 lays them end to end) and the length.
    std::vector<std::int64_t> offsets(trackCount, 0);
    std::int64_t offset = 0;
    for (std::size_t i = 0; i < trackCount; ++i) {
        offsets[i] = sequential ? offset : 0;
        const std::int64_t trackEnd = std::max<std::int64_t>(0, file.lastTick(i));
        if (sequential)
            offset += trackEnd;
        t.m_lengthTicks = std::max(t.m_lengthTicks, sequential ? offset : trackEnd);
    }

    std::unordered_map<std::string, int> known;
    auto keepSysEx = [&t, &known](std::vector<std::uint8_t> &&message) {
        std::string key(message.begin(), message.end());
        const auto found = known.find(key);
        if (found != known.end())
            return found->second;
        if (t.m_sysEx.size() >= 65536)
            return -1;
        const int index = int(t.m_sysEx.size());
        t.m_sysEx.push_back(std::move(message));
        known.emplace(std::move(key), index);
        return index;
    };

    std::size_t upperBound = trackCount;
    for (std::size_t i = 0; i < trackCount; ++i)
        upperBound += file.eventCount(i);

    // Every track at once, merged by (tick, class, track), a window of ticks
    // at a time: each track gives its events of the window in (tick, class)
    // order, the tracks one after the other, and a counting sort by (tick,
    // class), which keeps that order among equals, puts them in place.
    std::vector<std::unique_ptr<TrackStream>> streams;
    streams.reserve(trackCount);
    for (std::size_t i = 0; i < trackCount; ++i)
        streams.push_back(
            std::make_unique<TrackStream>(file, i, offsets[i], sequential, keepSysEx));
    auto firstTick = [&streams](std::int64_t *tick) {
        bool any = false;
        for (const auto &s : streams) {
            if (!s->atEnd() && (!any || s->nextTick() < *tick)) {
                *tick = s->nextTick();
                any = true;
            }
        }
        return any;
    };

    constexpr std::size_t Classes = 6;
    // Far apart ticks make wide windows (sorted by comparison then).
    constexpr std::int64_t MaxSpan = std::int64_t(1) << 40;

    // Reading the tracks: the next window's events into a batch; false once
    // every track has ended.
    std::int64_t from = 0;
    std::int64_t span = 256; // ticks in a window, adapted to hold some 10^4 events
    auto produce = [&](Batch &batch) {
        if (!firstTick(&from))
            return false;
        const std::int64_t until = from > std::numeric_limits<std::int64_t>::max() - span
                                       ? std::numeric_limits<std::int64_t>::max()
                                       : from + span;
        batch.from = from;
        batch.span = span;
        batch.events.clear();
        for (const auto &s : streams)
            s->appendUntil(until, batch.events);
        // Windows small enough to stay in the cache.
        if (batch.events.size() > (1u << 15) && span > 1)
            span /= 2;
        else if (batch.events.size() < (1u << 13) && span < MaxSpan)
            span *= 2;
        from = until;
        return true;
    };

    // Ticks become times window by window, while a window is in the cache;
    // on the way, every instrument the song selects (program 0 where a
    // channel plays notes before any program change).
    t.m_events.reserve(upperBound);
    t.m_tempo = TempoMap(file.division(), {});
    std::int64_t tick = std::numeric_limits<std::int64_t>::min();
    std::int64_t us = 0;
    std::array<std::uint8_t, 16> msb{}, lsb{};
    std::bitset<16> programmed;
    auto addInstrument = [&t](MidiInstrument i) {
        if (std::find(t.m_instruments.begin(), t.m_instruments.end(), i) == t.m_instruments.end())
            t.m_instruments.push_back(i);
    };
    auto toTimes = [&](std::vector<TimedEvent> &events) {
        for (TimedEvent &e : events) {
            if (e.timeUs != tick) {
                tick = e.timeUs;
                us = toWholeUs(t.m_tempo.toMicroseconds(tick));
            }
            e.timeUs = us;
            if (e.eventClass == TimedEvent::Tempo || e.eventClass == TimedEvent::SysEx)
                continue;
            const auto ch = std::uint8_t(e.channel());
            if (e.kind() == 0xB0 && e.data1 == 0) {
                msb[ch] = e.data2;
            } else if (e.kind() == 0xB0 && e.data1 == 32) {
                lsb[ch] = e.data2;
            } else if (e.kind() == 0xC0) {
                programmed.set(ch);
                addInstrument({ch, msb[ch], lsb[ch], e.data1});
            } else if (e.eventClass == TimedEvent::NoteOn && !programmed.test(ch)) {
                programmed.set(ch);
                addInstrument({ch, msb[ch], lsb[ch], 0});
            }
        }
    };

    // Merging: a window's events sorted, timed and appended to the time line.
    std::vector<TimedEvent> sorted;
    std::vector<std::size_t> slots, place, order;
    std::vector<std::pair<std::size_t, std::size_t>> tempoSlots; // (event index, window index)
    auto consume = [&](const Batch &batch) {
        const std::vector<Candidate> &window = batch.events;
        // Where each event of the window goes: by a counting sort where the
        // window is dense, by a stable comparison sort where it is sparse
        // (ticks far apart), so that neither costs more than the window.
        place.resize(window.size());
        const std::size_t keys = std::size_t(std::min<std::int64_t>(batch.span, 1 << 18)) * Classes;
        if (batch.span <= (std::int64_t(1) << 18) && window.size() * 4 >= keys) {
            slots.assign(keys, 0);
            for (const Candidate &c : window)
                ++slots[std::size_t(c.tick - batch.from) * Classes + c.eventClass];
            std::size_t at = 0;
            for (std::size_t &slot : slots) {
                at += slot;
                slot = at - slot;
            }
            for (std::size_t i = 0; i < window.size(); ++i)
                place[i] = slots[std::size_t(window[i].tick - batch.from) * Classes +
                                 window[i].eventClass]++;
        } else {
            order.resize(window.size());
            for (std::size_t i = 0; i < order.size(); ++i)
                order[i] = i;
            std::stable_sort(order.begin(), order.end(), [&window](std::size_t a, std::size_t b) {
                const Candidate &x = window[a], &y = window[b];
                return x.tick != y.tick ? x.tick < y.tick : x.eventClass < y.eventClass;
            });
            for (std::size_t k = 0; k < order.size(); ++k)
                place[order[k]] = k;
        }
        // Sorted in a buffer the cache holds, then appended in one go.
        sorted.resize(window.size());
        const std::size_t base = t.m_events.size();
        tempoSlots.clear();
        for (std::size_t i = 0; i < window.size(); ++i) {
            const Candidate &c = window[i];
            const std::size_t slot = place[i];
            const std::size_t index = base + slot;
            TimedEvent &e = sorted[slot];
            e.timeUs = c.tick;
            e.status = c.status;
            e.data1 = c.data1;
            e.data2 = c.data2;
            e.eventClass = c.eventClass;
            if (c.eventClass == TimedEvent::Tempo)
                tempoSlots.emplace_back(index, i);
            else if (c.eventClass != TimedEvent::SysEx)
                t.m_channels |= std::uint16_t(1u << (c.status & 0x0F));
        }
        // The tempo changes come in time line order, so every change before
        // the window's end is known once its own are added.
        std::sort(tempoSlots.begin(), tempoSlots.end());
        for (const auto &[index, i] : tempoSlots) {
            t.m_tempoEvents.emplace_back(index, window[i].tempo);
            t.m_tempo.append(window[i].tick, window[i].tempo);
        }
        toTimes(sorted);
        t.m_events.insert(t.m_events.end(), sorted.begin(), sorted.end());
    };

    // A big song is read on a thread of its own while the windows read
    // before it are merged; the two share nothing but the batches.
    if (upperBound < ReadAheadFrom) {
        Batch batch;
        while (produce(batch))
            consume(batch);
    } else {
        readAhead(produce, consume);
    }
    streams.clear();
    // Little is kept back from the bound in a song of notes; shrinking a
    // large list would copy it, so only a list mostly empty is shrunk.
    if (t.m_events.capacity() > 2 * t.m_events.size() + 1024)
        t.m_events.shrink_to_fit();

    t.m_lengthUs = toWholeUs(t.m_tempo.toMicroseconds(t.m_lengthTicks));
    return timeline;
}

std::int64_t Timeline::tickAt(std::size_t i) const
{
    // The time is the tick's time rounded to whole microseconds; far into a
    // song the inverse may land a tick off, which the check below puts right.
    const std::int64_t us = m_events[i].timeUs;
    std::int64_t tick = m_tempo.toTick(double(us) + 0.5);
    for (int step = 0; step < 4 && toWholeUs(m_tempo.toMicroseconds(tick + 1)) <= us; ++step)
        ++tick;
    for (int step = 0; step < 4 && tick > 0 && toWholeUs(m_tempo.toMicroseconds(tick)) > us; ++step)
        --tick;
    return tick;
}

std::uint32_t Timeline::tempoAt(std::size_t i) const
{
    const auto found = std::lower_bound(m_tempoEvents.begin(), m_tempoEvents.end(), i,
                                        [](const std::pair<std::size_t, std::uint32_t> &p,
                                           std::size_t index) { return p.first < index; });
    return found != m_tempoEvents.end() && found->first == i ? found->second : 0;
}

std::size_t Timeline::indexAt(std::int64_t timeUs) const
{
    return std::size_t(
        std::lower_bound(m_events.begin(), m_events.end(), timeUs,
                         [](const TimedEvent &e, std::int64_t us) { return e.timeUs < us; }) -
        m_events.begin());
}
