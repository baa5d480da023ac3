// The real FluidSynth output, the peak limiter, and saving songs as audio (the
// render job and the sonabel-render tool).
#include "engine/FluidSynthOutput.h"
#include "engine/MidiSequencer.h"
#include "engine/PeakLimiter.h"
#include "engine/RenderJob.h"
#include "engine/SoundChoice.h"
#include "support/ProgramRun.h"
#include "support/Wav.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace Qt::StringLiterals;

namespace {

const std::string SmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

constexpr std::uint8_t Strings = 48; // a long release: still -20 dBFS 300 ms after note-off
constexpr std::uint8_t ChordKeys[] = {60, 64, 67, 72};

// A loud string chord from onMs to offMs, where the song ends, at a tick a
// millisecond. Held: the song starts as many files do, with Reset All
// Controllers, the pedal up and All Notes Off (the very messages that must not
// revive what a cut has just ended), and the chord is held under the pedal.
std::vector<std::uint8_t> chord(int onMs, int offMs, bool held = false)
{
    SmfWriter w(0, 1000);
    w.beginTrack();
    w.tempo(0, 1000000);
    if (held) {
        for (std::uint8_t cc : {121, 64, 123})
            w.channel(0, 0xB0, cc, 0);
    }
    w.channel(0, 0xC0, Strings);
    if (held)
        w.channel(onMs, 0xB0, 64, 127);
    for (std::uint8_t key : ChordKeys)
        w.channel(onMs, 0x90, key, 120);
    for (std::uint8_t key : ChordKeys)
        w.channel(offMs, 0x80, key, 0);
    w.endTrack(offMs);
    return w.bytes();
}

// Peak level of the frames [from, to) of a stereo WAV, in dBFS.
double peakDb(const Wav &wav, std::int64_t from, std::int64_t to)
{
    return 20 * std::log10(std::max(peakIn(wav, from, to), 1) / 32768.0);
}

// The RMS level of the frames [from, to) of a stereo WAV, in dBFS.
double rmsDb(const Wav &wav, std::int64_t from, std::int64_t to)
{
    const auto frames = std::int64_t(wav.samples.size() / 2);
    double sum = 0;
    for (std::int64_t i = std::max<std::int64_t>(0, from) * 2; i < std::min(to, frames) * 2; ++i)
        sum += double(wav.samples[std::size_t(i)]) * wav.samples[std::size_t(i)];
    return 10 * std::log10(std::max(sum / double(2 * (to - from)), 1.0) / (32768.0 * 32768.0));
}

// Where sound starts after at least 300 ms of silence: the frames at
// which a 10 ms window first peaks above -30 dBFS.
std::vector<std::int64_t> onsets(const Wav &wav)
{
    const std::int64_t window = wav.rate / 100;
    std::vector<std::int64_t> found;
    int quiet = 30; // windows below -60 dBFS since the last sound
    for (std::int64_t at = 0; (at + window) * 2 <= std::int64_t(wav.samples.size()); at += window) {
        const double level = peakDb(wav, at, at + window);
        if (level > -30 && quiet >= 30)
            found.push_back(at);
        if (level < -60)
            ++quiet;
        else if (level > -30)
            quiet = 0;
    }
    return found;
}

// The synthesizer on the "file" output, which renders in real time.
struct LiveSynth
{
    // gain below 0: the synthesizer's default.
    explicit LiveSynth(double gain = -1, bool effects = true)
    {
        FluidSynthOptions options;
        options.soundFont = SmallSoundFont;
        options.audioDriver = "file";
        options.audioFile = wavPath;
        options.gain = gain;
        options.reverb = options.chorus = effects;
        synth = std::make_shared<FluidSynthOutput>(options);
    }
    QTemporaryDir dir;
    std::string wavPath = dir.filePath(u"out.wav"_s).toStdString();
    std::shared_ptr<FluidSynthOutput> synth;
};

std::int64_t frameCount(const Wav &wav)
{
    return std::int64_t(wav.samples.size() / std::max(1u, wav.channels));
}

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
    const QString song = writeBytes(live.dir.filePath(u"held.mid"_s), chord(1000, 10000, true));
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
    // The output opens on the device's thread, which may be slow (sanitizers):
    // the first try's Stop must not come before its chord could.
    ASSERT_TRUE(ProgramRun::waitFor(
        [&] { return device->outputStatus().contains(u"synthesizer with"_s); }, 30000));
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

// The first frame at or above -40 dBFS from the frame `from` on.
std::int64_t firstSound(const Wav &wav, std::int64_t from = 0)
{
    for (auto i = std::size_t(from) * 2; i < wav.samples.size(); ++i) {
        if (std::abs(int(wav.samples[i])) >= 328)
            return std::int64_t(i / 2);
    }
    return -1;
}

// A song's last chord rings out whole: a player that goes on to the next song
// (here: closes it) the moment the device says the song is done hears the
// release as the synthesizer renders it when nothing interrupts it: from the
// end to a second later, the 20 ms level every 10 ms within 3 dB wherever
// either is above -60 dBFS. The
// songs end at various points of a second, as the device's status beat cut
// them once. (Without reverb and chorus: their oscillators run from the
// synthesizer's start, so two renders of a song never have them in step.)
TEST(FluidSynthOutput, ASongsLastChordRingsOutWholeBeforeItIsDone)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    const int ends[] = {1140, 1530, 1980}; // ms
    LiveSynth live(-1, false);
    const auto song = [&](int end, const char *type) {
        return live.dir.filePath(u"end%1.%2"_s.arg(end).arg(QLatin1String(type)));
    };
    std::vector<std::int64_t> doneAfterEndMs;
    {
        MidiSequencer device(live.synth, std::make_shared<SteadyClock>());
        bool done = false;
        QObject::connect(&device, &SequencerDevice::Done, [&](int code) { done = code == 1; });
        device.setNotify(true);
        QThread::msleep(400); // silence before the first song, as between the others
        for (int end : ends) {
            device.setFileName(writeBytes(song(end, "mid"), chord(100, end)));
            device.Command(u"Open"_s);
            done = false;
            QElapsedTimer clock;
            clock.start();
            device.Command(u"Play"_s);
            ASSERT_TRUE(ProgramRun::waitFor([&] { return done; }, 10000)) << end;
            doneAfterEndMs.push_back(clock.elapsed() - end);
            device.Command(u"Close"_s);
            QThread::msleep(400);
        }
    }
    const Wav wav = readWav(live.wavPath);
    ASSERT_EQ(wav.problem, "");
    const std::vector<std::int64_t> chords = onsets(wav);
    ASSERT_EQ(chords.size(), std::size(ends));
    for (std::size_t i = 0; i < std::size(ends); ++i) {
        SCOPED_TRACE(ends[i]);
        EXPECT_LE(doneAfterEndMs[i], 5500); // the tail's limit, and some leeway
        // The reference: the same song saved as audio, never interrupted.
        RenderRequest request;
        request.song = song(ends[i], "mid");
        request.output = song(ends[i], "wav");
        request.sound.soundFont = QString::fromStdString(SmallSoundFont);
        request.sound.reverb = request.sound.chorus = false;
        request.rate = int(wav.rate);
        ASSERT_EQ(RenderJob(request).run(), RenderJob::Outcome::Saved);
        const Wav reference = readWav(request.output.toStdString());
        // Both from the chord's first sound on; the end lies as long after it.
        // (The onset's window is the first above -30 dBFS, after 300 ms below -60.)
        const std::int64_t live0 = firstSound(wav, chords[i] - wav.rate / 100);
        const std::int64_t reference0 = firstSound(reference);
        const std::int64_t end = std::int64_t(wav.rate) * (ends[i] - 100) / 1000;
        for (std::int64_t at = end; at < end + wav.rate; at += wav.rate / 100) {
            const std::int64_t window = wav.rate / 50; // 20 ms
            const double ours = rmsDb(wav, live0 + at, live0 + at + window);
            const double theirs = rmsDb(reference, reference0 + at, reference0 + at + window);
            if (ours > -60 || theirs > -60) {
                ASSERT_NEAR(ours, theirs, 3.0)
                    << (at - end) * 1000 / wav.rate << " ms after the end";
            }
        }
    }
}

