// "Black MIDI" songs: writes a valid Standard MIDI File of the given size with
// millions of notes (black: 128 tracks of running-status notes; chords: 64
// tracks whose notes all start together), then
//  - opens it as the player does (read, parse, merge into a time line) and
//    prints the time, the reading speed and the process's peak memory while
//    opening, against the targets (peak <= 6 x the file + 100 MB, >= 100 MB/s),
//    and the part of it spent looking for words (the song has none);
//  - plays it in real time through the synthesizer for a while and prints how
//    late events went out (median, p99, max), how far the song position
//    strayed from the wall clock, the process's CPU while playing, and, with
//    the file driver ($SONABEL_AUDIO_FILE), whether the audio kept up.
//
// Usage: big_midi_bench FOLDER [MEGABYTES [PLAY_SECONDS [black|chords]]]
//        (50, 20 and black by default)
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
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int TicksPerQuarter = 960;

// The two kinds of song written:
//  - black: 128 tracks of notes at their own times, note-offs as note-ons of
//    velocity 0, all in running status, as such songs are written (about 6
//    bytes a note);
//  - chords: 64 tracks in step, every note of every track starting on the same
//    ticks, each event with its status byte (8 bytes a note, some 12.5 M
//    events in 50 MB).
struct Layout
{
    int tracks;
    bool inStep;
};
constexpr Layout Black{128, false};
constexpr Layout Chords{64, true};

void put32(std::ofstream &out, std::uint32_t v)
{
    const char b[] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.write(b, 4);
}

std::uint32_t step(std::uint32_t seed)
{
    return seed * 1664525u + 1013904223u;
}

// One track of dense notes: a note every few ticks, each held a few ticks.
std::vector<std::uint8_t> denseTrack(const Layout &layout, int index, std::size_t bytes)
{
    std::vector<std::uint8_t> t;
    t.reserve(bytes + 64);
    const auto channel = std::uint8_t(index % 16 == 9 ? 0 : index % 16);
    const std::uint8_t program[] = {0x00, std::uint8_t(0xC0 | channel), std::uint8_t(index % 128)};
    t.insert(t.end(), program, program + 3);
    std::uint32_t seed = std::uint32_t(index) * 2654435761u + 1;
    std::uint32_t rhythm = 1; // the tracks in step share it
    bool first = true;
    while (t.size() < bytes) {
        seed = step(seed);
        rhythm = layout.inStep ? step(rhythm) : seed;
        const auto key = std::uint8_t(24 + (seed >> 8) % 84);
        const std::uint8_t on[] = {std::uint8_t(1 + (rhythm >> 20) % 3),
                                   std::uint8_t(0x90 | channel), key,
                                   std::uint8_t(40 + (seed >> 24) % 80)};
        const std::uint8_t off[] = {std::uint8_t(2 + (rhythm >> 12) % 4),
                                    std::uint8_t(0x80 | channel), key, 0};
        if (layout.inStep) {
            t.insert(t.end(), on, on + 4);
            t.insert(t.end(), off, off + 4);
            continue;
        }
        // The status byte only on the first note; the rest run on it.
        t.insert(t.end(), on, on + (first ? 4 : 1));
        if (!first)
            t.insert(t.end(), on + 2, on + 4);
        first = false;
        const std::uint8_t runningOff[] = {off[0], key, 0};
        t.insert(t.end(), runningOff, runningOff + 3);
    }
    const std::uint8_t end[] = {0x00, 0xFF, 0x2F, 0x00};
    t.insert(t.end(), end, end + 4);
    return t;
}

bool writeSong(const std::string &path, const Layout &layout, std::size_t bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write("MThd", 4);
    put32(out, 6);
    const char header[] = {0,
                           1,
                           char((layout.tracks + 1) >> 8),
                           char(layout.tracks + 1),
                           char(TicksPerQuarter >> 8),
                           char(TicksPerQuarter & 0xFF)};
    out.write(header, 6);
    const std::uint8_t tempo[] = {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00};
    out.write("MTrk", 4);
    put32(out, sizeof tempo);
    out.write(reinterpret_cast<const char *>(tempo), sizeof tempo);
    for (int i = 0; i < layout.tracks; ++i) {
        const auto track = denseTrack(layout, i, bytes / std::size_t(layout.tracks));
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

// The frames of a 16-bit stereo WAV file as the file driver writes it, or
// nothing when it is not one.
std::vector<std::int16_t> readWavSamples(const std::string &path, std::uint32_t *rate)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto u32 = [&bytes](std::size_t at) {
        std::uint32_t v = 0;
        for (int k = 3; k >= 0; --k)
            v = (v << 8) | std::uint8_t(bytes[at + std::size_t(k)]);
        return v;
    };
    std::vector<std::int16_t> samples;
    if (bytes.size() < 12 || std::string(bytes.data(), 4) != "RIFF")
        return samples;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id(bytes.data() + at, 4);
        const std::size_t size = std::min<std::size_t>(u32(at + 4), bytes.size() - at - 8);
        if (id == "fmt " && size >= 16)
            *rate = u32(at + 12);
        if (id == "data") {
            samples.resize(size / 2);
            std::memcpy(samples.data(), bytes.data() + at + 8, samples.size() * 2);
            break;
        }
        at += 8 + size + (size & 1);
    }
    return samples;
}

