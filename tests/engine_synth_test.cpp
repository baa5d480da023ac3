// The real FluidSynth output, the output registry, and the sonabel-render tool
// with the reset files the build writes.
#include "engine/FluidSynthOutput.h"
#include "engine/MidiSequencer.h"
#include "engine/OutputRegistry.h"
#include "support/ProgramRun.h"
#include "support/Wav.h"

#include <QProcess>
#include <QThread>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const std::string SmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Ticks of a millisecond: 1000 ticks per quarter at 1 000 000 us per quarter.
SmfWriter msWriter()
{
    SmfWriter w(0, 1000);
    w.beginTrack();
    w.tempo(0, 1000000);
    return w;
}

constexpr std::uint8_t Strings = 48; // a long release: still -20 dBFS 300 ms after note-off
constexpr std::uint8_t ChordKeys[] = {60, 64, 67, 72};

// A loud string chord held under the sustain pedal from 1 s to 10 s. The song
// starts as many files do, with Reset All Controllers, the pedal up and All
// Notes Off: the very messages that must not revive what a cut has just ended.
std::vector<std::uint8_t> heldChord()
{
    SmfWriter w = msWriter();
    for (std::uint8_t cc : {121, 64, 123})
        w.channel(0, 0xB0, cc, 0);
    w.channel(0, 0xC0, Strings);
    w.channel(1000, 0xB0, 64, 127);
    for (std::uint8_t key : ChordKeys)
        w.channel(1000, 0x90, key, 120);
    for (std::uint8_t key : ChordKeys)
        w.channel(10000, 0x80, key, 0);
    w.channel(10100, 0xB0, 64, 0);
    w.endTrack(10500);
    return w.bytes();
}

// Peak level of the frames [from, to) of a stereo WAV, in dBFS.
double peakDb(const Wav &wav, std::int64_t from, std::int64_t to)
{
    int peak = 0;
    const auto frames = std::int64_t(wav.samples.size() / 2);
    for (std::int64_t i = std::max<std::int64_t>(0, from) * 2; i < std::min(to, frames) * 2; ++i)
        peak = std::max(peak, std::abs(int(wav.samples[std::size_t(i)])));
    return 20 * std::log10(std::max(peak, 1) / 32768.0);
}

// Where sound starts after at least 300 ms of silence: the frames at
// which a 10 ms window first peaks above -30 dBFS.
std::vector<std::int64_t> onsets(const Wav &wav)
{
    const std::int64_t window = wav.rate / 100;
    const auto frames = std::int64_t(wav.samples.size() / 2);
    std::vector<std::int64_t> found;
    std::int64_t quietSince = 0;
    for (std::int64_t at = 0; at + window <= frames; at += window) {
        const double level = peakDb(wav, at, at + window);
        if (level < -60) {
            if (quietSince < 0)
                quietSince = at;
        } else if (level > -30 && quietSince >= 0 && at - quietSince >= wav.rate * 3 / 10) {
            found.push_back(at);
            quietSince = -1;
        } else if (level > -30) {
            quietSince = -1;
        }
    }
    return found;
}

// The synthesizer on FluidSynth's file driver, which renders in real time.
struct LiveSynth
{
    QTemporaryDir dir;
    std::string wavPath = dir.filePath(u"out.wav"_s).toStdString();
    std::shared_ptr<FluidSynthOutput> synth = std::make_shared<FluidSynthOutput>(FluidSynthOptions{
        .soundFont = SmallSoundFont, .audioDriver = "file", .audioFile = wavPath});
};

} // namespace

