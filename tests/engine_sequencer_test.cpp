// The real sequencer device on a hand-stepped clock with a recording output:
// Done codes, Wait, the status cadence, silence and the chase.
#include "engine/SilentOutput.h"
#include "engine/Timeline.h"
#include "engine_helpers.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace Qt::StringLiterals;

using namespace enginetest;

namespace {

// Three channels that set up every kind of channel state, change it bar by bar
// and meet a GS Reset near the end: 2 s at 120 bpm, then 3 s at 240 bpm.
std::vector<std::uint8_t> songBytes()
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
        const auto n = std::uint8_t(bar);
        w.channel(t, 0xB0 | ch, 0, n);
        w.channel(t, 0xB0 | ch, 32, 1);
        w.channel(t, 0xC0 | ch, std::uint8_t(10 * bar));
        // Volume, modulation, bend range, then an NRPN left selected.
        const std::uint8_t setUp[][2] = {{7, std::uint8_t(60 + n)},
                                         {1, std::uint8_t(3 * n)},
                                         {101, 0},
                                         {100, 0},
                                         {6, std::uint8_t(2 + n)},
                                         {99, 1},
                                         {98, 8},
                                         {6, n},
                                         {38, 5}};
        for (const auto &[cc, value] : setUp)
            w.channel(t, 0xB0 | ch, cc, value);
        w.channel(t + 10, 0xE0 | ch, n, std::uint8_t(64 + bar));
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

constexpr qint32 SongMs = 5000;

bool isControl(const RecordingOutput::Message &m, int cc)
{
    return m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0xB0 && m.bytes[1] == cc;
}

// A message that lets go of a note: note-off, All Notes Off, a pedal up.
bool releases(const RecordingOutput::Message &m)
{
    if (m.bytes.size() != 3 || m.bytes[0] >= 0xF0)
        return false;
    const int kind = m.bytes[0] & 0xF0;
    if (kind == 0x80 || (kind == 0x90 && m.bytes[2] == 0))
        return true;
    return kind == 0xB0 &&
           (m.bytes[1] == 123 ||
            ((m.bytes[1] == 64 || m.bytes[1] == 66 || m.bytes[1] == 69) && m.bytes[2] < 64));
}

// In the messages from `from` on, up to the chase (its first Reset All
// Controllers): the first release that comes after an All Sound Off on its
// channel, described; empty when the cut comes last. A synthesizer may apply
// such a release before the cut and bring the note back.
std::string releaseAfterCut(const std::vector<RecordingOutput::Message> &messages, std::size_t from)
{
    std::uint16_t cut = 0;
    for (std::size_t i = from; i < messages.size() && !isControl(messages[i], 121); ++i) {
        const auto &m = messages[i];
        if (isControl(m, 120))
            cut |= std::uint16_t(1u << (m.bytes[0] & 0x0F));
        else if (releases(m) && (cut & (1u << (m.bytes[0] & 0x0F))))
            return "message " + std::to_string(i - from);
    }
    return {};
}

struct SongRig : Rig
{
    QTemporaryDir dir;
    std::string path = writeFile(dir, "song.mid", songBytes());
    SongRig() { open(path); }
};

} // namespace

TEST(SequencerDevice, DoneCodesAndPositions)
{
    SongRig rig;
    EXPECT_EQ(rig.device->Length(), SongMs);
    rig.device->setNotify(true);
    rig.command("Play");
    rig.command("Play"); // 2 for the first
    rig.advance(500);
    rig.command("Pause"); // 4
    rig.advance(1000);
    EXPECT_EQ(rig.device->Position(), 500);
    rig.command("Pause"); // resumes: a new notifying play
    rig.advance(250);
    EXPECT_EQ(rig.device->Position(), 750);
    rig.command("Stop"); // 4, and back to the start
    EXPECT_EQ(rig.device->Position(), 0);
    rig.device->setFrom(SongMs - 100);
    rig.command("Play");
    rig.advance(99);
    ASSERT_TRUE(pumpUntil([&] { return rig.done.size() >= 3; }));
    EXPECT_EQ(rig.done, (std::vector<int>{2, 4, 4})); // not finished yet
    rig.advance(1);
    ASSERT_TRUE(pumpUntil([&] { return rig.done.size() == 4; }));
    EXPECT_EQ(rig.device->Position(), SongMs);
    rig.command("Play"); // standing at the end: 1 at once
    rig.device->setFrom(0);
    rig.command("Play");
    rig.command("Close"); // 4
    rig.command("Close"); // nothing open: nothing happens
    rig.command("Play");  // 8: nothing to play
    rig.open(corpusPath("jazz-soft/test-not-a-midi-file.mid"));
    EXPECT_EQ(rig.device->Length(), 0);
    EXPECT_FALSE(rig.device->errorString().isEmpty());
    rig.command("Play"); // 8
    rig.device->setNotify(false);
    rig.open(rig.path);
    rig.command("Play");
    rig.command("Stop"); // not notifying: no Done
    ASSERT_TRUE(pumpUntil([&] { return rig.done.size() >= 8; }));
    rig.advance(200);
    rig.deliver();
    EXPECT_EQ(rig.done, (std::vector<int>{2, 4, 4, 1, 1, 4, 8, 8}));
}

