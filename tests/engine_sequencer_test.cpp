// The real sequencer device on a hand-stepped clock with a recording output:
// Done codes, the status cadence, the song's end, the chase, and opening on a
// worker with a prelude and the song's words. (Wait is heard in
// engine_synth_test: a song played with it rings out whole.)
#include "engine/Chase.h"
#include "engine/Clock.h"
#include "engine/MidiSequencer.h"
#include "engine/RecordingOutput.h"
#include "engine/SilentOutput.h"
#include "engine/Timeline.h"
#include "support/ProgramRun.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <map>

using namespace Qt::StringLiterals;

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
        // A bank, volume, modulation, bend range, then an NRPN left selected.
        const std::pair<int, int> setUp[] = {{0, n},   {32, 1},  {7, 60 + n}, {1, 3 * n},
                                             {101, 0}, {100, 0}, {6, 2 + n},  {99, 1},
                                             {98, 8},  {6, n},   {38, 5}};
        for (const auto &[cc, value] : setUp)
            w.channel(t, 0xB0 | ch, std::uint8_t(cc), std::uint8_t(value));
        w.channel(t, 0xC0 | ch, std::uint8_t(10 * bar));
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

using Messages = std::vector<RecordingOutput::Message>;

// The first note left sounding: a note-on not followed, on its channel, by its
// note-off, All Notes Off or All Sound Off; empty when there is none.
std::string hangingNote(const Messages &messages)
{
    std::map<std::pair<int, int>, int> on; // (channel, key): how many sound
    for (const auto &m : messages) {
        if (m.bytes.size() < 3 || m.bytes[0] >= 0xF0)
            continue;
        const int kind = m.bytes[0] & 0xF0, ch = m.bytes[0] & 0x0F, key = m.bytes[1];
        if (kind == 0x90 && m.bytes[2] > 0)
            ++on[{ch, key}];
        else if ((kind == 0x80 || kind == 0x90) && on[{ch, key}] > 0)
            --on[{ch, key}];
        else if (kind == 0xB0 && (key == 123 || key == 120))
            std::erase_if(on, [&](const auto &note) { return note.first.first == ch; });
    }
    for (const auto &[note, count] : on) {
        if (count > 0)
            return "channel " + std::to_string(note.first) + " key " + std::to_string(note.second);
    }
    return {};
}

// The channel state a stream of messages leaves behind.
ChaseState stateOf(const Messages &messages)
{
    ChaseState state;
    for (const auto &m : messages) {
        if (!m.bytes.empty() && m.bytes[0] == 0xF0)
            state.applySysEx(m.bytes);
        else if (!m.bytes.empty() && m.bytes[0] < 0xF0)
            state.apply(m.bytes[0], m.bytes.size() > 1 ? m.bytes[1] : 0,
                        m.bytes.size() > 2 ? m.bytes[2] : 0);
    }
    return state;
}

// A recording output on the test's clock whose released notes ring until the
// test says they have died away (at once unless told otherwise), for 2 s at
// most, and whose cuts take as long on the clock as the test says.
struct RingingOutput : RecordingOutput
{
    explicit RingingOutput(std::shared_ptr<ManualClock> c)
        : RecordingOutput([c] { return c->now(); }), clock(std::move(c))
    {}
    std::int64_t ringOutLimitUs() const override { return 2000000; }
    bool diedAway() override { return silent; }
    void cutSound(std::uint16_t channels) override
    {
        clock->advance(cutUs);
        ++cuts;
        RecordingOutput::cutSound(channels);
    }
    std::shared_ptr<ManualClock> clock;
    std::atomic<int> cuts{0};
    std::atomic<bool> silent{true};
    std::atomic<std::int64_t> cutUs{0};
};

// The real device on the song, on a hand-stepped clock, recording what it sends.
struct Rig
{
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(1000000);
    std::shared_ptr<RingingOutput> output = std::make_shared<RingingOutput>(clock);
    std::unique_ptr<MidiSequencer> device = std::make_unique<MidiSequencer>(output, clock);
    QTemporaryDir dir;
    QString path = writeBytes(dir.filePath(u"song.mid"_s), songBytes());
    std::vector<int> done;
    int statusUpdates = 0;

