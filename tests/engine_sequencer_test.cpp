// The real sequencer device on a hand-stepped clock with a recording output:
// commands, Done codes, Wait, the status cadence, chasing and silence.
#include "engine_helpers.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace enginetest;

namespace {

// Three channels of long, overlapping notes with set-up changes, 4000 ms long
// at 120 bpm (100 ticks per quarter: a tick is 5 ms).
std::vector<std::uint8_t> songBytes()
{
    SmfWriter w(1, 100);
    w.beginTrack();
    w.tempo(0, 500000);
    w.sysEx(0, std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    w.endTrack(800);
    for (int ch = 0; ch < 3; ++ch) {
        w.beginTrack();
        for (int beat = 0; beat < 6; ++beat) {
            const std::int64_t t = beat * 100 + ch * 7;
            w.channel(t, std::uint8_t(0xC0 | ch), std::uint8_t(beat * 8 + ch));
            w.channel(t, std::uint8_t(0xB0 | ch), 7, std::uint8_t(70 + beat));
            w.channel(t, std::uint8_t(0xB0 | ch), 101, 0);
            w.channel(t, std::uint8_t(0xB0 | ch), 100, 0);
            w.channel(t, std::uint8_t(0xB0 | ch), 6, std::uint8_t(2 + beat));
            w.channel(t + 3, std::uint8_t(0xE0 | ch), 0, std::uint8_t(60 + beat));
            w.channel(t + 5, std::uint8_t(0x90 | ch), std::uint8_t(48 + beat + ch * 12), 100);
            w.channel(t + 5, std::uint8_t(0xB0 | ch), 64, beat % 2 ? 0 : 127);
            // Each note lasts a beat and a half: notes always overlap.
            w.channel(t + 5 + 150, std::uint8_t(0x80 | ch), std::uint8_t(48 + beat + ch * 12), 0);
        }
        w.endTrack(800);
    }
    return w.bytes();
}

constexpr qint32 SongMs = 4000;

struct SongRig : Rig
{
    QTemporaryDir dir;
    std::string path = writeFile(dir, "song.mid", songBytes());
    SongRig() { open(path); }
};

} // namespace

TEST(SequencerDevice, AFileThatCannotBeReadOpensNothing)
{
    Rig rig;
    rig.open(corpusPath("jazz-soft/test-not-a-midi-file.mid"));
    EXPECT_EQ(rig.device->Length(), 0);
    EXPECT_EQ(rig.device->Position(), 0);
    EXPECT_FALSE(rig.device->errorString().isEmpty());
    rig.device->setNotify(true);
    rig.command("Play");
    ASSERT_TRUE(pumpUntil([&] { return !rig.done.empty(); }));
    rig.command("Pause");
    rig.command("Stop");
    rig.command("Close");
    rig.advance(100);
    rig.deliver();
    EXPECT_EQ(rig.done, std::vector<int>{8});
}

TEST(SequencerDevice, PlaysToTheEndAndReportsFinishedOnce)
{
    SongRig rig;
    EXPECT_EQ(rig.device->Length(), SongMs);
    rig.device->setNotify(true);
    rig.command("Play");
    rig.advance(1250);
    EXPECT_EQ(rig.device->Position(), 1250);
    rig.advance(SongMs - 1250 - 1);
    rig.deliver();
    EXPECT_TRUE(rig.done.empty());
    rig.advance(1);
    ASSERT_TRUE(pumpUntil([&] { return !rig.done.empty(); }));
    rig.advance(2000);
    rig.deliver();
    EXPECT_EQ(rig.done, std::vector<int>{1});
    EXPECT_EQ(rig.device->Position(), SongMs);
    EXPECT_EQ(hangingNotes(rig.output->messages()), "");
    // Play again without From: it stands at the end and finishes at once.
    rig.command("Play");
    ASSERT_TRUE(pumpUntil([&] { return rig.done.size() == 2; }));
    EXPECT_EQ(rig.done.back(), 1);
}

TEST(SequencerDevice, DoneCodesForSupersededAbortedAndFailedPlays)
{
    SongRig rig;
    rig.device->setNotify(true);
    rig.command("Play");
    rig.command("Play");  // 2 for the first
    rig.command("Pause"); // 4 for the second
    rig.command("Pause"); // resumes: a new notifying play
    rig.advance(100);
    rig.command("Stop"); // 4
    rig.command("Play");
    rig.command("Close"); // 4
    rig.command("Close"); // nothing open: nothing happens
    rig.command("Play");  // 8: nothing to play
    rig.device->setNotify(false);
    rig.open(rig.path);
    rig.command("Play");
    rig.command("Stop"); // not notifying: no Done
    ASSERT_TRUE(pumpUntil([&] { return rig.done.size() >= 5; }));
    rig.advance(200);
    rig.deliver();
    EXPECT_EQ(rig.done, (std::vector<int>{2, 4, 4, 4, 8}));
}

TEST(SequencerDevice, PauseHoldsThePositionAndPauseAgainResumes)
{
    SongRig rig;
    rig.command("Play");
    rig.advance(500);
    rig.command("Pause");
    rig.advance(1000);
    EXPECT_EQ(rig.device->Position(), 500);
    EXPECT_EQ(hangingNotes(rig.output->messages()), "");
    rig.device->setNotify(true);
    rig.command("Pause");
    rig.advance(250);
    EXPECT_EQ(rig.device->Position(), 750);
    rig.advance(SongMs);
    ASSERT_TRUE(pumpUntil([&] { return !rig.done.empty(); }));
    EXPECT_EQ(rig.done, std::vector<int>{1});
    // Stop goes back to the start; Pause on a stopped device does nothing.
    rig.command("Stop");
    rig.command("Pause");
    rig.advance(100);
    EXPECT_EQ(rig.device->Position(), 0);
}

TEST(SequencerDevice, FromAppliesToTheNextCommandOnly)
{
    SongRig rig;
    rig.device->setFrom(1500);
    rig.command("Play");
    EXPECT_EQ(rig.device->Position(), 1500);
    rig.advance(100);
    EXPECT_EQ(rig.device->Position(), 1600);
    rig.device->setFrom(1000);
    rig.command("Stop"); // takes the From with it
    rig.command("Play");
    EXPECT_EQ(rig.device->Position(), 0);
    rig.device->setFrom(SongMs + 5000); // past the end: clamped
    rig.command("Play");
    EXPECT_EQ(rig.device->Position(), SongMs);
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
    rig.device->Command(QStringLiteral("Play"));
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
    SongRig rig;
    const std::vector<std::function<void()>> interruptions = {
        [&] { rig.command("Stop"); },
        [&] { rig.command("Pause"); },
        [&] { rig.command("Play"); },
        [&] {
            rig.device->setFrom(2200);
            rig.command("Play");
        },
        [&] {
            rig.device->setFrom(100);
            rig.command("Play");
        },
        [&] { rig.command("Close"); },
        [&] { rig.open(rig.path); },
    };
    for (std::size_t i = 0; i < interruptions.size(); ++i) {
        rig.open(rig.path);
        rig.command("Play");
        rig.advance(700 + std::int64_t(i) * 37);
        interruptions[i]();
        rig.command("Stop");
        EXPECT_EQ(hangingNotes(rig.output->messages()), "") << "interruption " << i;
    }
}

TEST(SequencerDevice, ASeekLeavesTheChannelStateOfPlayingThere)
{
    QTemporaryDir dir;
    const std::string path = writeFile(dir, "song.mid", songBytes());
    for (qint32 at : {0, 1, 1100, 1563, 3999}) {
        Rig played;
        played.open(path);
        played.command("Play");
        played.advance(at);
        Rig sought;
        sought.open(path);
        sought.device->setFrom(at);
        sought.command("Play");
        const ChaseState a = stateOf(played.output->messages());
        const ChaseState b = stateOf(sought.output->messages());
        EXPECT_TRUE(a == b) << "at " << at << " ms: " << a.differenceFrom(b);
    }
}

TEST(SequencerDevice, DestroyingWhilePlayingSilencesEverything)
{
    auto rig = std::make_unique<SongRig>();
    const auto output = rig->output;
    rig->command("Play");
    rig->advance(900);
    EXPECT_NE(hangingNotes(output->messages()), "");
    rig.reset();
    EXPECT_EQ(hangingNotes(output->messages()), "");
}
