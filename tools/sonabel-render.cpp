// sonabel-render: plays a MIDI file through the player's own reader, tempo map,
// chase and FluidSynth output into a WAV file, as fast as the CPU allows and on
// every core (SongRenderer); or, with --info, prints what the reader makes of
// a file, and with --lyrics its words, a line at a time.
//
// Exit status: 0 done, 1 the file could not be read or written, 2 usage error.
#include "SongRenderer.h"
#include "engine/FluidSynthOutput.h"
#include "engine/Lyrics.h"
#include "engine/MidiFile.h"
#include "engine/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char *const Usage =
    "usage: sonabel-render [--soundfont FILE] [--rate HZ] [--reset none|gm|gs] [--jobs N]\n"
    "                      IN.mid OUT.wav\n"
    "       sonabel-render --info IN.mid\n"
    "       sonabel-render --lyrics IN.mid\n"
    "\n"
    "Renders IN.mid to a 16-bit stereo WAV file, as fast as the machine allows.\n"
    "  --soundfont FILE  the SoundFont (default: $SONABEL_SOUNDFONT, else the\n"
    "                    system's default-GM.sf2, else any .sf2 in its folder)\n"
    "  --rate HZ         sample rate (default 44100)\n"
    "  --reset KIND      send GM System On (gm) or GS Reset (gs) before the song\n"
    "  --jobs N          render on N cores at once (default: all of them); the\n"
    "                    song is split at points in time and the pieces summed\n"
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

// A 16-bit stereo PCM WAV file; the sizes are filled in by finish().
class WavWriter
{
public:
    WavWriter(const char *path, int rate) : m_file(std::fopen(path, "wb")), m_rate(rate)
    {
        if (m_file)
            writeHeader(0);
    }
    ~WavWriter()
    {
        if (m_file)
            std::fclose(m_file);
    }
    bool ok() const { return m_file && !m_failed; }
    void write(const std::int16_t *frames, int count)
    {
        if (!m_file)
            return;
        if (std::fwrite(frames, sizeof(std::int16_t) * 2, std::size_t(count), m_file) !=
            std::size_t(count))
            m_failed = true;
        m_frames += std::uint64_t(count);
    }
    bool finish()
    {
        if (!m_file)
            return false;
        const std::uint64_t bytes = std::min<std::uint64_t>(m_frames * 4, 0xFFFFFFFFu - 36);
        std::fseek(m_file, 0, SEEK_SET);
        writeHeader(std::uint32_t(bytes));
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        return closed && !m_failed;
    }

private:
    void put32(std::uint8_t *p, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            p[i] = std::uint8_t(v >> (8 * i));
    }
    void writeHeader(std::uint32_t dataBytes)
    {
        std::uint8_t h[44] = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                              'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   2,   0};
        put32(h + 4, 36 + dataBytes);
        put32(h + 24, std::uint32_t(m_rate));
        put32(h + 28, std::uint32_t(m_rate) * 4);
        h[32] = 4;  // block align
        h[34] = 16; // bits per sample
        std::memcpy(h + 36, "data", 4);
        put32(h + 40, dataBytes);
        if (std::fwrite(h, 1, sizeof h, m_file) != sizeof h)
            m_failed = true;
    }

    std::FILE *m_file;
    int m_rate;
    std::uint64_t m_frames = 0;
    bool m_failed = false;
};

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
                file.format(), file.tracks().size(), division, file.eventCount(),
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

int render(const RenderSettings &settings, const char *in, const char *out)
{
    const MidiFile file = MidiFile::load(in);
    if (!file.ok()) {
        std::fprintf(stderr, "sonabel-render: %s: %s\n", in, file.error().c_str());
        return 1;
    }
    const auto timeline = Timeline::build(file);
    WavWriter wav(out, settings.rate);
    if (!wav.ok()) {
        std::fprintf(stderr, "sonabel-render: %s: cannot write the file\n", out);
        return 1;
    }
    std::vector<std::int16_t> samples;
    const std::string problem =
        renderSong(file, *timeline, settings, [&](const float *frames, std::int64_t count) {
            samples.resize(std::size_t(count) * 2);
            for (std::size_t i = 0; i < samples.size(); ++i) {
                const float s = std::clamp(frames[i] * 32768.0f, -32768.0f, 32767.0f);
                samples[i] = std::int16_t(std::lrint(s));
            }
            wav.write(samples.data(), int(count));
        });
    if (!problem.empty()) {
        wav.finish();
        std::remove(out);
        std::fprintf(stderr, "sonabel-render: %s\n", problem.c_str());
        return 1;
    }
    if (!wav.finish()) {
        std::fprintf(stderr, "sonabel-render: %s: cannot write the file\n", out);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    RenderSettings settings;
    settings.jobs = int(std::max(1u, std::thread::hardware_concurrency()));
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
            settings.soundFont = argv[++i];
        } else if (arg == "--rate") {
            if (!hasValue)
                return usage("--rate needs a number");
            char *end = nullptr;
            const long r = std::strtol(argv[++i], &end, 10);
            if (!end || *end || r < 8000 || r > 192000)
                return usage("--rate takes a sample rate from 8000 to 192000");
            settings.rate = int(r);
        } else if (arg == "--reset") {
            if (!hasValue)
                return usage("--reset needs none, gm or gs");
            const std::string reset = argv[++i];
            if (reset != "none" && reset != "gm" && reset != "gs")
                return usage("--reset takes none, gm or gs");
            settings.reset = reset;
        } else if (arg == "--jobs") {
            if (!hasValue)
                return usage("--jobs needs a number");
            char *end = nullptr;
            const long n = std::strtol(argv[++i], &end, 10);
            if (!end || *end || n < 1 || n > 256)
                return usage("--jobs takes a number from 1 to 256");
            settings.jobs = int(n);
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
    if (settings.soundFont.empty())
        settings.soundFont = FluidSynthOutput::findSoundFont();
    return render(settings, files[0], files[1]);
}