    explicit Rig(bool openSong = true)
    {
        QObject::connect(device.get(), &SequencerDevice::Done,
                         [this](int code) { done.push_back(code); });
        QObject::connect(device.get(), &SequencerDevice::StatusUpdate, [this] { ++statusUpdates; });
        clock->waitForIdle();
        if (openSong)
            open(path);
    }
    // Steps the clock in steps of at most stepMs, each time waiting until the
    // playback thread has done everything due.
    void advance(std::int64_t ms, std::int64_t stepMs = 50)
    {
        for (; ms > 0; ms -= stepMs) {
            clock->advance(std::min(ms, stepMs) * 1000);
            clock->waitForIdle();
        }
    }
    void command(const char *name)
    {
        device->Command(QString::fromLatin1(name));
        clock->waitForIdle();
    }
    // Opens and waits until the file is read.
    void open(const QString &file)
    {
        device->setFileName(file);
        device->Command(u"Open"_s);
        EXPECT_TRUE(deliverUntil([&] { return !device->isOpening(); }));
        clock->waitForIdle();
    }
    // Delivers the queued Done and StatusUpdate events.
    static void deliver() { QCoreApplication::processEvents(); }
    static bool deliverUntil(const std::function<bool()> &enough)
    {
        return ProgramRun::waitFor(enough, 5000);
    }
};

// The channel state that playing the song from its start up to `at` ms leaves.
ChaseState playedTo(qint32 at)
{
    Rig played;
    played.command("Play");
    played.advance(at);
    return stateOf(played.output->messages());
}

} // namespace

// Done codes and positions through every command; the status beat keeps to
// whole seconds of the clock, with a song playing as with nothing open.
TEST(SequencerDevice, DoneCodesPositionsAndTheStatusBeat)
{
    Rig rig;
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
    ASSERT_TRUE(rig.deliverUntil([&] { return rig.done.size() >= 3; }));
    EXPECT_EQ(rig.done, (std::vector<int>{2, 4, 4})); // not finished yet
    rig.advance(1);
    ASSERT_TRUE(rig.deliverUntil([&] { return rig.done.size() == 4; }));
    EXPECT_EQ(rig.device->Position(), SongMs);
    rig.command("Play"); // standing at the end: 1 at once
    rig.device->setFrom(0);
    rig.command("Play");
    rig.command("Close"); // 4
    rig.command("Close"); // nothing open: nothing happens
    rig.command("Play");  // 8: nothing to play
    rig.open(QStringLiteral(SONABEL_CORPUS_DIR "/jazz-soft/test-not-a-midi-file.mid"));
    EXPECT_EQ(rig.device->Length(), 0);
    EXPECT_FALSE(rig.device->errorString().isEmpty());
    rig.command("Play"); // 8
    rig.device->setNotify(false);
    rig.open(rig.path);
    rig.command("Play");
    rig.command("Stop"); // not notifying: no Done
    ASSERT_TRUE(rig.deliverUntil([&] { return rig.done.size() >= 8; }));
    rig.advance(200);
    rig.deliver();
    EXPECT_EQ(rig.done, (std::vector<int>{2, 4, 4, 1, 1, 4, 8, 8}));

    rig.command("Play"); // 50 ms after a beat
    for (const int ms : {950, 1000}) {
        rig.deliver();
        const int before = rig.statusUpdates;
        rig.advance(ms - 1);
        rig.deliver();
        EXPECT_EQ(rig.statusUpdates, before);
        rig.advance(1);
        ASSERT_TRUE(rig.deliverUntil([&] { return rig.statusUpdates == before + 1; }));
        rig.command("Close");
    }
}

