// How long the window's thread is held by each transport command and song
// change, on the real device: the built-in synthesizer on FluidSynth's file
// driver, with the General MIDI reset before every song an advance starts.
// Each command goes through the window's own handler; between two commands
// the event loop runs for a while, so songs really open, reset and play.
// Prints the median and the longest time of each command, and the longest of
// all against the target.
//
// Usage: transport_bench FOLDER [ROUNDS]   (the songs and the WAV go there)
#include "BenchSupport.h"
#include "engine/MidiFile.h"
#include "playlist/PlaylistModel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <functional>
#include <map>

namespace {

// A steady song: a piano note every 250 ms for 30 s.
QString writeSong(const QString &path)
{
    SmfWriter w(0, 480);
    w.beginTrack();
    w.channel(0, 0xC0, 0);
    for (int i = 0; i < 120; ++i) {
        w.channel(i * 240, 0x90, std::uint8_t(48 + i % 24), 90);
        w.channel(i * 240 + 200, 0x80, std::uint8_t(48 + i % 24), 0);
    }
    w.endTrack(120 * 240);
    writeSongFile(path, w.bytes());
    return path;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: transport_bench FOLDER [ROUNDS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 8;
    hearInto(folder + QStringLiteral("/out.wav"));
    QApplication app(argc, argv);

    RealDeviceServices bench;
    frmMain window(bench.services);
    window.show();
    window.optReset_Click(1);
    for (int i = 0; i < 6; ++i)
        window.lstPlay.append(writeSong(folder + QStringLiteral("/song%1.mid").arg(i)));
    window.UpdateMIDI();
    window.mnuMID_Click(0);
    runEventsFor(1500); // the synthesizer opens

    const std::pair<const char *, std::function<void()>> commands[] = {
        {"play entry",
         [&] {
             window.mnuMID_Click(3);
         }},
        {"next",
         [&] {
             window.imgControls_Click(4);
         }},
        {"seek (bar)",
         [&] {
             window.lblPct_MouseUp(Qt::LeftButton, 900);
         }},
        {"seek (key)",
         [&] {
             window.seekForwardKey();
         }},
        {"pause",
         [&] {
             window.imgControls_Click(2);
         }},
        {"resume",
         [&] {
             window.imgControls_Click(2);
         }},
        {"restart",
         [&] {
             window.imgControls_Click(0);
         }},
        {"back",
         [&] {
             window.imgControls_DblClick(0);
         }},
        {"stop",
         [&] {
             window.imgControls_Click(3);
         }},
        {"play",
         [&] {
             window.imgControls_Click(1);
         }},
        {"status update",
         [&] {
             window.MCI_StatusUpdate();
         }},
    };
    std::map<std::string, std::vector<double>> times;
    for (int round = 0; round < rounds; ++round) {
        for (const auto &[name, command] : commands) {
            times[name].push_back(medianMs(1, command));
            runEventsFor(400);
        }
    }

    std::printf("%-14s %10s %10s\n", "command", "median ms", "max ms");
    double longest = 0;
    for (const auto &[name, command] : commands) {
        std::vector<double> &t = times[name];
        std::sort(t.begin(), t.end());
        longest = std::max(longest, t.back());
        std::printf("%-14s %10.2f %10.2f\n", name, t[t.size() / 2], t.back());
    }
    std::printf("longest_hold_ms: %.2f  (target <= 20)\n", longest);
    return 0;
}