TEST(SequencerDevice, WaitReturnsOnlyOnceTheSongHasPlayed)
{
    SongRig rig;
    rig.device->setWait(true);
    std::atomic<bool> returned{false};
    std::thread ticker([&] {
        // Moves time on until Play returns; gives up after 20 s of real time.
        for (int i = 0; i < 20000 && !returned; ++i) {
            rig.clock->advance(10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const std::int64_t started = rig.clock->now();
    rig.device->Command(u"Play"_s);
    returned = true;
    ticker.join();
    EXPECT_GE(rig.clock->now() - started, std::int64_t(SongMs) * 1000);
    EXPECT_EQ(rig.device->Position(), SongMs);
    rig.deliver();
    EXPECT_TRUE(rig.done.empty()); // Notify was off
}

TEST(SequencerDevice, StatusUpdateEverySecondEvenWithNothingOpen)
{
    Rig rig;
    rig.advance(999);
    rig.deliver();
    EXPECT_EQ(rig.statusUpdates, 0);
    rig.advance(1);
    ASSERT_TRUE(pumpUntil([&] { return rig.statusUpdates == 1; }));
    rig.advance(3000);
    ASSERT_TRUE(pumpUntil([&] { return rig.statusUpdates == 4; }));
    // Opening and playing keep the same beat.
    QTemporaryDir dir;
    rig.open(writeFile(dir, "song.mid", songBytes()));
    rig.command("Play");
    rig.advance(999);
    rig.deliver();
    EXPECT_EQ(rig.statusUpdates, 4);
    rig.advance(1);
    ASSERT_TRUE(pumpUntil([&] { return rig.statusUpdates == 5; }));
}

TEST(SequencerDevice, NoNoteHangsAfterAnyInterruption)
{
    using Interruption = std::function<void(std::unique_ptr<SongRig> &)>;
    const std::vector<Interruption> interruptions = {
        [](auto &r) { r->command("Stop"); },
        [](auto &r) { r->command("Pause"); },
        [](auto &r) { r->command("Play"); },
        [](auto &r) {
            r->device->setFrom(2200);
            r->command("Play");
        },
        [](auto &r) {
            r->device->setFrom(100);
            r->command("Play");
        },
        [](auto &r) { r->command("Close"); },
        [](auto &r) { r->open(r->path); },
        [](auto &r) { r.reset(); }, // the player quits
    };
    for (std::size_t i = 0; i < interruptions.size(); ++i) {
        auto rig = std::make_unique<SongRig>();
        const auto output = rig->output;
        rig->command("Play");
        rig->advance(600 + std::int64_t(i) * 20); // while the first note sounds
        ASSERT_NE(hangingNotes(output->messages()), "");
        const std::size_t before = output->messages().size();
        interruptions[i](rig);
        const auto after = output->messages();
        EXPECT_EQ(hangingNotes(after), "") << "interruption " << i;
        EXPECT_TRUE(std::any_of(after.begin() + std::ptrdiff_t(before), after.end(),
                                [](const auto &m) { return isControl(m, 120); }))
            << "interruption " << i << " cut nothing";
        EXPECT_EQ(releaseAfterCut(after, before), "") << "interruption " << i;
    }
}

// At the song's own end the notes are released and ring out: no All Sound Off
// until a command asks for silence.
TEST(SequencerDevice, TheSongsEndReleasesALaterCommandCuts)
{
    SongRig rig;
    rig.device->setFrom(SongMs - 1000);
    rig.command("Play");
    const auto cuts = [&rig] {
        const auto m = rig.output->messages();
        return std::count_if(m.begin(), m.end(), [](const auto &x) { return isControl(x, 120); });
    };
    const auto before = cuts();
    rig.advance(1000);
    EXPECT_EQ(rig.device->Position(), SongMs);
    EXPECT_EQ(hangingNotes(rig.output->messages()), "");
    EXPECT_EQ(cuts(), before);
    rig.command("Close");
    EXPECT_GT(cuts(), before);
}

// The done callback runs without the scheduler's lock, so it may ask the
// scheduler about its state; codes arrive in the order the plays ended.
TEST(Scheduler, DoneCallbackMayCallBackIn)
{
    auto clock = std::make_shared<ManualClock>();
    std::unique_ptr<Scheduler> scheduler;
    std::vector<std::pair<int, Scheduler::Mode>> seen;
    Scheduler::Callbacks callbacks;
    callbacks.done = [&](int code) {
        seen.emplace_back(code, scheduler->mode());
    };
    scheduler = std::make_unique<Scheduler>(std::make_shared<SilentOutput>(), clock, callbacks);
    clock->waitForIdle();
    scheduler->play(0, true); // nothing open
    scheduler->load(Timeline::build(MidiFile::parse(songBytes())));
    scheduler->play(0, true);
    scheduler->play(0, true);
    scheduler->stop();
    using M = Scheduler::Mode;
    EXPECT_EQ(seen,
              (std::vector<std::pair<int, M>>{{8, M::Closed}, {2, M::Playing}, {4, M::Stopped}}));
}

// Getting ready may take a while (here the sound takes 80 ms to cut): the
// song then starts once ready, and nothing goes out late in a burst.
TEST(Scheduler, ASlowStartSendsNothingLate)
{
    struct SlowToCut : SilentOutput
    {
        std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
        void cutSound(std::uint16_t) override { clock->advance(80000); }
    };
    auto output = std::make_shared<SlowToCut>();
    const auto clock = output->clock;
    std::vector<std::int64_t> lateness;
    Scheduler::Callbacks callbacks;
    callbacks.dispatched = [&](std::int64_t due, std::int64_t sent) {
        lateness.push_back(sent - due);
    };
    Scheduler scheduler(output, clock, callbacks);
    clock->waitForIdle();
    scheduler.load(Timeline::build(MidiFile::parse(songBytes())));
    clock->waitForIdle();
    // Each start a little before a bar, whose set-up then falls within the cut.
    for (std::int64_t from : {0, 950000, 2450000}) {
        scheduler.play(from, false);
        clock->waitForIdle();
        for (int ms = 0; ms < 200; ++ms) {
            clock->advance(1000);
            clock->waitForIdle();
        }
        EXPECT_EQ(scheduler.positionUs(), from + 200000);
    }
    ASSERT_GT(lateness.size(), 20u);
    EXPECT_LT(*std::max_element(lateness.begin(), lateness.end()), 1000); // within a step
}

// A seek anywhere, forward or back, leaves the channel state that playing from
// the start up to there leaves.
TEST(SequencerDevice, ASeekLeavesTheChannelStateOfPlayingThere)
{
    SongRig sought;
    for (qint32 at : {4990, 0, 2600, 1100, 4700, 1, 3900, 2000}) {
        SongRig played;
        played.command("Play");
        played.advance(at);
        sought.device->setFrom(at);
        sought.command("Play");
        const ChaseState a = stateOf(played.output->messages());
        const ChaseState b = stateOf(sought.output->messages());
        EXPECT_TRUE(a == b) << "at " << at << " ms: " << a.differenceFrom(b);
    }
}

// A new output (the user chose another sound) takes the song on where it
// stood: the old one is left with nothing sounding, the new one gets the
// channel state of playing there, a pause stays a pause, and the notified
// play still ends with its own Done.
TEST(SequencerDevice, ANewOutputTakesTheSongOnWhereItStood)
{
    SongRig played;
    played.command("Play");
    played.advance(1300);

    SongRig rig;
    const auto recorder = [&rig] {
        return std::make_shared<RecordingOutput>([c = rig.clock] { return c->now(); });
    };
    const auto noteOns = [](const std::shared_ptr<RecordingOutput> &output) {
        const auto messages = output->messages();
        return std::count_if(messages.begin(), messages.end(), [](const auto &m) {
            return m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] != 0;
        });
    };
    rig.device->setNotify(true);
    rig.command("Play");
    rig.advance(1300);
    const auto second = recorder();
    rig.device->replaceOutput(second);
    rig.clock->waitForIdle();
    EXPECT_EQ(rig.device->Position(), 1300);
    EXPECT_EQ(hangingNotes(rig.output->messages()), "");
    const ChaseState a = stateOf(played.output->messages());
    const ChaseState b = stateOf(second->messages());
    EXPECT_TRUE(a == b) << a.differenceFrom(b);

    rig.command("Pause");
    const auto third = recorder();
    rig.device->replaceOutput(third);
    rig.clock->waitForIdle();
    EXPECT_TRUE(rig.device->isPaused());
    rig.advance(500);
    EXPECT_EQ(rig.device->Position(), 1300);
    EXPECT_EQ(noteOns(third), 0);

    rig.command("Pause"); // resumes
    rig.advance(SongMs - 1300);
    EXPECT_GT(noteOns(third), 0);
    ASSERT_TRUE(pumpUntil([&] { return rig.done.size() == 2; }));
    EXPECT_EQ(rig.done, (std::vector<int>{4, 1}));
}
