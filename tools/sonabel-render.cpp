// sonabel-render: plays a MIDI file through the player's own reader, tempo map,
// chase and FluidSynth output into a WAV file, as fast as the CPU allows; or,
// with --info, prints what the reader makes of a file.
//
// Exit status: 0 done, 1 the file could not be read or written, 2 usage error.
#include "engine/Chase.h"
#include "engine/FluidSynthOutput.h"
#include "engine/MidiFile.h"
#include "engine/Timeline.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char *const Usage =
    "usage: sonabel-render [--soundfont FILE] [--rate HZ] [--reset none|gm|gs] IN.mid OUT.wav\n"
    "       sonabel-render --info IN.mid\n"
    "\n"
    "Renders IN.mid to a 16-bit stereo WAV file, as fast as the machine allows.\n"
    "  --soundfont FILE  the SoundFont (default: $SONABEL_SOUNDFONT, else the\n"
    "                    system's default-GM.sf2, else any .sf2 in its folder)\n"
    "  --rate HZ         sample rate (default 44100)\n"
    "  --reset KIND      send GM System On (gm) or GS Reset (gs) before the song\n"
    "  --info            print format, tracks, division (ticks per quarter, or the\n"
    "                    negative SMPTE header value), events and length_ms\n";

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

// When a live synthesizer would hear each event. FluidSynth synthesizes in
// blocks of 64 frames, and its own file player runs once before each block: it
// turns the block's start into whole milliseconds and sends every event up to
// the tick those milliseconds reach, rounded to the nearest tick and counted
// from the block where it last took a tempo change (not from the change's own
// tick). No event can sound between blocks anyway; dispatching on the same
// clock keeps a render in step with what the synthesizer plays live.
class BlockClock
{
public:
    static constexpr int Block = 64; // frames

    BlockClock(const Timeline &timeline, const MidiDivision &division, int rate)
        : m_rate(rate), m_smpte(division.smpte), m_ticksPerQuarter(division.ticksPerQuarter)
    {
        if (m_smpte)
            m_msPerTick = timeline.tempoMap().microsecondsPerTick(0) / 1000.0;
        else
            setTempo(midi::DefaultTempo, 0, 0);
    }

    // The last tick due at the block that starts at the frame.
    std::int64_t dueAt(std::int64_t frame) const
    {
        return m_anchorTick +
               static_cast<std::int64_t>(double(msAt(frame) - m_anchorMs) / m_msPerTick + 0.5);
    }

    // A tempo change, sent before the block that starts at the frame.
    void setTempo(std::uint32_t usPerQuarter, std::int64_t frame, std::int64_t dueTick)
    {
        if (m_smpte || usPerQuarter == 0)
            return;
        // In single precision, as the player keeps it: a tick's length in ms.
        m_msPerTick = float(usPerQuarter) / float(std::max(1, m_ticksPerQuarter)) / 1000.0f;
        m_anchorMs = msAt(frame);
        m_anchorTick = dueTick;
    }

private:
    std::int64_t msAt(std::int64_t frame) const
    {
        return static_cast<std::int64_t>(1000.0 * double(frame) / double(m_rate));
    }

    int m_rate;
    bool m_smpte;
    int m_ticksPerQuarter;
    double m_msPerTick = 1.0;
    std::int64_t m_anchorMs = 0;
    std::int64_t m_anchorTick = 0;
};

// Renders `frames` frames, in pieces the buffer holds.
void renderFrames(FluidSynthOutput &synth, WavWriter &wav, std::int64_t frames,
                  std::vector<std::int16_t> &buffer)
{
    const auto piece = std::int64_t(buffer.size() / 2);
    for (; frames > 0; frames -= piece) {
        const int n = int(std::min(piece, frames));
        synth.renderS16(buffer.data(), n);
        wav.write(buffer.data(), n);
    }
}