// TimGM6mb leaves 32 silent points after each sample where the format asks
// for 46; loaded on demand straight from the file, FluidSynth played the start
// of the next sample as a voice died away: a side-stick clicked at -38 dBFS
// some 100 ms after each note-off. Read through the padded view, every sample
// ends in silence, and the release fades out without a window louder than
// the one before it.
TEST(FluidSynthOutput, ASmallUnpaddedSoundFontFadesOutWithoutClicks)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    FluidSynthOptions options;
    options.soundFont = SmallSoundFont;
    options.audioDriver = "none";
    options.sampleRate = 44100;
    FluidSynthOutput synth(options);
    ASSERT_TRUE(synth.open());
    EXPECT_TRUE(synth.loadsOnDemand());
    Wav wav;
    wav.rate = 44100;
    const auto render = [&](int ms) {
        const auto at = wav.samples.size();
        wav.samples.resize(at + std::size_t(ms) * 441 / 10 * 2);
        synth.renderS16(wav.samples.data() + at, int((wav.samples.size() - at) / 2));
    };
    for (int note = 0; note < 3; ++note) {
        synth.send(0x99, 37, 110); // side stick
        render(150);
        synth.send(0x89, 37, 0);
        render(500);
    }
    const std::int64_t window = 441;
    for (int note = 0; note < 3; ++note) {
        const std::int64_t off = (note * 650 + 150) * 441 / 10;
        double previous = peakDb(wav, off, off + window);
        for (std::int64_t at = off + window; at < off + 500 * 441 / 10; at += window) {
            const double level = peakDb(wav, at, at + window);
            EXPECT_LT(level, std::max(previous + 6, -60.0))
                << "note " << note << ", " << (at - off) * 10 / 441 << " ms after the note-off";
            previous = level;
        }
    }
}

