// Merges the tracks of a file into one ordered, timed list; see Timeline.h.
#include "engine/Timeline.h"

#include <algorithm>
#include <array>
#include <bitset>
#include <cmath>

namespace {

std::int64_t toWholeUs(double us)
{
    // Absurd tempos and deltas can reach times no clock will ever see; clamp
    // them far beyond any song so integer arithmetic on them stays defined.
    constexpr double limit = 1e17;
    return static_cast<std::int64_t>(std::llround(std::clamp(us, 0.0, limit)));
}

} // namespace

std::shared_ptr<const Timeline> Timeline::build(const MidiFile &file)
{
    auto timeline = std::make_shared<Timeline>();
    Timeline &t = *timeline;
    const bool sequential = file.format() == 2;
    std::int64_t offset = 0;

    for (std::size_t ti = 0; ti < file.tracks().size(); ++ti) {
        const MidiTrack &track = file.tracks()[ti];
        const auto trackIndex = std::uint32_t(ti);
        if (sequential) {
            // Each pattern of a format 2 file starts at the default tempo.
            TimedEvent e;
            e.tick = offset;
            e.status = 0xFF;
            e.data1 = midi::MetaTempo;
            e.eventClass = TimedEvent::Tempo;
            e.track = trackIndex;
            e.tempo = midi::DefaultTempo;
            t.m_events.push_back(e);
        }

        std::int64_t trackEnd = 0;
        std::int64_t currentTick = -1;
        std::bitset<16 * 128> onsAtTick;   // note-ons of this track at currentTick
        std::vector<std::uint8_t> pending; // a SysEx waiting for its continuation
        for (const MidiEvent &me : track.events) {
            trackEnd = std::max(trackEnd, me.tick);
            TimedEvent e;
            e.tick = me.tick + offset;
            e.track = trackIndex;
            if (e.tick != currentTick) {
                currentTick = e.tick;
                onsAtTick.reset();
            }
            if (me.isChannel()) {
                e.status = me.status;
                e.data1 = me.data1;
                e.data2 = me.data2;
                const std::size_t key = std::size_t(me.status & 0x0F) * 128 + me.data1;
                const int kind = me.status & 0xF0;
                if (kind == 0x90 && me.data2 > 0) {
                    e.eventClass = TimedEvent::NoteOn;
                    onsAtTick.set(key);
                } else if (kind == 0x80 || kind == 0x90) {
                    e.eventClass =
                        onsAtTick.test(key) ? TimedEvent::LateNoteOff : TimedEvent::NoteOff;
                    onsAtTick.reset(key);
                } else {
                    e.eventClass = TimedEvent::Control;
                }
                t.m_channels |= std::uint16_t(1u << (me.status & 0x0F));
                t.m_events.push_back(e);
                continue;
            }
            const auto payload = file.payload(me);
            if (me.status == 0xF0) {
                pending.assign(1, 0xF0);
                pending.insert(pending.end(), payload.begin(), payload.end());
            } else if (me.status == 0xF7) {
                if (pending.empty()) {
                    // An escape: only a complete SysEx inside one is of use here.
                    if (payload.size() >= 2 && payload.front() == 0xF0)
                        pending.assign(payload.begin(), payload.end());
                } else {
                    pending.insert(pending.end(), payload.begin(), payload.end());
                }
            } else if (me.isMeta(midi::MetaTempo) && payload.size() >= 3) {
                e.status = 0xFF;
                e.data1 = midi::MetaTempo;
                e.eventClass = TimedEvent::Tempo;
                e.tempo = (std::uint32_t(payload[0]) << 16) | (std::uint32_t(payload[1]) << 8) |
                          payload[2];
                t.m_events.push_back(e);
                continue;
            } else {
                continue;
            }
            if (!pending.empty() && pending.back() == 0xF7) {
                e.status = 0xF0;
                e.eventClass = TimedEvent::SysEx;
                e.sysEx = std::uint32_t(t.m_sysEx.size());
                t.m_sysEx.push_back(std::move(pending));
                pending.clear();
                t.m_events.push_back(e);
            }
        }
        if (sequential)
            offset += trackEnd;
        t.m_lengthTicks = std::max(t.m_lengthTicks, sequential ? offset : trackEnd);
    }

    std::stable_sort(t.m_events.begin(), t.m_events.end(),
                     [](const TimedEvent &a, const TimedEvent &b) {
                         return a.tick != b.tick ? a.tick < b.tick : a.eventClass < b.eventClass;
                     });

    std::vector<std::pair<std::int64_t, std::uint32_t>> changes;
    for (const TimedEvent &e : t.m_events) {
        if (e.eventClass == TimedEvent::Tempo)
            changes.emplace_back(e.tick, e.tempo);
    }
    t.m_tempo = TempoMap(file.division(), changes);
    for (TimedEvent &e : t.m_events)
        e.timeUs = toWholeUs(t.m_tempo.toMicroseconds(e.tick));
    t.collectInstruments();
    t.m_lengthUs = toWholeUs(t.m_tempo.toMicroseconds(t.m_lengthTicks));
    return timeline;
}

void Timeline::collectInstruments()
{
    std::array<std::uint8_t, 16> msb{}, lsb{};
    std::bitset<16> programmed;
    auto add = [this](MidiInstrument i) {
        if (std::find(m_instruments.begin(), m_instruments.end(), i) == m_instruments.end())
            m_instruments.push_back(i);
    };
    for (const TimedEvent &e : m_events) {
        if (e.eventClass == TimedEvent::Tempo || e.eventClass == TimedEvent::SysEx)
            continue;
        const auto ch = std::uint8_t(e.channel());
        if (e.kind() == 0xB0 && e.data1 == 0)
            msb[ch] = e.data2;
        else if (e.kind() == 0xB0 && e.data1 == 32)
            lsb[ch] = e.data2;
        else if (e.kind() == 0xC0) {
            programmed.set(ch);
            add({ch, msb[ch], lsb[ch], e.data1});
        } else if (e.eventClass == TimedEvent::NoteOn && !programmed.test(ch)) {
            programmed.set(ch);
            add({ch, msb[ch], lsb[ch], 0});
        }
    }
}

std::size_t Timeline::indexAt(std::int64_t timeUs) const
{
    return std::size_t(
        std::lower_bound(m_events.begin(), m_events.end(), timeUs,
                         [](const TimedEvent &e, std::int64_t us) { return e.timeUs < us; }) -
        m_events.begin());
}