// At the song's own end the notes ring out: the position holds the length and
// the notified play ends (Done 1) once the output says the sound has died
// away, or its limit has passed. (That the release is heard whole before the
// next song is in engine_synth_test.) Any command meanwhile cuts the sound and
// ends the play as it would a playing one.
TEST(SequencerDevice, TheSongsEndRingsOutUntilTheSoundHasDiedAway)
{
    Rig rig;
    rig.device->setNotify(true);
    const auto playToTheEnd = [&] {
        rig.output->silent = false;
        rig.device->setFrom(SongMs - 1000);
        rig.command("Play");
        rig.advance(1000);
        rig.deliver();
        EXPECT_EQ(rig.device->Position(), SongMs);
        EXPECT_TRUE(rig.device->isRingingOut());
    };
    playToTheEnd(); // a sound that never dies away rings for the output's limit
    rig.advance(1950);
    rig.deliver();
    EXPECT_TRUE(rig.done.empty());
    rig.advance(50);
    ASSERT_TRUE(rig.deliverUntil([&] { return rig.done.size() == 1; }));
    EXPECT_FALSE(rig.device->isRingingOut());

    for (const char *command : {"Pause", "Stop", "Play", "Close"}) {
        rig.open(rig.path);
        playToTheEnd();
        const int cuts = rig.output->cuts;
        const auto count = rig.done.size();
        rig.device->setFrom(0); // a "Play" from the start, the others ignore it
        rig.command(command);
        ASSERT_TRUE(rig.deliverUntil([&] { return rig.done.size() == count + 1; })) << command;
        EXPECT_EQ(rig.done.back(), command == std::string("Play") ? 2 : 4) << command;
        EXPECT_GT(rig.output->cuts, cuts) << command;
        EXPECT_FALSE(rig.device->isRingingOut()) << command;
        EXPECT_FALSE(rig.device->isPaused()) << command;
    }
}

// Getting ready may take a while (here the sound takes 80 ms to cut): the
// song then starts once ready, and nothing goes out late in a burst.
TEST(SequencerDevice, ASlowStartSendsNothingLate)
{
    Rig rig;
    std::vector<std::int64_t> lateness;
    rig.device->setDispatchProbe(
        [&](std::int64_t due, std::int64_t sent) { lateness.push_back(sent - due); });
    rig.output->cutUs = 80000;
    // Each start a little before a bar, whose set-up then falls within the cut.
    for (qint32 from : {0, 950, 2450}) {
        rig.device->setFrom(from);
        rig.command("Play");
        rig.advance(200, 1);
        EXPECT_EQ(rig.device->Position(), from + 200);
    }
    ASSERT_GT(lateness.size(), 20u);
    EXPECT_LT(*std::max_element(lateness.begin(), lateness.end()), 1000); // within a step
}

// A seek anywhere, forward or back, leaves the channel state that playing from
// the start up to there leaves.
TEST(SequencerDevice, ASeekLeavesTheChannelStateOfPlayingThere)
{
    Rig sought;
    for (qint32 at : {4990, 0, 2600, 1100, 4700, 1, 3900, 2000}) {
        sought.device->setFrom(at);
        sought.command("Play");
        const ChaseState a = playedTo(at), b = stateOf(sought.output->messages());
        EXPECT_TRUE(a == b) << "at " << at << " ms: " << a.differenceFrom(b);
    }
}

