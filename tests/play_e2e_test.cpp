// The real program plays a folder of two songs through the synthesizer into a
// WAV file: the first song sounds, then the second.
#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

constexpr double LowHz = 523.25;  // C5, the first song
constexpr double HighHz = 739.99; // F#5, the second

// A format 0 file: a flute holding one note for 2.5 s at 120 beats a minute.
QByteArray oneNoteSong(int note)
{
    QByteArray track;
    track += QByteArray::fromHex("00C049");                     // flute
    track += QByteArray::fromHex("0090") + char(note) + '\x64'; // note on
    track +=
        QByteArray::fromHex("9260") + char(0x80) + char(note) + '\x00'; // 2400 ticks later, off
    track += QByteArray::fromHex("78FF2F00"); // end of track 120 ticks later
    QByteArray file = QByteArray::fromHex("4D546864000000060000000101E0");
    file += "MTrk";
    const quint32 size = static_cast<quint32>(track.size());
    for (int shift : {24, 16, 8, 0})
        file += static_cast<char>((size >> shift) & 0xff);
    return file + track;
}

struct Wav
{
    int rate = 0;
    std::vector<double> mono; // samples scaled to -1..1
    bool consistent = false;  // a finished 16-bit PCM file: sizes agree with the file
};

// A canonical WAV file: a 16-byte format chunk, then the data.
Wav readWav(const QString &path)
{
    Wav wav;
    const QByteArray bytes = readBytes(path);
    if (bytes.size() < 44 || !bytes.startsWith("RIFF") || bytes.mid(8, 8) != "WAVEfmt " ||
        bytes.mid(36, 4) != "data")
        return wav;
    auto u32 = [&](int at) {
        return qFromLittleEndian<quint32>(bytes.constData() + at);
    };
    const int channels = qFromLittleEndian<quint16>(bytes.constData() + 22);
    wav.rate = static_cast<int>(u32(24));
    wav.consistent = u32(4) == quint32(bytes.size() - 8) && u32(40) == quint32(bytes.size() - 44) &&
                     qFromLittleEndian<quint16>(bytes.constData() + 34) == 16 && channels > 0;
    if (!wav.consistent)
        return wav;
    const auto *samples = reinterpret_cast<const qint16 *>(bytes.constData() + 44);
    for (qsizetype f = 0; f < (bytes.size() - 44) / (2 * channels); ++f) {
        double sum = 0;
        for (int c = 0; c < channels; ++c)
            sum += qFromLittleEndian(samples[f * channels + c]) / 32768.0;
        wav.mono.push_back(sum / channels);
    }
    return wav;
}

// Power of one frequency in a stretch of samples (Goertzel).
double power(const std::vector<double> &x, size_t from, size_t count, double hz, int rate)
{
    const double w = 2 * M_PI * hz / rate;
    const double k = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + count && i < x.size(); ++i) {
        const double s0 = x[i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

TEST(PlayEndToEnd, FirstSongSoundsThenTheSecond)
{
    const QString soundFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");
    if (!QFile::exists(soundFont))
        GTEST_SKIP() << "no test SoundFont";
    ProgramRun run;
    const QString songs = run.scratch(QStringLiteral("songs"));
    QDir().mkpath(songs);
    for (const auto &[name, note] : {std::pair{"1 low.mid", 72}, std::pair{"2 high.mid", 78}}) {
        QFile f(songs + u'/' + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(oneNoteSong(note));
    }
    const QString wavPath = run.scratch(QStringLiteral("out.wav"));
    run.environment.insert(QStringLiteral("SONABEL_OUTPUT"), QStringLiteral("synth"));
    run.environment.insert(QStringLiteral("SONABEL_AUDIO_DRIVER"), QStringLiteral("file"));
    run.environment.insert(QStringLiteral("SONABEL_AUDIO_FILE"), wavPath);
    run.environment.insert(QStringLiteral("SONABEL_SOUNDFONT"), soundFont);

    QProcess *p = run.start({songs});
    // The first song lasts 2.6 s and is advanced within a second of its end.
    QThread::msleep(7500);
    ASSERT_EQ(p->state(), QProcess::Running);
    ASSERT_TRUE(ProgramRun::terminate(p, 30000));
    EXPECT_EQ(p->exitCode(), 0);

    const Wav wav = readWav(wavPath);
    ASSERT_TRUE(wav.consistent) << "the WAV was not finished properly";
    // Per 100 ms: which of the two notes sounds, clearly above silence.
    const size_t window = static_cast<size_t>(wav.rate / 10);
    const double floor = std::pow(0.002 * window / 2, 2); // a tone of amplitude 0.002
    std::vector<char> heard;
    for (size_t from = 0; from + window <= wav.mono.size(); from += window) {
        const double low = power(wav.mono, from, window, LowHz, wav.rate);
        const double high = power(wav.mono, from, window, HighHz, wav.rate);
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

} // namespace
