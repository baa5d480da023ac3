// The real FluidSynth output, the output registry, and the sonabel-render tool
// with the reset files the build writes.
#include "engine/FluidSynthOutput.h"
#include "engine/OutputRegistry.h"
#include "engine_helpers.h"
#include "support/Wav.h"

#include <QProcess>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <iterator>

using namespace Qt::StringLiterals;

using namespace enginetest;

namespace {

const std::string SmallSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// A chord of half a second, then silence to 700 ms.
std::vector<std::uint8_t> chord()
{
    SmfWriter w(0, 100);
    w.beginTrack();
    w.tempo(0, 500000);
    w.channel(0, 0xC0, 0);
    for (std::uint8_t key : {60, 64, 67}) {
        w.channel(0, 0x90, key, 110);
        w.channel(100, 0x80, key, 0);
    }
    w.endTrack(140);
    return w.bytes();
}

} // namespace

// The synthesizer plays in real time through FluidSynth's file driver; closing
// the output finalises the WAV file.
TEST(FluidSynthOutput, FileDriverWritesAValidWavThatIsNotSilent)
{
    if (!std::filesystem::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    QTemporaryDir dir;
    const std::string wavPath = dir.path().toStdString() + "/out.wav";
    FluidSynthOptions options;
    options.soundFont = SmallSoundFont;
    options.audioDriver = "file";
    options.audioFile = wavPath;
    auto output = std::make_shared<FluidSynthOutput>(options);
    {
        MidiSequencer device(output, std::make_shared<SteadyClock>());
        device.setFileName(QString::fromStdString(writeFile(dir, "chord.mid", chord())));
        device.Command(u"Open"_s);
        ASSERT_EQ(device.Length(), 700);
        device.setWait(true);
        device.Command(u"Play"_s); // real time: 0.7 s
        EXPECT_EQ(device.Position(), 700);
        EXPECT_NE(device.outputStatus().toStdString().find("FluidSynth"), std::string::npos);
    }
    const Wav wav = readWav(wavPath);
    ASSERT_EQ(wav.problem, "");
    EXPECT_EQ(wav.channels, 2u);
    EXPECT_GT(wav.samples.size(), std::size_t(wav.rate)); // at least half a second
    int peak = 0;
    for (std::int16_t s : wav.samples)
        peak = std::max(peak, std::abs(int(s)));
    EXPECT_GT(peak, 1000);
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
    const std::string song = writeFile(dir, "chord.mid", chord());
    const std::string wav = dir.path().toStdString() + "/out.wav";
    const std::string build = SONABEL_BUILD_DIR "/";
    const std::string sf = SmallSoundFont;
    const std::string bad = corpusPath("jazz-soft/test-not-a-midi-file.mid");
    struct Case
    {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out; // all of standard output
        std::string err; // a part of standard error
    };
    const std::string scale = "format: 0\ntracks: 1\ndivision: 96\nevents: 30\nlength_ms: 4000\n";
    // The reset files: the SysEx, then 80 ms for the synthesizer to settle.
    const std::string reset = "format: 0\ntracks: 1\ndivision: 500\nevents: 3\nlength_ms: 80\n";
    const std::vector<Case> cases = {
        {{"--info", corpusPath("jazz-soft/test-c-major-scale.mid")}, 0, scale, ""},
        {{"--info", build + "GM.MID"}, 0, reset, ""},
        {{"--info", build + "GS.MID"}, 0, reset, ""},
        {{"--info", bad}, 1, "", "sonabel-render: " + bad + ": "},
        {{}, 2, "", "usage:"},
        {{"--reset", "xg", song, wav}, 2, "", "--reset takes none, gm or gs"},
        {{"--rate", "800", song, wav}, 2, "", "--rate takes"},
        {{"--soundfont", "/nonexistent.sf2", song, wav}, 1, "", "/nonexistent.sf2"},
        {{"--soundfont", sf, song, "/nonexistent/out.wav"}, 1, "", "cannot write the file"},
        {{"--soundfont", sf, "--rate", "22050", "--reset", "gs", song, wav}, 0, "", ""},
    };
    for (const Case &c : cases) {
        QStringList arguments;
        std::string what;
        for (const std::string &a : c.arguments) {
            arguments << QString::fromStdString(a);
            what += a + " ";
        }
        QProcess p;
        p.start(QString::fromStdString(build + "sonabel-render"), arguments);
        ASSERT_TRUE(p.waitForFinished(60000)) << what;
        EXPECT_EQ(p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, c.exitCode) << what;
        EXPECT_EQ(p.readAllStandardOutput().toStdString(), c.out) << what;
        EXPECT_NE(p.readAllStandardError().toStdString().find(c.err), std::string::npos) << what;
    }
    // The song's 700 ms, and at most 2 s more as it fades out.
    const auto frames = (std::filesystem::file_size(wav) - 44) / 4;
    EXPECT_GE(frames, 22050u * 7 / 10);
    EXPECT_LE(frames, 22050u * 27 / 10);
}
