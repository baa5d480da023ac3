// sonabel-render: plays a MIDI file through the player's own reader, tempo map,
// chase and FluidSynth output into a FLAC, Ogg Vorbis or WAV file, as fast as
// the CPU allows and on every core (RenderJob); or, with --info, prints what
// the reader makes of a file, and with --lyrics its words, a line at a time.
//
// Exit status: 0 done, 1 the file could not be read or written, 2 usage error.
// Stopped by SIGINT or SIGTERM, it removes the unfinished file and ends by
// that signal.
#include "engine/Lyrics.h"
#include "engine/MidiFile.h"
#include "engine/RenderJob.h"
#include "engine/Timeline.h"

#include <QFileInfo>
#include <QString>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <malloc.h>
#include <string>
#include <vector>

namespace {

const char *const Usage =
    "usage: sonabel-render [--soundfont FILE] [--rate HZ] [--reset none|gm|gs] [--jobs N]\n"
    "                      [--tail|--no-tail] IN.mid OUT.flac|OUT.ogg|OUT.wav\n"
    "       sonabel-render --info IN.mid\n"
    "       sonabel-render --lyrics IN.mid\n"
    "\n"
    "Renders IN.mid as fast as the machine allows into a stereo audio file: FLAC\n"
    "(16-bit), Ogg Vorbis (quality 0.6) or WAV (16-bit), by the name's extension in\n"
    "any letter case. The file's title is IN's name without its extension.\n"
    "  --soundfont FILE  the SoundFont (default: $SONABEL_SOUNDFONT, else the\n"
    "                    system's default-GM.sf2, else any .sf2 in its folder)\n"
    "  --rate HZ         sample rate (default 44100)\n"
    "  --reset KIND      send GM System On (gm) or GS Reset (gs) before the song\n"
    "  --jobs N          render on N cores at once (default: all of them); the\n"
    "                    song is split at points in time and the pieces summed\n"
    "  --tail            after the song's end, let the last notes and the effects\n"
    "                    ring until silence, for at most 5 s (the default)\n"
    "  --no-tail         end the audio at the song's End of Track\n"
    "  --info            print format, tracks, division (ticks per quarter, or the\n"
    "                    negative SMPTE header value), events and length_ms\n"
    "  --lyrics          print the song's words, one line of them a line: the time\n"
    "                    it starts (m:ss.mmm), a tab, its text (UTF-8)\n";

int usage(const char *problem)
{
    if (problem)
        std::fprintf(stderr, "sonabel-render: %s\n", problem);
    std::fputs(Usage, stderr);
    return 2;
}

int info(const char *path)
{
    const MidiFile file = MidiFile::load(path);
    if (!file.ok()) {
        std::fprintf(stderr, "sonabel-render: %s: %s\n", path, file.error().c_str());
        return 1;
    }
    const auto timeline = Timeline::build(file);
    const MidiDivision &d = file.division();
    const int division =
        d.smpte ? -((d.framesPerSecond << 8) - d.ticksPerFrame) : d.ticksPerQuarter;
    std::printf("format: %d\ntracks: %zu\ndivision: %d\nevents: %zu\nlength_ms: %lld\n",
                file.format(), file.trackCount(), division, file.eventCount(),
                static_cast<long long>(timeline->lengthMs()));
    return 0;
}

int lyrics(const char *path)
{
    const MidiFile file = MidiFile::load(path);
    if (!file.ok()) {
        std::fprintf(stderr, "sonabel-render: %s: %s\n", path, file.error().c_str());
        return 1;
    }
    const Lyrics words = Lyrics::read(file, Timeline::build(file)->tempoMap());
    for (const LyricLine &line : words.lines()) {
        const long long ms = line.timeMs;
        std::printf("%lld:%02lld.%03lld\t%s\n", ms / 60000, ms / 1000 % 60, ms % 1000,
                    line.text.c_str());
    }
    return 0;
}

// The job being run and the signal that stopped it, for the signal handler.
std::atomic<RenderJob *> running{nullptr};
volatile std::sig_atomic_t stoppedBy = 0;

void onSignal(int signal)
{
    stoppedBy = signal;
    if (RenderJob *job = running.load())
        job->cancel();
}

int render(RenderRequest request)
{
    RenderJob job(std::move(request));
    running = &job;
    for (int signal : {SIGINT, SIGTERM})
        std::signal(signal, onSignal);
    if (stoppedBy)
        job.cancel();
    const RenderJob::Outcome outcome = job.run();
    running = nullptr;
    if (outcome == RenderJob::Outcome::Failed) {
        std::fprintf(stderr, "sonabel-render: %s\n", job.error().toLocal8Bit().constData());
        return 1;
    }
    if (outcome == RenderJob::Outcome::Cancelled) {
        std::fprintf(stderr, "sonabel-render: stopped; %s was not written\n",
                     job.request().output.toLocal8Bit().constData());
        if (const int signal = stoppedBy) {
            std::signal(signal, SIG_DFL);
            std::raise(signal);
        }
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    // The render's threads allocate their audio and the writing thread frees
    // it: with one heap for all, what a freed block leaves is reused by the
    // next one instead of lying in a heap per thread.
    mallopt(M_ARENA_MAX, 1);
    RenderRequest request;
    bool wantInfo = false;
    bool wantLyrics = false;
    std::vector<const char *> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--info") {
            wantInfo = true;
        } else if (arg == "--lyrics") {
            wantLyrics = true;
        } else if (arg == "--soundfont") {
            if (!hasValue)
                return usage("--soundfont needs a file");
            request.sound.soundFont = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--rate") {
            if (!hasValue)
                return usage("--rate needs a number");
            char *end = nullptr;
            const long r = std::strtol(argv[++i], &end, 10);
            if (!end || *end || r < 8000 || r > 192000)
                return usage("--rate takes a sample rate from 8000 to 192000");
            request.rate = int(r);
        } else if (arg == "--reset") {
            if (!hasValue)
                return usage("--reset needs none, gm or gs");
            const std::string reset = argv[++i];
            if (reset == "gm")
                request.resetMessages = {{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7}};
            else if (reset == "gs")
                request.resetMessages = {
                    {0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}};
            else if (reset == "none")
                request.resetMessages.clear();
            else
                return usage("--reset takes none, gm or gs");
        } else if (arg == "--jobs") {
            if (!hasValue)
                return usage("--jobs needs a number");
            char *end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (!end || *end || n < 1 || n > 256)
                return usage("--jobs takes a number from 1 to 256");
            request.jobs = int(n);
        } else if (arg == "--tail") {
            request.tailSeconds = RenderRequest().tailSeconds;
        } else if (arg == "--no-tail") {
            request.tailSeconds = 0;
        } else if (arg == "-h" || arg == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usage(("unknown option " + arg).c_str());
        } else {
            files.push_back(argv[i]);
        }
    }
    if (wantInfo) {
        if (files.size() != 1)
            return usage("--info takes one MIDI file");
        return info(files[0]);
    }
    if (wantLyrics) {
        if (files.size() != 1)
            return usage("--lyrics takes one MIDI file");
        return lyrics(files[0]);
    }
    if (files.size() != 2)
        return usage(nullptr);
    request.song = QString::fromLocal8Bit(files[0]);
    request.output = QString::fromLocal8Bit(files[1]);
    request.title = QFileInfo(request.song).completeBaseName();
    return render(std::move(request));
}