// Each command that interrupts a song silences it at once and for good: within
// 300 ms of it the held chord is gone, also when the next song's first
// messages release notes and reset controllers right after the cut. Each try
// plays the chord from its start, 1 s in, and interrupts it 250 ms later; the
// audio is then silent until the next try's chord.
TEST(FluidSynthOutput, SilencingCommandsLeaveNothingSounding300msLater)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    LiveSynth live;
    const QString song = writeBytes(live.dir.filePath(u"held.mid"_s), heldChord());
    const QString resetFile = QStringLiteral(SONABEL_BUILD_DIR "/GM.MID");
    auto device = std::make_unique<MidiSequencer>(live.synth, std::make_shared<SteadyClock>());
    // Each try's interruption as a script: device commands, "open" (the song),
    // "reset" (the reset file as the next open's prelude), "from<ms>",
    // "sleep<ms>" (the device's events are taken meanwhile: a song opens).
    const std::pair<std::string, const char *> tries[] = {
        {"Stop, Close", "Stop Close open"},
        {"Pause", "Pause"},
        {"seek", "from5000 Play"},
        // The chord must be gone before it comes back 1 s into the replay.
        {"restart", "from0 Play sleep900 Stop"},
        {"song change", "Close open Play sleep900 Stop"},
        {"song change with reset", "Close reset open Play sleep800 Stop"},
    };
    const auto perform = [&](const QString &script) {
        for (const QString &step : script.split(u' ')) {
            if (step == u"open"_s) {
                device->setFileName(song);
                device->Command(u"Open"_s);
            } else if (step == u"reset"_s) {
                device->setPrelude(resetFile);
            } else if (step.startsWith(u"from"_s)) {
                device->setFrom(step.mid(4).toInt());
            } else if (step.startsWith(u"sleep"_s)) {
                ProgramRun::waitFor([] { return false; }, step.mid(5).toInt());
            } else {
                device->Command(step);
            }
        }
    };
    perform(u"open"_s);
    for (const auto &t : tries)
        perform(u"from0 Play sleep1250 "_s + QLatin1String(t.second) + u" sleep600"_s);
    device.reset(); // closing the output finishes the WAV file
    const Wav wav = readWav(live.wavPath);
    ASSERT_EQ(wav.problem, "");
    const std::vector<std::int64_t> chords = onsets(wav);
    ASSERT_EQ(chords.size(), std::size(tries));
    // Where each command fell is read from the audio itself (the first 10 ms
    // of silence after the chord), so a busy machine that delays one thread or
    // the other does not move the measurement.
    const std::int64_t ms = wav.rate / 1000;
    for (std::size_t i = 0; i < std::size(tries); ++i) {
        const std::string &name = tries[i].first;
        EXPECT_GT(peakDb(wav, chords[i], chords[i] + 100 * ms), -20) << name << ": no chord";
        std::int64_t quiet = chords[i];
        while (quiet < chords[i] + 1000 * ms && peakDb(wav, quiet, quiet + 10 * ms) > -60)
            quiet += 10 * ms;
        // The command came about 250 ms into the chord: the sound drops at once
        // (350 ms of leeway for a late thread), and from 300 ms after the drop
        // on it stays below -60 dBFS.
        EXPECT_LE(quiet - chords[i], 600 * ms) << name;
        EXPECT_LT(peakDb(wav, quiet + 300 * ms, quiet + 700 * ms), -60) << name;
    }
}

// At its own end a song lets its last notes ring out in their release.
TEST(FluidSynthOutput, ASongsLastNotesRingPastItsEnd)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    LiveSynth live;
    SmfWriter w = msWriter();
    w.channel(0, 0xC0, Strings);
    w.channel(500, 0xC0, Strings); // the chord after half a second of silence
    for (std::uint8_t key : ChordKeys)
        w.channel(500, 0x90, key, 120);
    for (std::uint8_t key : ChordKeys)
        w.channel(1000, 0x80, key, 0);
    w.endTrack(1020);
    {
        MidiSequencer device(live.synth, std::make_shared<SteadyClock>());
        device.setFileName(writeBytes(live.dir.filePath(u"end.mid"_s), w.bytes()));
        device.Command(u"Open"_s);
        device.setWait(true);
        device.Command(u"Play"_s);
        QThread::msleep(500);
    }
    const Wav wav = readWav(live.wavPath);
    ASSERT_EQ(wav.problem, "");
    const std::vector<std::int64_t> chords = onsets(wav);
    ASSERT_EQ(chords.size(), 1u);
    const std::int64_t end = chords[0] + wav.rate * 520 / 1000;
    EXPECT_GT(peakDb(wav, end + wav.rate / 10, end + wav.rate / 5), -25);
}

TEST(OutputRegistry, UnknownNamesListWhatIsOffered)
{
    std::string error;
    const OutputSettings settings;
    EXPECT_EQ(OutputRegistry::create("loudspeaker", settings, error), nullptr);
    for (const char *word : {"loudspeaker", "synth", "silent"})
        EXPECT_NE(error.find(word), std::string::npos) << error;
    if (OutputRegistry::offeredNames().find("alsa") == std::string::npos) {
        error.clear();
        EXPECT_EQ(OutputRegistry::create("alsa:128:0", settings, error), nullptr);
        EXPECT_NE(error.find("synth"), std::string::npos) << error;
    }
}