// A new output (the user chose another sound) takes the song on where it
// stood: the old one is left with nothing sounding, the new one gets the
// channel state of playing there, and the notified play still ends with its
// own Done. (A pause that stays a pause is heard in sound_test.) What the
// synthesizer's audio cannot show: an external synthesizer is also left with
// nothing sounding when a song is opened over a playing one, or when the
// player quits.
TEST(SequencerDevice, NoNoteHangsOnANewOutputASongOpenedOverItOrAQuit)
{
    Rig rig;
    rig.device->setNotify(true);
    rig.command("Play");
    rig.advance(1300);
    ASSERT_NE(hangingNote(rig.output->messages()), "");
    const auto second = std::make_shared<RecordingOutput>([c = rig.clock] { return c->now(); });
    rig.device->replaceOutput(second);
    rig.clock->waitForIdle();
    EXPECT_EQ(rig.device->Position(), 1300);
    EXPECT_EQ(hangingNote(rig.output->messages()), "");
    const ChaseState a = playedTo(1300), b = stateOf(second->messages());
    EXPECT_TRUE(a == b) << a.differenceFrom(b);
    rig.advance(SongMs - 1300);
    ASSERT_TRUE(rig.deliverUntil([&] { return rig.done.size() == 1; }));
    EXPECT_EQ(rig.done, std::vector<int>{1});
    for (const bool quit : {false, true}) {
        rig.device->setFrom(0);
        rig.command("Play");
        rig.advance(600); // while the first note sounds
        ASSERT_NE(hangingNote(second->messages()), "");
        quit ? rig.device.reset() : rig.open(rig.path);
        EXPECT_EQ(hangingNote(second->messages()), "") << quit;
    }
}

// "Open" reads the file on a worker and answers at once; a Play given
// meanwhile starts the song once it is read, after its prelude has played to
// its end. A Close or another Open cancels an open in progress: its song never
// starts, no Opened comes for it, and its notifying play ends as aborted. The
// song's words come with it, and go with a Close or a file that fails to open.
// A device may go while it opens.
TEST(SequencerDevice, OpensOnAWorkerAndACloseOrAnotherOpenCancels)
{
    Rig rig(false);
    std::vector<bool> opened;
    QObject::connect(rig.device.get(), &SequencerDevice::Opened,
                     [&](bool ok) { opened.push_back(ok); });
    const auto start = [&](const QString &file) {
        rig.device->setFileName(file);
        rig.device->Command(u"Open"_s);
        rig.device->Command(u"Play"_s);
    };
    rig.device->setNotify(true);
    start(rig.path);
    EXPECT_TRUE(rig.device->isOpening());
    EXPECT_EQ(rig.device->Length(), 0);
    rig.device->Command(u"Close"_s);
    start(rig.path);
    rig.device->setPrelude(QStringLiteral(SONABEL_BUILD_DIR "/GM.MID")); // a SysEx, then 80 ms
    const QString words = writeKaraokeSong(rig.dir.filePath(u"words.mid"_s), {{0, "La"}}, 1);
    start(words);
    ASSERT_TRUE(rig.deliverUntil([&] { return !opened.empty() && rig.done.size() == 2; }));
    EXPECT_EQ(opened, std::vector<bool>{true});
    EXPECT_EQ(rig.done, (std::vector<int>{4, 4}));
    EXPECT_EQ(rig.device->Length(), 1000);
    rig.clock->waitForIdle();
    rig.advance(200);
    const Messages sent = rig.output->messages();
    const auto mark =
        std::find_if(sent.begin(), sent.end(), [](const auto &m) { return m.bytes[0] == 0xF0; });
    ASSERT_NE(mark, sent.end()) << "the prelude did not play";
    const auto note = std::find_if(mark, sent.end(), [](const auto &m) {
        return m.bytes.size() == 3 && (m.bytes[0] & 0xF0) == 0x90;
    });
    ASSERT_NE(note, sent.end()) << "the song did not start";
    EXPECT_GE(note->atUs - mark->atUs, 80000);
    EXPECT_EQ(rig.device->lyrics()->text(), "La");
    rig.command("Close");
    EXPECT_TRUE(rig.device->lyrics()->empty());
    rig.open(words);
    rig.open(writeBytes(rig.dir.filePath(u"broken.mid"_s), QByteArray("MThd")));
    EXPECT_TRUE(rig.device->lyrics()->empty());

    // Gone while it opens, or just after: its result goes nowhere.
    for (int i = 0; i < 20; ++i) {
        MidiSequencer device(std::make_shared<SilentOutput>(), std::make_shared<SteadyClock>());
        device.setFileName(rig.path);
        device.Command(u"Open"_s);
        device.Command(u"Play"_s);
        if (i % 2)
            QCoreApplication::processEvents();
    }
}
