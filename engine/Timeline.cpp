// Merges the tracks of a file into one ordered, timed list; see Timeline.h.
#include "engine/Timeline.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>
#include <condition_variable>
#include <exception>
#include <limits>
#include <memory>
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

// An event kept for the time line, before its time is known.
struct Candidate
{
    std::int64_t tick;
    std::uint32_t tempo; // a Tempo event's microseconds per quarter
    std::uint8_t status, data1, data2, eventClass;
};

// The song's distinct SysEx messages, each kept once (a song repeats the same
// few), at most 65536 of them.
class SysExStore
{
public:
    explicit SysExStore(std::vector<std::vector<std::uint8_t>> &messages) : m_messages(messages) {}

    // The message's index in the store; -1 when it is new and the store full.
    int keep(std::vector<std::uint8_t> &&message)
    {
        std::string key(message.begin(), message.end());
        const auto found = m_known.find(key);
        if (found != m_known.end())
            return found->second;
        if (m_messages.size() >= 65536)
            return -1;
        const int index = int(m_messages.size());
        m_messages.push_back(std::move(message));
        m_known.emplace(std::move(key), index);
        return index;
    }

private:
    std::vector<std::vector<std::uint8_t>> &m_messages;
    std::unordered_map<std::string, int> m_known;
};

// The events one track gives the time line, in (tick, class) order: file
// order within a class.
class TrackStream
{
public:
    TrackStream(const MidiFile &file, std::size_t index, std::int64_t offset, bool sequential,
                SysExStore &sysEx)
        : m_file(file), m_reader(file.events(index)), m_offset(offset), m_sysEx(sysEx)
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
            if (tick != m_currentTick)
                startTick(tick);
            if (me.isChannel()) {
                m_next = {tick, 0, me.status, me.data1, me.data2, classify(me)};
                return true;
            }
            if (systemEvent(me, tick))
                return true;
        }
        return false;
    }

    void startTick(std::int64_t tick)
    {
        m_currentTick = tick;
        // Only the keys set at the last tick are cleared.
        for (std::uint16_t key : m_onKeys)
            m_onsAtTick.reset(key);
        m_onKeys.clear();
    }

    // A channel message's class; a note-off after a note-on of its key at the
    // same tick is a late one.
    std::uint8_t classify(const MidiEvent &me)
    {
        const std::size_t key = std::size_t(me.status & 0x0F) * 128 + me.data1;
        const int kind = me.status & 0xF0;
        if (kind == 0x90 && me.data2 > 0) {
            if (!m_onsAtTick.test(key))
                m_onKeys.push_back(std::uint16_t(key));
            m_onsAtTick.set(key);
            return TimedEvent::NoteOn;
        }
        if (kind == 0x80 || kind == 0x90) {
            const bool late = m_onsAtTick.test(key);
            m_onsAtTick.reset(key);
            return late ? TimedEvent::LateNoteOff : TimedEvent::NoteOff;
        }
        return TimedEvent::Control;
    }

    // A tempo change, or the last packet of a SysEx, into m_next (true);
    // false for what the time line does not keep, or not yet.
    bool systemEvent(const MidiEvent &me, std::int64_t tick)
    {
        const auto payload = m_file.payload(me);
        if (me.isMeta(midi::MetaTempo) && payload.size() >= 3) {
            const std::uint32_t tempo =
                (std::uint32_t(payload[0]) << 16) | (std::uint32_t(payload[1]) << 8) | payload[2];
            m_next = {tick, tempo, 0xFF, midi::MetaTempo, 0, TimedEvent::Tempo};
            return true;
        }
        if (me.status == 0xF0) {
            m_pending.assign(1, 0xF0);
            m_pending.insert(m_pending.end(), payload.begin(), payload.end());
        } else if (me.status == 0xF7 && !m_pending.empty()) {
            m_pending.insert(m_pending.end(), payload.begin(), payload.end());
        } else if (me.status == 0xF7) {
            // An escape: only a complete SysEx inside one is of use here.
            if (payload.size() >= 2 && payload.front() == 0xF0)
                m_pending.assign(payload.begin(), payload.end());
        } else {
            return false;
        }
        if (m_pending.empty() || m_pending.back() != 0xF7)
            return false;
        const int index = m_sysEx.keep(std::move(m_pending));
        m_pending.clear();
        if (index < 0)
            return false; // no room left for another message
        m_next = {
            tick, 0, 0xF0, std::uint8_t(index & 0xFF), std::uint8_t(index >> 8), TimedEvent::SysEx};
        return true;
    }

    const MidiFile &m_file;
    MidiEventReader m_reader;
    std::int64_t m_offset;
    SysExStore &m_sysEx;
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

