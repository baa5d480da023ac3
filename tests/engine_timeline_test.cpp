// Tempo map, the order of events on one tick, and the chase.
#include "engine_helpers.h"
#include "playback/Timeline.h"

#include <gtest/gtest.h>
#include <random>

using namespace enginetest;

TEST(TempoMap, TicksAndTimeRoundTripThroughEveryChange)
{
    MidiDivision d;
    d.ticksPerQuarter = 480;
    const TempoMap map(d, {{0, 500000}, {960, 1000000}, {961, 333333}, {5000, 7}, {5000, 250000}});
    EXPECT_NEAR(map.toMicroseconds(480), 500000, 1e-6);
    EXPECT_NEAR(map.toMicroseconds(960), 1000000, 1e-6);
    EXPECT_NEAR(map.toMicroseconds(1440), 1000000 + 1000000 / 480.0 + 479 * 333333 / 480.0, 1e-6);
    // The later change at tick 5000 wins.
    EXPECT_DOUBLE_EQ(map.microsecondsPerTick(6000), 250000 / 480.0);
    double previous = -1;
    for (std::int64_t tick = 0; tick < 8000; ++tick) {
        const double us = map.toMicroseconds(tick);
        EXPECT_GT(us, previous);
        previous = us;
        ASSERT_EQ(map.toTick(us), tick);
        ASSERT_EQ(map.toTick(us + 0.4), tick); // a time between ticks belongs to the earlier
    }
}

TEST(TempoMap, ZeroTempoAndHugeTimesStayDefined)
{
    MidiDivision d;
    d.ticksPerQuarter = 1;
    const TempoMap map(d, {{0, 0}, {10, 0xFFFFFF}});
    EXPECT_DOUBLE_EQ(map.toMicroseconds(10), 10 * 500000.0); // tempo 0 ignored
    const std::int64_t far = std::int64_t(1) << 40;
    EXPECT_EQ(map.toTick(map.toMicroseconds(far)), far);
}

namespace {

// A two-track file where many events of every class meet on the same ticks.
std::shared_ptr<const Timeline> crowdedTimeline()
{
    SmfWriter w(1, 96);
    std::mt19937 rng(7);
    for (int track = 0; track < 3; ++track) {
        w.beginTrack();
        for (int tick = 0; tick < 96 * 8; tick += 48) {
            for (int i = 0; i < 6; ++i) {
                const int ch = int(rng() % 3);
                const auto key = std::uint8_t(60 + rng() % 4);
                switch (rng() % 6) {
                case 0:
                    w.channel(tick, std::uint8_t(0x90 | ch), key, 100);
                    break;
                case 1:
                    w.channel(tick, std::uint8_t(0x80 | ch), key, 0);
                    break;
                case 2:
                    w.channel(tick, std::uint8_t(0xB0 | ch), 7, std::uint8_t(rng() % 128));
                    break;
                case 3:
                    w.channel(tick, std::uint8_t(0xC0 | ch), std::uint8_t(rng() % 128));
                    break;
                case 4:
                    w.tempo(tick, 400000 + rng() % 200000);
                    break;
                default:
                    w.sysEx(tick, std::vector<std::uint8_t>{0xF0, 0x7D, std::uint8_t(i), 0xF7});
                    break;
                }
            }
            // A zero-length note: on and off of one key on one tick.
            w.channel(tick, 0x93, 70, 90);
            w.channel(tick, 0x83, 70, 0);
        }
        w.endTrack(96 * 8);
    }
    const MidiFile f = MidiFile::parse(w.bytes());
    EXPECT_TRUE(f.ok());
    return Timeline::build(f);
}

} // namespace

