// The real FluidSynth output, the output registry, the reset files the build
// writes and the sonabel-render tool.
#include "engine_helpers.h"
#include "playback/DeviceFactory.h"
#include "playback/FluidSynthOutput.h"
#include "playback/OutputRegistry.h"
#include "playback/Timeline.h"
#ifdef SONABEL_HAVE_ALSA
#include "playback/AlsaOutput.h"
#endif

#include <QProcess>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>

using namespace enginetest;

namespace {

const std::string SmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct Wav
{
    std::string problem; // empty when the file is a valid 16-bit PCM WAV
    int channels = 0;
    int rate = 0;
    std::vector<std::int16_t> samples;

    int peak() const
    {
        int p = 0;
        for (std::int16_t s : samples)
            p = std::max(p, std::abs(int(s)));
        return p;
    }
};

std::uint32_t le32(const std::vector<char> &b, std::size_t at)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | std::uint8_t(b[at + std::size_t(i)]);
    return v;
}

Wav readWav(const std::string &path)
{
    Wav wav;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) {
        wav.problem = "no RIFF/WAVE header";
        return wav;
    }
    if (le32(b, 4) != b.size() - 8) {
        wav.problem = "the RIFF size does not match the file (header not finalised)";
        return wav;
    }
    for (std::size_t pos = 12; pos + 8 <= b.size();) {
        const std::uint32_t size = le32(b, pos + 4);
        if (!std::memcmp(b.data() + pos, "fmt ", 4) && size >= 16) {
            const int format = std::uint8_t(b[pos + 8]) | (std::uint8_t(b[pos + 9]) << 8);
            wav.channels = std::uint8_t(b[pos + 10]);
            wav.rate = int(le32(b, pos + 12));
            const int bits = std::uint8_t(b[pos + 22]);
            if (format != 1 || bits != 16)
                wav.problem = "not 16-bit PCM";
        } else if (!std::memcmp(b.data() + pos, "data", 4)) {
            if (pos + 8 + size > b.size()) {
                wav.problem = "the data chunk runs past the file";
                return wav;
            }
            wav.samples.resize(size / 2);
            std::memcpy(wav.samples.data(), b.data() + pos + 8, wav.samples.size() * 2);
            return wav;
        }
        pos += 8 + size + (size & 1);
    }
    wav.problem = "no data chunk";
    return wav;
}

// A chord of half a second, then silence to 700 ms.
std::vector<std::uint8_t> chord()
{
    SmfWriter w(0, 100);
    w.beginTrack();
    w.tempo(0, 500000);
    w.channel(0, 0xC0, 0);
    for (int key : {60, 64, 67})
        w.channel(0, 0x90, std::uint8_t(key), 110);
    for (int key : {60, 64, 67})
        w.channel(100, 0x80, std::uint8_t(key), 0);
    w.endTrack(140);
    return w.bytes();
}

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun runRender(const QStringList &arguments)
{
    QProcess p;
    p.start(QString::fromLatin1(SONABEL_BUILD_DIR "/sonabel-render"), arguments);
    ToolRun r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished(5000);
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace

TEST(FluidSynthOutput, FileDriverWritesAValidWavThatIsNotSilent)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    QTemporaryDir dir;
    const std::string song = writeFile(dir, "chord.mid", chord());
    const std::string wavPath = dir.path().toStdString() + "/out.wav";
    FluidSynthOptions options;
    options.soundFont = SmallSoundFont;
    options.audioDriver = "file";
    options.audioFile = wavPath;
    auto output = std::make_shared<FluidSynthOutput>(options);
    {
        MidiSequencer device(output, std::make_shared<SteadyClock>());
        device.setFileName(QString::fromStdString(song));
        device.Command(QStringLiteral("Open"));
        ASSERT_EQ(device.Length(), 700);
        device.setWait(true);
        device.Command(QStringLiteral("Play")); // real time: 0.7 s
        EXPECT_EQ(device.Position(), 700);
        EXPECT_NE(device.outputStatus().toStdString().find("FluidSynth"), std::string::npos);
    } // destroying the device closes the output and finalises the file
    const Wav wav = readWav(wavPath);
    ASSERT_EQ(wav.problem, "");
    EXPECT_EQ(wav.channels, 2);
    EXPECT_GT(wav.samples.size(), std::size_t(wav.rate) / 2); // at least half a second
    EXPECT_GT(wav.peak(), 1000);
}

TEST(FluidSynthOutput, WithoutAudioTheSongStillPlays)
{
    FluidSynthOptions options;
    options.soundFont = "/nonexistent/none.sf2";
    options.audioDriver = "no-such-driver";
    auto output = std::make_shared<FluidSynthOutput>(options);
    auto clock = std::make_shared<ManualClock>();
    MidiSequencer device(output, clock);
    std::vector<int> done;
    QObject::connect(&device, &SequencerDevice::Done, [&](int code) { done.push_back(code); });
    QTemporaryDir dir;
    device.setFileName(QString::fromStdString(writeFile(dir, "chord.mid", chord())));
    device.Command(QStringLiteral("Open"));
    device.setNotify(true);
    device.Command(QStringLiteral("Play"));
    ASSERT_TRUE(clock->waitForIdle());
    for (int i = 0; i < 8; ++i) {
        clock->advance(100000);
        ASSERT_TRUE(clock->waitForIdle());
    }
    ASSERT_TRUE(pumpUntil([&] { return !done.empty(); }));
    EXPECT_EQ(done, std::vector<int>{1});
    EXPECT_FALSE(output->hasSoundFont());
    EXPECT_NE(output->status().find("SoundFont"), std::string::npos);
}