constexpr std::size_t Classes = 6;

// Reads every track at once, a window of ticks at a time: each track gives its
// events of the window in (tick, class) order, the tracks one after the other.
class WindowReader
{
public:
    WindowReader(const MidiFile &file, const std::vector<std::int64_t> &offsets, bool sequential,
                 SysExStore &sysEx)
    {
        m_streams.reserve(offsets.size());
        for (std::size_t i = 0; i < offsets.size(); ++i)
            m_streams.push_back(
                std::make_unique<TrackStream>(file, i, offsets[i], sequential, sysEx));
    }

    // The next window's events into the batch; false once every track has ended.
    bool next(Batch &batch)
    {
        if (!firstTick(&m_from))
            return false;
        const std::int64_t until = m_from > std::numeric_limits<std::int64_t>::max() - m_span
                                       ? std::numeric_limits<std::int64_t>::max()
                                       : m_from + m_span;
        batch.from = m_from;
        batch.span = m_span;
        batch.events.clear();
        for (const auto &s : m_streams)
            s->appendUntil(until, batch.events);
        adaptSpan(batch.events.size());
        m_from = until;
        return true;
    }

private:
    // The earliest tick any track has next; false when all have ended.
    bool firstTick(std::int64_t *tick) const
    {
        bool any = false;
        for (const auto &s : m_streams) {
            if (!s->atEnd() && (!any || s->nextTick() < *tick)) {
                *tick = s->nextTick();
                any = true;
            }
        }
        return any;
    }

    // Windows of some 10^4 events, small enough to stay in the cache; far
    // apart ticks make wide windows (sorted by comparison then).
    void adaptSpan(std::size_t events)
    {
        constexpr std::int64_t MaxSpan = std::int64_t(1) << 40;
        if (events > (1u << 15) && m_span > 1)
            m_span /= 2;
        else if (events < (1u << 13) && m_span < MaxSpan)
            m_span *= 2;
    }

    std::vector<std::unique_ptr<TrackStream>> m_streams;
    std::int64_t m_from = 0;
    std::int64_t m_span = 256;
};

// Where each event of a window goes in time line order, by (tick, class),
// keeping the read order among equals: by a counting sort where the window is
// dense, by a stable comparison sort where it is sparse (ticks far apart), so
// that neither costs more than the window.
class WindowOrder
{
public:
    // place()[i]: the position of the batch's event i within its window.
    const std::vector<std::size_t> &place(const Batch &batch)
    {
        m_place.resize(batch.events.size());
        constexpr std::int64_t DenseSpan = std::int64_t(1) << 18;
        const std::size_t keys = std::size_t(std::min(batch.span, DenseSpan)) * Classes;
        if (batch.span <= DenseSpan && batch.events.size() * 4 >= keys)
            byCounting(batch, keys);
        else
            byComparison(batch.events);
        return m_place;
    }

private:
    void byCounting(const Batch &batch, std::size_t keys)
    {
        const std::vector<Candidate> &window = batch.events;
        const auto key = [&batch](const Candidate &c) {
            return std::size_t(c.tick - batch.from) * Classes + c.eventClass;
        };
        m_slots.assign(keys, 0);
        for (const Candidate &c : window)
            ++m_slots[key(c)];
        std::size_t at = 0;
        for (std::size_t &slot : m_slots) {
            at += slot;
            slot = at - slot;
        }
        for (std::size_t i = 0; i < window.size(); ++i)
            m_place[i] = m_slots[key(window[i])]++;
    }

    void byComparison(const std::vector<Candidate> &window)
    {
        m_order.resize(window.size());
        for (std::size_t i = 0; i < m_order.size(); ++i)
            m_order[i] = i;
        std::stable_sort(m_order.begin(), m_order.end(), [&window](std::size_t a, std::size_t b) {
            const Candidate &x = window[a], &y = window[b];
            return x.tick != y.tick ? x.tick < y.tick : x.eventClass < y.eventClass;
        });
        for (std::size_t k = 0; k < m_order.size(); ++k)
            m_place[m_order[k]] = k;
    }

    std::vector<std::size_t> m_place, m_slots, m_order;
};