TEST(TimelineOrder, SameTickEventsFollowTheWrittenOrder)
{
    const auto t = crowdedTimeline();
    const auto &events = t->events();
    ASSERT_GT(events.size(), 300u);
    for (std::size_t i = 1; i < events.size(); ++i) {
        const TimedEvent &a = events[i - 1];
        const TimedEvent &b = events[i];
        ASSERT_LE(a.tick, b.tick);
        ASSERT_LE(a.timeUs, b.timeUs);
        if (a.tick != b.tick)
            continue;
        // Tempo, SysEx, other channel messages, note-offs, note-ons, then the
        // note-offs of zero-length notes; track order within a class.
        ASSERT_LE(a.eventClass, b.eventClass) << "at " << i;
        if (a.eventClass == b.eventClass) {
            ASSERT_LE(a.track, b.track) << "at " << i;
        }
    }
    // Every zero-length note still ends after it began.
    for (std::size_t i = 0; i < events.size(); ++i) {
        const TimedEvent &e = events[i];
        if (e.eventClass == TimedEvent::NoteOn && e.status == 0x93 && e.data1 == 70) {
            bool ended = false;
            for (std::size_t j = i + 1; j < events.size() && events[j].tick == e.tick; ++j)
                ended |= events[j].status == 0x83 && events[j].data1 == 70;
            EXPECT_TRUE(ended) << "tick " << e.tick;
        }
    }
}

TEST(TimelineOrder, ContinuedSysExIsJoined)
{
    SmfWriter w(0, 96);
    w.beginTrack();
    w.raw(std::vector<std::uint8_t>{0, 0xF0, 3, 0x43, 0x10, 0x4C}); // no F7 yet
    w.raw(std::vector<std::uint8_t>{5, 0xF7, 4, 0x00, 0x00, 0x7E, 0xF7});
    w.raw(std::vector<std::uint8_t>{0, 0xF7, 2, 0xF8, 0xFA}); // a bare escape: not for a synth
    w.endTrack(10);
    const MidiFile f = MidiFile::parse(w.bytes());
    ASSERT_TRUE(f.ok());
    const auto t = Timeline::build(f);
    ASSERT_EQ(t->events().size(), 1u);
    const auto sysex = t->sysEx(t->events()[0]);
    const std::vector<std::uint8_t> expected = {0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0xF7};
    EXPECT_EQ(std::vector<std::uint8_t>(sysex.begin(), sysex.end()), expected);
    EXPECT_EQ(t->events()[0].tick, 5);
}