// The volume's range reaches far above what a loud song can take: at its top
// a loud chord would peak far over full scale, and the output keeps it at
// -1 dBFS. Below that ceiling the limiter changes nothing but the time:
// the same signal comes out 64 frames later, also after it has limited a
// burst and recovered.
TEST(PeakLimiter, KeepsTheTopOfTheVolumeBelowMinusOneDbfsAndLeavesTheRestAlone)
{
    PeakLimiter limiter(44100);
    std::vector<float> in(44100), left, right;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const bool loud = i >= 4410 && i < 8820; // 100 ms at +12 dBFS
        in[i] = float((loud ? 4.0 : 0.5) * std::sin(double(i) * 0.07));
    }
    left = right = in;
    for (std::size_t at = 0; at < in.size(); at += 100) // in uneven pieces
        limiter.process(left.data() + at, right.data() + at,
                        int(std::min<std::size_t>(100, in.size() - at)));
    // The ceiling is heard below; here: before the burst comes into view, and
    // once the gain is back (600 ms on), the output is the input delayed.
    for (std::size_t i = PeakLimiter::Lookahead; i < in.size(); ++i) {
        if (i <= 4410 || i >= 8820 + 26460) {
            ASSERT_NEAR(left[i], in[i - PeakLimiter::Lookahead], 0.006) << i;
        }
    }
    EXPECT_EQ(left, right);

    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    LiveSynth live(SoundChoice::MaxGain);
    ASSERT_TRUE(live.synth->open());
    live.synth->send(0xC0, Strings, 0);
    for (std::uint8_t key : {48, 55, 60, 64, 67, 72, 76, 79})
        live.synth->send(0x90, key, 127);
    QThread::msleep(800);
    live.synth->close();
    const Wav wav = readWav(live.wavPath);
    ASSERT_EQ(wav.problem, "");
    EXPECT_GT(peakDb(wav, 0, wav.rate), -2.0);
    EXPECT_LE(peakDb(wav, 0, wav.rate), -1.0 + 0.01);
}