// Every instrument a song selects, as its channel messages go by in playing
// order: the bank in force at each program change, and program 0 where a
// channel plays notes before any program change.
class InstrumentFinder
{
public:
    explicit InstrumentFinder(std::vector<MidiInstrument> &found) : m_found(found) {}

    void see(const TimedEvent &e)
    {
        const auto ch = std::uint8_t(e.channel());
        if (e.kind() == 0xB0 && e.data1 == 0) {
            m_msb[ch] = e.data2;
        } else if (e.kind() == 0xB0 && e.data1 == 32) {
            m_lsb[ch] = e.data2;
        } else if (e.kind() == 0xC0) {
            m_programmed.set(ch);
            add({ch, m_msb[ch], m_lsb[ch], e.data1});
        } else if (e.eventClass == TimedEvent::NoteOn && !m_programmed.test(ch)) {
            m_programmed.set(ch);
            add({ch, m_msb[ch], m_lsb[ch], 0});
        }
    }

private:
    void add(MidiInstrument i)
    {
        if (std::find(m_found.begin(), m_found.end(), i) == m_found.end())
            m_found.push_back(i);
    }

    std::vector<MidiInstrument> &m_found;
    std::array<std::uint8_t, 16> m_msb{}, m_lsb{};
    std::bitset<16> m_programmed;
};

// From this many events on, the tracks are read on a second thread.
constexpr std::size_t ReadAheadFrom = std::size_t(1) << 16;

// Runs produce on a thread of its own, filling two batches in turn, while
// consume takes each filled one, in order, on the calling thread. A failure on
// either side ends both and is thrown from run().
template <typename Produce, typename Consume> class ReadAhead
{
public:
    ReadAhead(Produce &produce, Consume &consume) : m_produce(produce), m_consume(consume) {}

    void run()
    {
        std::thread reader;
        try {
            reader = std::thread([this] { produceAll(); });
        } catch (const std::system_error &) {
            // No thread to be had: read and merge in turn.
            while (m_produce(m_batches[0]))
                m_consume(m_batches[0]);
            return;
        }
        try {
            consumeAll();
        } catch (...) {
            {
                std::lock_guard lock(m_mutex);
                m_cancelled = true;
            }
            m_changed.notify_all();
            reader.join();
            throw;
        }
        reader.join();
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    // On the reading thread: fills the batches in turn while there is more.
    void produceAll()
    {
        bool more = true;
        for (std::size_t k = 0; more; ++k) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return !m_full[k % 2] || m_cancelled; });
                if (m_cancelled)
                    return;
            }
            std::exception_ptr error;
            try {
                more = m_produce(m_batches[k % 2]);
            } catch (...) {
                error = std::current_exception();
                more = false;
            }
            {
                std::lock_guard lock(m_mutex);
                m_full[k % 2] = more;
                m_finished = !more;
                m_failure = error;
            }
            m_changed.notify_all();
        }
    }

    // On the calling thread: takes each filled batch in order until the end.
    void consumeAll()
    {
        for (std::size_t k = 0;; ++k) {
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [&] { return m_full[k % 2] || m_finished; });
                if (!m_full[k % 2])
                    return;
            }
            m_consume(m_batches[k % 2]);
            {
                std::lock_guard lock(m_mutex);
                m_full[k % 2] = false;
            }
            m_changed.notify_all();
        }
    }

    Produce &m_produce;
    Consume &m_consume;
    std::array<Batch, 2> m_batches;
    std::array<bool, 2> m_full{};
    bool m_finished = false;  // produce has no more (or failed)
    bool m_cancelled = false; // consume failed
    std::exception_ptr m_failure;
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

} // namespace

// Builds a time line: the tracks read a window of ticks at a time (on a second
// thread for a big song), each window put in order, timed and appended.
class Timeline::Merger
{
public:
    Merger(const MidiFile &file, Timeline &t)
        : m_file(file), m_t(t), m_sysEx(t.m_sysEx), m_instruments(t.m_instruments)
    {}

