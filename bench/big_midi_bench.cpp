// A "black MIDI" song: writes a valid Standard MIDI File of the given size
// with millions of notes (128 tracks of dense running-status notes), then
//  - opens it as the player does (read, parse, merge into a time line) and
//    prints the time, the reading speed and the process's peak memory while
//    opening, against the targets (peak <= 6 x the file + 100 MB, >= 100 MB/s),
//    and the part of it spent looking for words (the song has none);
//  - plays it in real time through the synthesizer for a while and prints how
//    late events went out (median, p99, max) and how far the song position
//    drifted from the wall clock.
//
// Usage: big_midi_bench FOLDER [MEGABYTES [PLAY_SECONDS]]   (50 and 20 by default)
#include "engine/DeviceFactory.h"
#include "engine/Lyrics.h"
#include "engine/MidiFile.h"
#include "engine/MidiSequencer.h"
#include "engine/Timeline.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int Tracks = 128;
constexpr int TicksPerQuarter = 960;

void put32(std::ofstream &out, std::uint32_t v)
{
    const char b[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.write(b, 4);
}

// One track of dense notes: a note every few ticks, each held a few ticks,
// note-offs as note-ons of velocity 0, all in running status, as such songs
// are written. About 6 bytes a note.
std::vector<std::uint8_t> denseTrack(int index, std::size_t bytes)
{
    std::vector<std::uint8_t> t;
    t.reserve(bytes + 64);
    const auto channel = std::uint8_t(index % 16 == 9 ? 0 : index % 16);
    const std::uint8_t program[] = {0x00, std::uint8_t(0xC0 | channel), std::uint8_t(index % 128)};
    t.insert(t.end(), program, program + 3);
    std::uint32_t seed = std::uint32_t(index) * 2654435761u + 1;
    bool first = true;
    while (t.size() < bytes) {
        seed = seed * 1664525u + 1013904223u;
        const auto key = std::uint8_t(24 + (seed >> 8) % 84);
        const std::uint8_t on[] = {std::uint8_t(1 + (seed >> 20) % 3), std::uint8_t(0x90 | channel),
                                   key, std::uint8_t(40 + (seed >> 24) % 80)};
        // The status byte only on the first note; the rest run on it.
        t.insert(t.end(), on, on + (first ? 4 : 1));
        if (!first)
            t.insert(t.end(), on + 2, on + 4);
        first = false;
        const std::uint8_t off[] = {std::uint8_t(2 + (seed >> 12) % 4), key, 0};
        t.insert(t.end(), off, off + 3);
    }
    const std::uint8_t end[] = {0x00, 0xFF, 0x2F, 0x00};
    t.insert(t.end(), end, end + 4);
    return t;
}

bool writeSong(const std::string &path, std::size_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write("MThd", 4);
    put32(out, 6);
    const char header[] = {0,
                           1,
                           char((Tracks + 1) >> 8),
                           char(Tracks + 1),
                           char(TicksPerQuarter >> 8),
                           char(TicksPerQuarter & 0xFF)};
    out.write(header, 6);
    const std::uint8_t tempo[] = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
    out.write("MTrk", 4);
    put32(out, sizeof tempo);
    out.write(reinterpret_cast<const char *>(tempo), sizeof tempo);
    for (int i = 0; i < Tracks; ++i) {
        const auto track = denseTrack(i, bytes / Tracks);
        out.write("MTrk", 4);
        put32(out, std::uint32_t(track.size()));
        out.write(reinterpret_cast<const char *>(track.data()), std::streamsize(track.size()));
    }
    return bool(out);
}

long statusKb(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    }
    return -1;
}