int render(const std::string &soundFont, int rate, const std::string &reset, const char *in,
           const char *out)
{
    const MidiFile file = MidiFile::load(in);
    if (!file.ok()) {
        std::fprintf(stderr, "sonabel-render: %s: %s\n", in, file.error().c_str());
        return 1;
    }
    const auto timeline = Timeline::build(file);

    FluidSynthOptions options;
    options.soundFont = soundFont.empty() ? FluidSynthOutput::findSoundFont() : soundFont;
    options.audioDriver = "none";
    options.sampleRate = rate;
    FluidSynthOutput synth(options);
    synth.open();
    if (!synth.hasSoundFont()) {
        std::fprintf(stderr, "sonabel-render: %s\n", synth.status().c_str());
        return 1;
    }
    WavWriter wav(out, rate);
    if (!wav.ok()) {
        std::fprintf(stderr, "sonabel-render: %s: cannot write the file\n", out);
        return 1;
    }

    if (reset == "gm")
        synth.sendSysEx(std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    else if (reset == "gs")
        synth.sendSysEx(std::vector<std::uint8_t>{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F,
                                                  0x00, 0x41, 0xF7});
    // The same start as the player's: instruments loaded, then the chase at time 0.
    synth.prepare(timeline->instruments());
    ChaseState touched;
    touched.applyUntil(*timeline, timeline->events().size());
    ChaseState().emit(synth, timeline->channelsUsed(), touched);

    std::vector<std::int16_t> buffer(2 * 4096);
    const auto &events = timeline->events();
    BlockClock clock(*timeline, file.division(), rate);
    std::int64_t frame = 0; // where the next block starts
    std::size_t next = 0;
    // Up to the End of Track; the blocks between two due ticks in one go.
    while (next < events.size() || clock.dueAt(frame) < timeline->lengthTicks()) {
        const std::int64_t due = clock.dueAt(frame);
        for (; next < events.size() && timeline->tickAt(next) <= due; ++next) {
            const TimedEvent &e = events[next];
            if (e.eventClass == TimedEvent::Tempo)
                clock.setTempo(timeline->tempoAt(next), frame, due);
            else if (e.eventClass == TimedEvent::SysEx)
                synth.sendSysEx(timeline->sysEx(e));
            else
                synth.send(e.status, e.data1, e.data2);
        }
        const std::int64_t until =
            next < events.size() ? timeline->tickAt(next) : timeline->lengthTicks();
        std::int64_t end = frame + BlockClock::Block;
        while (clock.dueAt(end) < until)
            end += BlockClock::Block;
        renderFrames(synth, wav, end - frame, buffer);
        frame = end;
    }
    // Let what still sounds fade out, for at most two seconds.
    SoundingNotes notes;
    notes.silence(synth, timeline->channelsUsed());
    for (const std::int64_t tailEnd = frame + 2 * std::int64_t(rate);
         frame < tailEnd && synth.activeVoices() > 0; frame += 1024)
        renderFrames(synth, wav, 1024, buffer);
    if (!wav.finish()) {
        std::fprintf(stderr, "sonabel-render: %s: cannot write the file\n", out);
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    std::string soundFont;
    std::string reset = "none";
    int rate = 44100;
    bool wantInfo = false;
    std::vector<const char *> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--info") {
            wantInfo = true;
        } else if (arg == "--soundfont") {
            if (!hasValue)
                return usage("--soundfont needs a file");
            soundFont = argv[++i];
        } else if (arg == "--rate") {
            if (!hasValue)
                return usage("--rate needs a number");
            char *end = nullptr;
            const long r = std::strtol(argv[++i], &end, 10);
            if (!end || *end || r < 8000 || r > 192000)
                return usage("--rate takes a sample rate from 8000 to 192000");
            rate = int(r);
        } else if (arg == "--reset") {
            if (!hasValue)
                return usage("--reset needs none, gm or gs");
            reset = argv[++i];
            if (reset != "none" && reset != "gm" && reset != "gs")
                return usage("--reset takes none, gm or gs");
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
    if (files.size() != 2)
        return usage(nullptr);
    return render(soundFont, rate, reset, files[0], files[1]);
}