// 10 ms windows below -60 dBFS between the first sound and the last: gaps in
// a song that never rests.
int silentWindows(const std::vector<std::int16_t> &samples, std::uint32_t rate)
{
    const std::size_t window = 2 * std::size_t(rate) / 100;
    const auto loud = [](std::int16_t x) {
        return std::abs(int(x)) >= 33;
    }; // -60 dBFS
    const auto first = std::find_if(samples.begin(), samples.end(), loud);
    const auto last = std::find_if(samples.rbegin(), samples.rend(), loud).base();
    int silent = 0;
    for (auto at = first; last - at >= std::ptrdiff_t(window); at += std::ptrdiff_t(window))
        silent += std::none_of(at, at + std::ptrdiff_t(window), loud) ? 1 : 0;
    return silent;
}

} // namespace

namespace {

// Opens the song as the device does (read, parse, merge into a time line) and
// prints the time, the reading speed and the peak memory.
bool printOpening(const std::string &path)
{
    resetPeak();
    const long baseKb = statusKb("VmRSS:");
    QElapsedTimer clock;
    clock.start();
    const double cpuStart = cpuSeconds();
    std::size_t events = 0;
    std::int64_t lengthMs = 0;
    double lyricsCpu = 0;
    {
        const MidiFile file = MidiFile::load(path);
        if (!file.ok()) {
            std::fprintf(stderr, "big_midi_bench: %s\n", file.error().c_str());
            return false;
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
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    const double fileMb = double(in.tellg()) / (1024.0 * 1024.0);
    const double peakMb = double(peakKb) / 1024.0;
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
                peakMb, double(baseKb) / 1024.0, 6 * fileMb + 100);
    std::printf("open_peak_per_file_byte: %.2f\n", (peakMb - double(baseKb) / 1024.0) / fileMb);
    return true;
}

// Plays the song in real time through the synthesizer (its polyphony limit
// drops notes; the time line must not slip) and prints how late events went
// out, how far the position strayed from the wall clock, the CPU the whole
// process took, and whether the audio kept up.
bool printPlaying(const std::string &path, int playSeconds)
{
    QElapsedTimer lifetime;
    lifetime.start();
    auto device = makeSequencerDevice();
    auto *sequencer = dynamic_cast<MidiSequencer *>(device.get());
    if (!sequencer)
        return false;
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
    const double cpuStart = cpuSeconds();
    device->Command(QStringLiteral("Play"));
    wall.start();
    // From the moment the position starts to move (once the song is set up
    // and sounds), it runs with the wall clock.
    qint64 drift = 0, elapsed = 0, offset = -1;
    while ((elapsed = wall.elapsed()) < qint64(playSeconds) * 1000) {
        const qint64 position = device->Position();
        if (offset < 0 && position > 0)
            offset = elapsed - position;
        if (offset >= 0)
            drift = std::max(drift, std::abs(position + offset - elapsed));
        QThread::msleep(50);
    }
    const double cpu = cpuSeconds() - cpuStart;
    const std::int64_t playedMs = wall.elapsed();
    device->Command(QStringLiteral("Stop"));
    device.reset(); // the file output completes its WAV file
    const double lifeSeconds = double(lifetime.elapsed()) / 1000;

    std::printf("played: %.1f s, %zu events sent (%.0f per second)\n", double(playedMs) / 1000,
                lateness.size(), double(lateness.size()) * 1000.0 / double(playedMs));
    std::printf("lateness_median_us: %.0f\nlateness_p99_us: %.0f\nlateness_max_us: %.0f\n",
                percentile(lateness, 0.5), percentile(lateness, 0.99), percentile(lateness, 1.0));
    std::printf("start_ms: %lld  (from \"Play\" to the position moving: the song set up)\n",
                static_cast<long long>(offset));
    std::printf("position_drift_max_ms: %lld  (song position against the wall clock while "
                "playing, from its start; target <= 10)\n",
                static_cast<long long>(drift));
    std::printf("play_cpu_percent: %.1f  (the whole process, of one core)\n",
                100 * cpu / (double(playedMs) / 1000));
    if (const char *file = std::getenv("SONABEL_AUDIO_FILE")) {
        std::uint32_t rate = 44100;
        const auto samples = readWavSamples(file, &rate);
        const double audioSeconds = double(samples.size() / 2) / rate;
        std::printf("audio_per_wall: %.3f  (seconds of audio written per second the output "
                    "lived; below 1 the synthesizer fell behind)\n",
                    audioSeconds / lifeSeconds);
        std::printf("silent_10ms_windows: %d  (while playing; target 0)\n",
                    silentWindows(samples, rate));
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const std::string kind = argc > 4 ? argv[4] : "black";
    if (argc < 2 || (kind != "black" && kind != "chords")) {
        std::fprintf(stderr,
                     "usage: big_midi_bench FOLDER [MEGABYTES [PLAY_SECONDS [black|chords]]]\n");
        return 2;
    }
    const std::string path = std::string(argv[1]) + "/" + kind + ".mid";
    const double megabytes = argc > 2 ? std::max(1.0, std::atof(argv[2])) : 50.0;
    const int playSeconds = argc > 3 ? std::max(0, std::atoi(argv[3])) : 20;
    if (!writeSong(path, kind == "black" ? Black : Chords, std::size_t(megabytes * 1024 * 1024))) {
        std::fprintf(stderr, "big_midi_bench: cannot write %s\n", path.c_str());
        return 1;
    }
    if (!printOpening(path))
        return 1;
    if (playSeconds > 0 && !printPlaying(path, playSeconds))
        return 1;
    return 0;
}