double cpuSeconds(clockid_t which = CLOCK_PROCESS_CPUTIME_ID)
{
    timespec t{};
    clock_gettime(which, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

double percentile(std::vector<std::int64_t> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return double(v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))]);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: big_midi_bench FOLDER [MEGABYTES [PLAY_SECONDS]]\n");
        return 2;
    }
    const std::string path = std::string(argv[1]) + "/black.mid";
    const double megabytes = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 50.0;
    const int playSeconds = argc > 3 ? std::max(0, std::atoi(argv[3])) : 20;
    if (!writeSong(path, std::size_t(megabytes * 1024 * 1024))) {
        std::fprintf(stderr, "big_midi_bench: cannot write %s\n", path.c_str());
        return 1;
    }

    // Opening, as the device does it: the file read, parsed and merged.
    resetPeak();
    const long baseKb = statusKb("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = cpuSeconds();
    std::size_t fileBytes = 0, events = 0;
    std::int64_t lengthMs = 0;
    double lyricsCpu = 0;
    {
        const MidiFile file = MidiFile::load(path);
        if (!file.ok()) {
            std::fprintf(stderr, "big_midi_bench: %s\n", file.error().c_str());
            return 1;
        }
        std::printf("read_and_parse_seconds: %.3f\n", double(clock.nsecsElapsed()) / 1e9);
        const auto timeline = Timeline::build(file);
        events = timeline->events().size();
        lengthMs = timeline->lengthMs();
        // On this thread alone, so its CPU time is its own.
        const double before = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        if (!Lyrics::read(file, timeline->tempoMap()).empty())
            return 1;
        lyricsCpu = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - before;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;
    const long peakKb = statusKb("VmHWM:");
    {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        fileBytes = std::size_t(in.tellg());
    }
    const double fileMb = double(fileBytes) / (1024.0 * 1024.0);
    const double peakMb = double(peakKb) / 1024.0;
    const double budgetMb = 6 * fileMb + 100;
    std::printf("file: %.1f MB, %zu events, %.1f s long\n", fileMb, events,
                double(lengthMs) / 1000);
    std::printf("open_seconds: %.3f\n", seconds);
    std::printf("open_cpu_seconds: %.3f  (both threads: a big song's tracks are read ahead on a\n"
                "                  second one, so this exceeds the wall time on an idle machine)\n",
                cpu);
    std::printf(
        "lyrics_cpu_seconds: %.3f  (looking for words: %.1f %% of the CPU time of opening)\n",
        lyricsCpu, 100.0 * lyricsCpu / cpu);
    std::printf("read_mb_per_s: %.1f  (wall time; target >= 100)\n", fileMb / seconds);
    std::printf("read_mb_per_cpu_s: %.1f\n", fileMb / cpu);
    std::printf("open_peak_rss_mb: %.1f  (before opening %.1f; target <= 6 x file + 100 = %.1f)\n",
                peakMb, double(baseKb) / 1024.0, budgetMb);
    std::printf("open_peak_per_file_byte: %.2f\n", (peakMb - double(baseKb) / 1024.0) / fileMb);

    if (playSeconds == 0)
        return 0;
    // Real-time play through the synthesizer (its polyphony limit drops
    // notes; the time line must not slip).
    auto device = makeSequencerDevice();
    auto *sequencer = dynamic_cast<MidiSequencer *>(device.get());
    if (!sequencer)
        return 1;
    std::vector<std::int64_t> lateness;
    lateness.reserve(std::size_t(playSeconds) * 200000);
    sequencer->setDispatchProbe([&lateness](std::int64_t due, std::int64_t sent) {
        if (lateness.size() < lateness.capacity())
            lateness.push_back(sent - due);
    });
    device->setFileName(QString::fromStdString(path));
    device->Command(QStringLiteral("Open"));
    device->setNotify(false);
    // The song is read on the device's worker and the output opens on the
    // playback thread; the read song comes back as an event.
    QElapsedTimer opening;
    opening.start();
    while (device->isOpening() || opening.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QElapsedTimer wall;
    device->Command(QStringLiteral("Play"));
    wall.start();
    while (wall.elapsed() < qint64(playSeconds) * 1000)
        QThread::msleep(50);
    const qint64 position = device->Position();
    const qint64 elapsed = wall.elapsed();
    device->Command(QStringLiteral("Stop"));
    std::printf("played: %.1f s, %zu events sent (%.0f per second)\n", double(elapsed) / 1000,
                lateness.size(), double(lateness.size()) * 1000.0 / double(elapsed));
    std::printf("lateness_median_us: %.0f\nlateness_p99_us: %.0f\nlateness_max_us: %.0f\n",
                percentile(lateness, 0.5), percentile(lateness, 0.99), percentile(lateness, 1.0));
    std::printf("position_drift_ms: %lld  (song position minus wall clock at the end)\n",
                static_cast<long long>(position - elapsed));
    return 0;
}