    void run()
    {
        const std::vector<std::int64_t> offsets = trackOffsets();
        WindowReader reader(m_file, offsets, m_file.format() == 2, m_sysEx);
        m_t.m_events.reserve(eventBound());
        m_t.m_tempo = TempoMap(m_file.division(), {});
        auto produce = [&reader](Batch &batch) {
            return reader.next(batch);
        };
        auto consume = [this](const Batch &batch) {
            append(batch);
        };
        if (eventBound() < ReadAheadFrom) {
            Batch batch;
            while (produce(batch))
                consume(batch);
        } else {
            ReadAhead(produce, consume).run();
        }
        // Little is kept back from the bound in a song of notes; shrinking a
        // large list would copy it, so only a list mostly empty is shrunk.
        if (m_t.m_events.capacity() > 2 * m_t.m_events.size() + 1024)
            m_t.m_events.shrink_to_fit();
        m_t.m_lengthUs = toWholeUs(m_t.m_tempo.toMicroseconds(m_t.m_lengthTicks));
    }

private:
    // Where each track starts (format 2 lays them end to end); sets the length
    // in ticks on the way.
    std::vector<std::int64_t> trackOffsets()
    {
        const bool sequential = m_file.format() == 2;
        std::vector<std::int64_t> offsets(m_file.trackCount(), 0);
        std::int64_t offset = 0;
        for (std::size_t i = 0; i < offsets.size(); ++i) {
            offsets[i] = sequential ? offset : 0;
            const std::int64_t trackEnd = std::max<std::int64_t>(0, m_file.lastTick(i));
            if (sequential)
                offset += trackEnd;
            m_t.m_lengthTicks = std::max(m_t.m_lengthTicks, sequential ? offset : trackEnd);
        }
        return offsets;
    }

    // At most this many events reach the time line (format 2 adds a tempo a track).
    std::size_t eventBound() const
    {
        std::size_t bound = m_file.trackCount();
        for (std::size_t i = 0; i < m_file.trackCount(); ++i)
            bound += m_file.eventCount(i);
        return bound;
    }

    // A window's events put in order in a buffer the cache holds, timed, and
    // appended in one go.
    void append(const Batch &batch)
    {
        const std::vector<Candidate> &window = batch.events;
        const std::vector<std::size_t> &place = m_order.place(batch);
        m_sorted.resize(window.size());
        const std::size_t base = m_t.m_events.size();
        m_tempoSlots.clear();
        for (std::size_t i = 0; i < window.size(); ++i) {
            const Candidate &c = window[i];
            TimedEvent &e = m_sorted[place[i]];
            e.timeUs = c.tick; // until timeEvents() makes it a time
            e.status = c.status;
            e.data1 = c.data1;
            e.data2 = c.data2;
            e.eventClass = c.eventClass;
            if (c.eventClass == TimedEvent::Tempo)
                m_tempoSlots.emplace_back(base + place[i], i);
            else if (c.eventClass != TimedEvent::SysEx)
                m_t.m_channels |= std::uint16_t(1u << (c.status & 0x0F));
        }
        addTempoChanges(window);
        timeEvents();
        m_t.m_events.insert(m_t.m_events.end(), m_sorted.begin(), m_sorted.end());
    }

    // The window's tempo changes, in time line order: every change before the
    // window's end is then known to the tempo map.
    void addTempoChanges(const std::vector<Candidate> &window)
    {
        std::sort(m_tempoSlots.begin(), m_tempoSlots.end());
        for (const auto &[index, i] : m_tempoSlots) {
            m_t.m_tempoEvents.emplace_back(index, window[i].tempo);
            m_t.m_tempo.append(window[i].tick, window[i].tempo);
        }
    }

    // Ticks become times while the window is in the cache; the instruments
    // are found on the way.
    void timeEvents()
    {
        for (TimedEvent &e : m_sorted) {
            if (e.timeUs != m_tick) {
                m_tick = e.timeUs;
                m_us = toWholeUs(m_t.m_tempo.toMicroseconds(m_tick));
            }
            e.timeUs = m_us;
            if (e.eventClass != TimedEvent::Tempo && e.eventClass != TimedEvent::SysEx)
                m_instruments.see(e);
        }
    }

    const MidiFile &m_file;
    Timeline &m_t;
    SysExStore m_sysEx;
    InstrumentFinder m_instruments;
    WindowOrder m_order;
    std::vector<TimedEvent> m_sorted;
    std::vector<std::pair<std::size_t, std::size_t>> m_tempoSlots;  // (event index, window index)
    std::int64_t m_tick = std::numeric_limits<std::int64_t>::min(); // the last tick timed
    std::int64_t m_us = 0;                                          // and its time
};

std::shared_ptr<const Timeline> Timeline::build(const MidiFile &file)
{
    auto timeline = std::make_shared<Timeline>();
    Merger(file, *timeline).run();
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