// The tool's answers to good and bad arguments; the extension picks the
// format, in any letter case; every file reads back as stereo at the song's
// rate with the song's name as its title, FLAC and WAV with the same 16-bit
// samples, Ogg Vorbis at about the same level. The chord held to the End of
// Track rings on past it until silence; with --no-tail the audio ends at the
// End of Track. A song rendered in pieces on several cores sounds as the song
// rendered in one piece, and to the same samples each time.
TEST(RenderTool, ArgumentsFormatsTheTailAndPieces)
{
    const std::string longSong = "/usr/share/games/openttd/baseset/openmsx/ttsong_iii_imuh3.mid";
    if (!std::filesystem::exists(SmallSoundFont) || !std::filesystem::exists(longSong))
        GTEST_SKIP() << "timgm6mb-soundfont or openttd-openmsx is not installed";
    QTemporaryDir dir;
    const auto path = [&](const char *name) {
        return dir.filePath(QString::fromUtf8(name)).toStdString();
    };
    const std::string song = path("Held Chord.mid"), wav = path("rate.wav");
    writeBytes(QString::fromStdString(song), chord(0, 1000));
    const std::string sf = SmallSoundFont;
    const std::string bad = SONABEL_CORPUS_DIR "/jazz-soft/test-not-a-midi-file.mid";
    const std::string mp3 = wav + ".mp3: the name must end in .flac, .ogg or .wav";
    const std::string scale = "format: 0\ntracks: 1\ndivision: 96\nevents: 30\nlength_ms: 4000\n";
    const std::string words =
        writeKaraokeSong(dir.filePath(u"words.mid"_s),
                         {{500, "Hello "}, {1000, "world"}, {2000, "/How are you"}}, 3)
            .toStdString();
    // The arguments, the exit code, all of standard output, a part of standard error.
    using Case = std::tuple<std::vector<std::string>, int, std::string, std::string>;
    const std::vector<Case> cases = {
        {{"--info", SONABEL_CORPUS_DIR "/jazz-soft/test-c-major-scale.mid"}, 0, scale, ""},
        {{"--info", bad}, 1, "", "sonabel-render: " + bad + ": "},
        {{"--lyrics", words}, 0, "0:00.500\tHello world\n0:02.000\tHow are you\n", ""},
        {{}, 2, "", "usage:"},
        {{"--reset", "xg", song, wav}, 2, "", "--reset takes none, gm or gs"},
        {{"--jobs", "0", song, wav}, 2, "", "--jobs takes"},
        {{"--soundfont", "/nonexistent.sf2", song, wav}, 1, "", "/nonexistent.sf2"},
        {{"--soundfont", sf, song, "/nonexistent/out.wav"}, 1, "", "/nonexistent/out.wav: "},
        {{"--soundfont", sf, song, wav + ".mp3"}, 1, "", mp3},
        {{"--soundfont", sf, "--rate", "22050", "--reset", "gs", song, wav}, 0, "", ""},
        {{"--soundfont", sf, song, path("out.Wav")}, 0, "", ""},
        {{"--soundfont", sf, song, path("out.flac")}, 0, "", ""},
        {{"--soundfont", sf, song, path("out.OGG")}, 0, "", ""},
        {{"--soundfont", sf, "--no-tail", song, path("cut.wav")}, 0, "", ""},
        {{"--soundfont", sf, "--jobs", "1", longSong, path("jobs1.wav")}, 0, "", ""},
        {{"--soundfont", sf, "--jobs", "3", longSong, path("jobs3.wav")}, 0, "", ""},
        {{"--soundfont", sf, "--jobs", "3", longSong, path("jobs3.flac")}, 0, "", ""},
    };
    for (const auto &[arguments, exitCode, out, err] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        QStringList list;
        for (const std::string &a : arguments)
            list << QString::fromStdString(a);
        QProcess tool;
        tool.start(QStringLiteral(SONABEL_BUILD_DIR "/sonabel-render"), list);
        ASSERT_TRUE(tool.waitForFinished(120000));
        EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(tool.exitCode(), exitCode);
        EXPECT_EQ(tool.readAllStandardOutput().toStdString(), out);
        const std::string error = tool.readAllStandardError().toStdString();
        EXPECT_NE(error.find(err), std::string::npos) << error;
    }
    const Wav atRate = readWav(wav);
    EXPECT_EQ(atRate.problem, "");
    EXPECT_EQ(atRate.rate, 22050u);
    EXPECT_GE(frameCount(atRate), 22050); // the song's second at least

    const std::pair<const char *, int> formats[] = {{"out.Wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                                    {"out.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                                    {"out.OGG", SF_FORMAT_OGG | SF_FORMAT_VORBIS}};
    std::vector<Wav> files;
    for (const auto &[name, format] : formats) {
        SCOPED_TRACE(name);
        files.push_back(readAudio(path(name)));
        const Wav &file = files.back();
        EXPECT_EQ(file.problem, "");
        EXPECT_EQ(file.format, format);
        EXPECT_EQ(file.channels, 2u);
        EXPECT_EQ(file.rate, 44100u);
        EXPECT_EQ(file.title, "Held Chord");
        EXPECT_EQ(frameCount(file), frameCount(files[0]));
    }
    EXPECT_TRUE(files[1].samples == files[0].samples);
    const std::int64_t end = 44100, frames = frameCount(files[0]); // the End of Track at 1 s
    EXPECT_GT(rmsDb(files[0], 0, frames), -40);
    EXPECT_NEAR(rmsDb(files[2], 0, frames), rmsDb(files[0], 0, frames), 0.9); // within 10 %
    EXPECT_GT(peakDb(files[0], end + 4410, end + 8820), -30); // 100 to 200 ms after it
    EXPECT_LT(frames, end + 5 * 44100);
    EXPECT_LT(peakDb(files[0], frames - 441, frames), -70); // it stopped at silence
    const Wav cut = readWav(path("cut.wav"));
    EXPECT_GE(frameCount(cut), end);
    EXPECT_LT(frameCount(cut), end + 128); // the last block

    // The pieces start from the chased state, let their notes ring past their
    // ends, and their sum is the song: nowhere does a tenth of a second differ
    // by more than a small part of the song's level (a piece that stopped at
    // its end instead of letting its notes ring would, right after that end).
    const Wav one = readWav(path("jobs1.wav")), three = readWav(path("jobs3.wav"));
    EXPECT_TRUE(readAudio(path("jobs3.flac")).samples == three.samples);
    EXPECT_GT(frameCount(one), 60 * 44100); // the whole song
    EXPECT_NEAR(frameCount(three), frameCount(one), 4410);
    Wav diff = one;
    diff.samples.resize(std::min(one.samples.size(), three.samples.size()));
    for (std::size_t i = 0; i < diff.samples.size(); ++i)
        diff.samples[i] =
            std::int16_t(std::clamp(one.samples[i] - three.samples[i], -32768, 32767));
    const std::int64_t window = 4410, n = frameCount(diff);
    double worst = -100;
    for (std::int64_t at = 0; at + window <= n; at += window)
        worst = std::max(worst, rmsDb(diff, at, at + window));
    EXPECT_LT(worst, rmsDb(one, 0, n) - 10.5); // below 0.3 of the song's level
}

// A reset file that cannot be read fails a job, naming the file, and leaves no
// file behind. (A saved job is heard in ASongsLastChordRingsOutWholeBeforeItIsDone,
// a cancel from the window's thread in save_audio_test.)
TEST(RenderJob, AResetFileThatCannotBeReadFailsIt)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    QTemporaryDir dir;
    RenderRequest request;
    request.song = writeSteadySong(dir.filePath(u"song.mid"_s), 1, 100);
    request.output = dir.filePath(u"never.ogg"_s);
    request.sound.soundFont = QString::fromStdString(SmallSoundFont);
    request.resetFile = dir.filePath(u"gone.mid"_s);
    RenderJob job(request);
    EXPECT_EQ(job.run(), RenderJob::Outcome::Failed);
    EXPECT_TRUE(job.error().startsWith(request.resetFile + u": "_s)) << job.error().toStdString();
    EXPECT_FALSE(QFile::exists(request.output));
}