namespace {

// A song that sets up every kind of channel state, changes it midway and
// resets it with GS Reset near the end.
std::vector<std::uint8_t> setUpSong()
{
    SmfWriter w(1, 96);
    w.beginTrack();
    w.tempo(0, 500000);
    w.sysEx(0, std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    w.tempo(384, 250000);
    w.endTrack(1536);
    w.beginTrack();
    std::int64_t t = 0;
    for (int bar = 0; bar < 8; ++bar, t += 192) {
        const auto ch = std::uint8_t(bar % 3);
        w.channel(t, 0xB0 | ch, 0, std::uint8_t(bar));
        w.channel(t, 0xB0 | ch, 32, 1);
        w.channel(t, 0xC0 | ch, std::uint8_t(10 * bar));
        w.channel(t, 0xB0 | ch, 7, std::uint8_t(60 + bar));
        w.channel(t, 0xB0 | ch, 1, std::uint8_t(bar * 3));
        w.channel(t, 0xB0 | ch, 101, 0); // pitch bend range
        w.channel(t, 0xB0 | ch, 100, 0);
        w.channel(t, 0xB0 | ch, 6, std::uint8_t(2 + bar));
        w.channel(t, 0xB0 | ch, 99, 1); // an NRPN, left selected
        w.channel(t, 0xB0 | ch, 98, 8);
        w.channel(t, 0xB0 | ch, 6, std::uint8_t(bar));
        w.channel(t, 0xB0 | ch, 38, 5);
        w.channel(t + 10, 0xE0 | ch, std::uint8_t(bar), std::uint8_t(64 + bar));
        w.channel(t + 10, 0xD0 | ch, std::uint8_t(bar * 5));
        w.channel(t + 20, 0x90 | ch, 60, 100);
        w.channel(t + 20, 0xB0 | ch, 64, 127);
        w.channel(t + 150, 0x80 | ch, 60, 0);
        w.channel(t + 160, 0xB0 | ch, 64, 0);
        if (bar == 5)
            w.channel(t + 170, 0xB0 | ch, 121, 0);
    }
    w.sysEx(1400, std::vector<std::uint8_t>{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00,
                                            0x41, 0xF7});
    w.channel(1410, 0xC1, 33);
    w.endTrack(1536);
    return w.bytes();
}

std::vector<RecordingOutput::Message> emitted(const ChaseState &state, const Timeline &t,
                                              const ChaseState &touched)
{
    RecordingOutput out;
    state.emit(out, t.channelsUsed(), touched);
    return out.messages();
}

} // namespace

// Chasing to any point leaves the same channel state as playing up to it
// from the start (which itself begins with the chase to time 0).
TEST(Chase, JumpingAnywhereLeavesTheStatePlayingThereWould)
{
    const MidiFile f = MidiFile::parse(setUpSong());
    ASSERT_TRUE(f.ok());
    const auto t = Timeline::build(f);
    ChaseState touched;
    touched.applyUntil(*t, t->events().size());

    ChaseState played = stateOf(emitted(ChaseState(), *t, touched));
    for (std::size_t cut = 0; cut <= t->events().size(); ++cut) {
        ChaseState at;
        at.applyUntil(*t, cut);
        const ChaseState chased = stateOf(emitted(at, *t, touched));
        ASSERT_TRUE(chased == played)
            << "after " << cut << " events: " << chased.differenceFrom(played);
        if (cut < t->events().size())
            played.apply(*t, t->events()[cut]);
    }
}

TEST(Chase, AJumpBackRestoresPowerOnValues)
{
    const MidiFile f = MidiFile::parse(setUpSong());
    const auto t = Timeline::build(f);
    ChaseState touched;
    touched.applyUntil(*t, t->events().size());
    // Before anything played: program 0, volume 100, no bend, bend range 2.
    std::vector<std::vector<std::uint8_t>> sent;
    for (const auto &m : emitted(ChaseState(), *t, touched))
        sent.push_back(m.bytes);
    auto sends = [&sent](std::vector<std::vector<std::uint8_t>> run) {
        return std::search(sent.begin(), sent.end(), run.begin(), run.end()) != sent.end();
    };
    EXPECT_TRUE(sends({{0xC0, 0}}));
    EXPECT_TRUE(sends({{0xB0, 7, 100}}));
    EXPECT_TRUE(sends({{0xB0, 101, 0}, {0xB0, 100, 0}, {0xB0, 6, 2}, {0xB0, 38, 0}}));
    EXPECT_TRUE(sends({{0xE0, 0, 64}}));
    EXPECT_FALSE(sends({{0xC5, 0}})); // channel 5 is not used
}

TEST(SoundingNotes, SilencesExactlyWhatSounded)
{
    SoundingNotes notes;
    notes.track(0x90, 60, 100);
    notes.track(0x90, 60, 100); // the same key twice
    notes.track(0x91, 64, 100);
    notes.track(0x91, 64, 0); // ended by velocity 0
    notes.track(0xB2, 64, 127);
    RecordingOutput out;
    notes.silence(out, 0x0001);
    std::vector<std::vector<std::uint8_t>> sent;
    for (const auto &m : out.messages())
        sent.push_back(m.bytes);
    const std::vector<std::vector<std::uint8_t>> expected = {
        {0x80, 60, 0},  {0x80, 60, 0},  {0xB2, 64, 0},  {0xB0, 123, 0},
        {0xB0, 120, 0}, {0xB1, 123, 0}, {0xB1, 120, 0},
    };
    EXPECT_EQ(sent, expected);
    EXPECT_FALSE(notes.anySounding());
}

TEST(Timeline, ListsEachInstrumentWithTheBankInForce)
{
    const MidiFile f = MidiFile::parse(setUpSong());
    const auto t = Timeline::build(f);
    const auto &list = t->instruments();
    ASSERT_EQ(list.size(), 9u);
    EXPECT_EQ(list.front(), (MidiInstrument{0, 0, 1, 0}));
    EXPECT_EQ(list[7], (MidiInstrument{1, 7, 1, 70}));
    EXPECT_EQ(list.back(), (MidiInstrument{1, 7, 1, 33}));
}