TEST(OutputRegistry, UnknownNamesListWhatIsOffered)
{
    std::string error;
    OutputSettings settings;
    EXPECT_EQ(OutputRegistry::create("loudspeaker", settings, error), nullptr);
    EXPECT_NE(error.find("loudspeaker"), std::string::npos);
    EXPECT_NE(error.find("synth"), std::string::npos);
    EXPECT_NE(error.find("silent"), std::string::npos);

    for (const char *name : {"synth", "silent", "recording"}) {
        const auto out = OutputRegistry::create(name, settings, error);
        ASSERT_NE(out, nullptr) << name;
        EXPECT_EQ(out->name(), name);
    }
    // The ALSA output is offered exactly where the sequencer exists.
    bool alsaHere = false;
#ifdef SONABEL_HAVE_ALSA
    alsaHere = AlsaOutput::available();
#endif
    EXPECT_EQ(OutputRegistry::offeredNames().find("alsa") != std::string::npos, alsaHere);
    if (!alsaHere) {
        EXPECT_EQ(OutputRegistry::create("alsa:128:0", settings, error), nullptr);
        EXPECT_NE(error.find("synth"), std::string::npos);
    }
}

TEST(ResetFiles, TheBuildWritesGmAndGsResets)
{
    const std::vector<std::pair<const char *, std::vector<std::uint8_t>>> files = {
        {"GM.MID", {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}},
        {"GS.MID", {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}},
    };
    for (const auto &[name, sysex] : files) {
        const MidiFile f = MidiFile::load(std::string(SONABEL_BUILD_DIR "/") + name);
        ASSERT_TRUE(f.ok()) << name << ": " << f.error();
        EXPECT_TRUE(f.warnings().empty()) << name;
        EXPECT_EQ(f.format(), 0);
        ASSERT_EQ(f.tracks().size(), 1u);
        EXPECT_TRUE(f.tracks()[0].hasEndOfTrack);
        const auto t = Timeline::build(f);
        ASSERT_EQ(t->events().size(), 2u); // the tempo and the SysEx
        const TimedEvent &e = t->events()[1];
        EXPECT_EQ(e.timeUs, 0);
        const auto bytes = t->sysEx(e);
        EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), sysex) << name;
        EXPECT_GE(t->lengthMs(), 50) << name;
        EXPECT_LE(t->lengthMs(), 100) << name;
    }
}

TEST(RenderTool, InfoPrintsTheFactsOrTheReason)
{
    const std::string scale = corpusPath("jazz-soft/test-c-major-scale.mid");
    const ToolRun ok = runRender({QStringLiteral("--info"), QString::fromStdString(scale)});
    EXPECT_EQ(ok.exitCode, 0) << ok.err.toStdString();
    EXPECT_EQ(ok.out.toStdString(),
              "format: 0\ntracks: 1\ndivision: 96\nevents: 30\nlength_ms: 4000\n");

    const std::string bad = corpusPath("jazz-soft/test-not-a-midi-file.mid");
    const ToolRun fail = runRender({QStringLiteral("--info"), QString::fromStdString(bad)});
    EXPECT_EQ(fail.exitCode, 1);
    EXPECT_TRUE(fail.err.startsWith(QString::fromStdString("sonabel-render: " + bad + ": ")))
        << fail.err.toStdString();

    for (const QStringList &args :
         {QStringList{}, QStringList{QStringLiteral("--reset"), QStringLiteral("xg"),
                                     QStringLiteral("a.mid"), QStringLiteral("b.wav")}}) {
        const ToolRun usage = runRender(args);
        EXPECT_EQ(usage.exitCode, 2) << args.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(usage.err.contains(QStringLiteral("usage:")));
    }
}

TEST(RenderTool, RendersAValidWavOfTheSongsLength)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    QTemporaryDir dir;
    const std::string song = writeFile(dir, "chord.mid", chord());
    const QString wavPath = dir.path() + QStringLiteral("/out.wav");
    const ToolRun r =
        runRender({QStringLiteral("--soundfont"), QString::fromStdString(SmallSoundFont),
                   QStringLiteral("--rate"), QStringLiteral("22050"), QStringLiteral("--reset"),
                   QStringLiteral("gs"), QString::fromStdString(song), wavPath});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const Wav wav = readWav(wavPath.toStdString());
    ASSERT_EQ(wav.problem, "");
    EXPECT_EQ(wav.rate, 22050);
    const std::size_t frames = wav.samples.size() / 2;
    EXPECT_GE(frames, std::size_t(22050 * 7 / 10));  // the song's 700 ms
    EXPECT_LE(frames, std::size_t(22050 * 27 / 10)); // and at most 2 s of fade-out
    EXPECT_GT(wav.peak(), 1000);
}

TEST(DeviceFactory, BuildsTheOutputTheEnvironmentNames)
{
    qputenv("SONABEL_OUTPUT", "silent");
    const auto device = makeSequencerDevice();
    qunsetenv("SONABEL_OUTPUT");
    auto *sequencer = qobject_cast<MidiSequencer *>(device.get());
    ASSERT_NE(sequencer, nullptr);
    device->setFileName(QString::fromStdString(corpusPath("jazz-soft/test-c-major-scale.mid")));
    device->Command(QStringLiteral("Open"));
    EXPECT_EQ(device->Length(), 4000);
    ASSERT_TRUE(
        pumpUntil([&] { return sequencer->outputStatus().startsWith(QStringLiteral("silent")); }));
}
