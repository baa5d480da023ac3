// Whole song endings, as the player hears them: for each end time given,
// writes a song whose string chord sounds from 100 ms to that end, plays it in
// real time through the sequencer device and the synthesizer's file output
// (reverb and chorus off) and, the moment the device says the play is done,
// closes it, as a player going on to the next song does. Writes FOLDER/E.mid
// and FOLDER/ours_E.wav for each end E (ms), and prints how long after the
// song's end the device said it was done.
//
// Usage: engine_endings SOUNDFONT FOLDER END_MS...
#include "engine/Clock.h"
#include "engine/FluidSynthOutput.h"
#include "engine/MidiFile.h"
#include "engine/MidiSequencer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::vector<std::uint8_t> chordSong(int endMs)
{
    SmfWriter w(0, 1000); // a tick a millisecond
    w.beginTrack();
    w.tempo(0, 1000000);
    w.channel(0, 0xC0, 48); // strings: a long release
    for (std::uint8_t key : {60, 64, 67, 72})
        w.channel(100, 0x90, key, 120);
    for (std::uint8_t key : {60, 64, 67, 72})
        w.channel(endMs, 0x80, key, 0);
    w.endTrack(endMs);
    return w.bytes();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: engine_endings SOUNDFONT FOLDER END_MS...\n");
        return 2;
    }
    const std::string folder = argv[2];
    for (int i = 3; i < argc; ++i) {
        const int end = std::atoi(argv[i]);
        const std::string song = folder + "/" + std::to_string(end) + ".mid";
        const auto bytes = chordSong(end);
        QFile file(QString::fromStdString(song));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) !=
                qint64(bytes.size()))
            return 1;
        file.close();
        FluidSynthOptions options;
        options.soundFont = argv[1];
        options.audioDriver = "file";
        options.audioFile = folder + "/ours_" + std::to_string(end) + ".wav";
        options.reverb = options.chorus = false;
        MidiSequencer device(std::make_shared<FluidSynthOutput>(options),
                             std::make_shared<SteadyClock>());
        bool done = false;
        QObject::connect(&device, &SequencerDevice::Done, [&](int code) { done = code == 1; });
        device.setFileName(QString::fromStdString(song));
        device.Command(QStringLiteral("Open"));
        device.setNotify(true);
        QThread::msleep(300);
        QElapsedTimer clock;
        clock.start();
        device.Command(QStringLiteral("Play"));
        while (!done && clock.elapsed() < end + 10000) {
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        std::printf("%d ms: done %lld ms after the end\n", end,
                    static_cast<long long>(clock.elapsed() - end));
        device.Command(QStringLiteral("Close"));
        QThread::msleep(100);
    }
    return 0;
}
