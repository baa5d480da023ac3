// The real program plays a folder of two songs through the synthesizer into a
// WAV file: the first song sounds, then the second.
#include "engine/MidiFile.h"
#include "support/ProgramRun.h"
#include "support/Wav.h"

#include <QFile>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr double LowHz = 523.25;  // C5, the first song
constexpr double HighHz = 739.99; // F#5, the second

// A format 0 file: a flute holding one note for 2.5 s at 120 beats a minute.
std::vector<std::uint8_t> oneNoteSong(std::uint8_t note)
{
    SmfWriter w(0, 480);
    w.beginTrack();
    w.channel(0, 0xC0, 73);
    w.channel(0, 0x90, note, 100);
    w.channel(2400, 0x80, note, 0);
    w.endTrack(2520);
    return w.bytes();
}

// Power of one frequency in frames [from, from + count) of the first channel (Goertzel).
double power(const Wav &wav, size_t from, size_t count, double hz)
{
    const double k = 2 * std::cos(2 * M_PI * hz / wav.rate);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + count; ++i) {
        const double s0 = wav.samples[i * wav.channels] / 32768.0 + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

} // namespace

TEST(PlayEndToEnd, FirstSongSoundsThenTheSecond)
{
    const QString soundFont = u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s;
    if (!QFile::exists(soundFont))
        GTEST_SKIP() << "no test SoundFont";
    ProgramRun run;
    const QString songs = run.scratch(u"songs"_s);
    writeBytes(songs + u"/1 low.mid"_s, oneNoteSong(72));
    writeBytes(songs + u"/2 high.mid"_s, oneNoteSong(78));
    const QString wavPath = run.scratch(u"out.wav"_s);
    run.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
    run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"file"_s);
    run.environment.insert(u"SONABEL_AUDIO_FILE"_s, wavPath);
    run.environment.insert(u"SONABEL_SOUNDFONT"_s, soundFont);

    QProcess *p = run.start({songs});
    // The first song lasts 2.6 s and is advanced within a second of its end.
    QThread::msleep(7500);
    ASSERT_EQ(p->state(), QProcess::Running);
    ASSERT_TRUE(ProgramRun::terminate(p, 30000));
    EXPECT_EQ(p->exitCode(), 0);

    const Wav wav = readWav(wavPath.toStdString());
    ASSERT_EQ(wav.problem, "") << "the WAV was not finished properly";
    // Per 100 ms: which of the two notes sounds, clearly above silence.
    const size_t window = static_cast<size_t>(wav.rate / 10);
    const double floor = std::pow(0.002 * window / 2, 2); // a tone of amplitude 0.002
    std::vector<char> heard;
    for (size_t from = 0; (from + window) * wav.channels <= wav.samples.size(); from += window) {
        const double low = power(wav, from, window, LowHz);
        const double high = power(wav, from, window, HighHz);
        heard.push_back(low > floor && low > 20 * high    ? 'L'
                        : high > floor && high > 20 * low ? 'H'
                                                          : '.');
    }
    const std::string timeline(heard.begin(), heard.end());
    const size_t firstLow = timeline.find('L');
    const size_t firstHigh = timeline.find('H');
    ASSERT_NE(firstLow, std::string::npos) << "the first song never sounded: " << timeline;
    ASSERT_NE(firstHigh, std::string::npos) << "the second song never sounded: " << timeline;
    EXPECT_LT(firstLow, firstHigh) << timeline;
    // The second song plays on its own for two seconds: the first one stopped.
    const std::string second = timeline.substr(firstHigh, 20);
    EXPECT_EQ(second.find('L'), std::string::npos) << timeline;
    EXPECT_GE(std::count(second.begin(), second.end(), 'H'), 15) << timeline;
}