TEST(RenderTool, InfoRenderAndExitCodes)
{
    QTemporaryDir dir;
    SmfWriter w = msWriter(); // a chord of half a second, and 200 ms of silence
    w.channel(0, 0xC0, 0);
    for (std::uint8_t key : ChordKeys) {
        w.channel(0, 0x90, key, 110);
        w.channel(500, 0x80, key, 0);
    }
    w.endTrack(700);
    const std::string song = writeBytes(dir.filePath(u"chord.mid"_s), w.bytes()).toStdString();
    const std::string wav = dir.filePath(u"out.wav"_s).toStdString();
    const std::string build = SONABEL_BUILD_DIR "/";
    const std::string sf = SmallSoundFont;
    const std::string corpus = SONABEL_CORPUS_DIR "/jazz-soft/";
    const std::string bad = corpus + "test-not-a-midi-file.mid";
    const std::string scale = "format: 0\ntracks: 1\ndivision: 96\nevents: 30\nlength_ms: 4000\n";
    // The reset files: the SysEx, then 80 ms for the synthesizer to settle.
    const std::string reset = "format: 0\ntracks: 1\ndivision: 500\nevents: 3\nlength_ms: 80\n";
    // The arguments, the exit code, all of standard output, a part of standard error.
    using Case = std::tuple<std::vector<std::string>, int, std::string, std::string>;
    const std::vector<Case> cases = {
        {{"--info", corpus + "test-c-major-scale.mid"}, 0, scale, ""},
        {{"--info", build + "GM.MID"}, 0, reset, ""},
        {{"--info", build + "GS.MID"}, 0, reset, ""},
        {{"--info", bad}, 1, "", "sonabel-render: " + bad + ": "},
        {{}, 2, "", "usage:"},
        {{"--reset", "xg", song, wav}, 2, "", "--reset takes none, gm or gs"},
        {{"--rate", "800", song, wav}, 2, "", "--rate takes"},
        {{"--jobs", "0", song, wav}, 2, "", "--jobs takes"},
        {{"--jobs", "two", song, wav}, 2, "", "--jobs takes"},
        {{"--soundfont", "/nonexistent.sf2", song, wav}, 1, "", "/nonexistent.sf2"},
        {{"--soundfont", sf, song, "/nonexistent/out.wav"}, 1, "", "cannot write the file"},
        {{"--soundfont", sf, "--rate", "22050", "--reset", "gs", "--jobs", "4", song, wav},
         0,
         "",
         ""},
    };
    for (const auto &[arguments, exitCode, out, err] : cases) {
        QStringList list;
        std::string what;
        for (const std::string &a : arguments) {
            list << QString::fromStdString(a);
            what += a + " ";
        }
        SCOPED_TRACE(what);
        QProcess p;
        p.start(QString::fromStdString(build + "sonabel-render"), list);
        ASSERT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, exitCode);
        EXPECT_EQ(p.readAllStandardOutput().toStdString(), out);
        EXPECT_NE(p.readAllStandardError().toStdString().find(err), std::string::npos);
    }
    // The song's 700 ms, and at most 2 s more as it fades out.
    const auto frames = (std::filesystem::file_size(wav) - 44) / 4;
    EXPECT_GE(frames, 22050u * 7 / 10);
    EXPECT_LE(frames, 22050u * 27 / 10);
}

// A song rendered in pieces on several cores sounds as the song rendered in
// one piece: the pieces start from the chased state, let their notes ring past
// their ends, and their sum is the song.
TEST(RenderTool, PiecesSumToTheSongInOnePiece)
{
    const std::string song = "/usr/share/games/openttd/baseset/openmsx/ttsong_iii_imuh3.mid";
    if (!std::filesystem::exists(song) || !std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "openttd-openmsx or timgm6mb-soundfont is not installed";
    QTemporaryDir dir;
    std::vector<Wav> renders;
    for (const char *jobs : {"1", "3"}) {
        const std::string wav = dir.path().toStdString() + "/jobs" + jobs + ".wav";
        QProcess p;
        p.start(QStringLiteral(SONABEL_BUILD_DIR "/sonabel-render"),
                {u"--soundfont"_s, QString::fromStdString(SmallSoundFont), u"--jobs"_s,
                 QString::fromLatin1(jobs), QString::fromStdString(song),
                 QString::fromStdString(wav)});
        ASSERT_TRUE(p.waitForFinished(120000)) << jobs;
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        renders.push_back(readWav(wav));
        ASSERT_EQ(renders.back().problem, "");
    }
    const auto frames = [](const Wav &w) {
        return double(w.samples.size() / 2) / w.rate;
    };
    EXPECT_GT(frames(renders[0]), 60.0); // the whole song
    EXPECT_NEAR(frames(renders[1]), frames(renders[0]), 0.1);
    // Sample by sample: nowhere does a tenth of a second differ by more
    // than a small part of the song's level (a piece that stopped at its end
    // instead of letting its notes ring would, right after that end).
    const auto &a = renders[0].samples;
    const auto &b = renders[1].samples;
    const std::size_t n = std::min(a.size(), b.size());
    const std::size_t window = renders[0].rate / 5; // 100 ms of stereo samples
    double level = 0, worst = 0;
    for (std::size_t i = 0; i < n; ++i)
        level += double(a[i]) * double(a[i]) / double(n);
    for (std::size_t at = 0; at + window <= n; at += window) {
        double diff = 0;
        for (std::size_t i = at; i < at + window; ++i)
            diff += (double(a[i]) - double(b[i])) * (double(a[i]) - double(b[i])) / double(window);
        worst = std::max(worst, diff);
    }
    EXPECT_LT(std::sqrt(worst), 0.3 * std::sqrt(level));
}
