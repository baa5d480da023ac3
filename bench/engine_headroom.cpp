// The headroom at the top of the volume range: renders songs offline through
// the synthesizer at a gain of 1.0 ("100 %") and prints each song's peak as
// the synthesizer makes it at 100 % and at the top of the range
// (SoundChoice::MaxGain), and the peak of what the player puts out at the top:
// the same through the output's PeakLimiter, with the most it lowered the
// gain. The synthesizer's output scales with its gain, so one render tells the
// peak at every gain.
//
// Usage: engine_headroom SOUNDFONT SONG.mid...
#include "engine/FluidSynthOutput.h"
#include "engine/MidiFile.h"
#include "engine/PeakLimiter.h"
#include "engine/SoundChoice.h"
#include "engine/Timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

struct Peaks
{
    double unlimited = -1; // at a gain of 1.0
    double limited = 0;    // at the top, limited
    double lowestGain = 1; // of the limiter
};

// The song rendered at a gain of 1.0, events sent before the 64-frame block
// they fall in, its notes left to ring out for two seconds after its end;
// nothing when it cannot be rendered.
Peaks peaks(const char *soundFont, const char *song)
{
    Peaks p;
    const MidiFile file = MidiFile::load(song);
    if (!file.ok())
        return p;
    const auto timeline = Timeline::build(file);
    FluidSynthOptions options;
    options.soundFont = soundFont;
    options.audioDriver = "none";
    options.sampleRate = 44100;
    options.gain = 1.0;
    FluidSynthOutput synth(options);
    if (!synth.open())
        return p;
    constexpr int Block = 64;
    std::vector<float> block(2 * Block), left(Block), right(Block);
    PeakLimiter limiter(44100);
    const auto &events = timeline->events();
    const std::int64_t endFrame = (timeline->lengthUs() + 2000000) * 44100 / 1000000;
    std::size_t next = 0;
    p.unlimited = 0;
    for (std::int64_t frame = 0; frame < endFrame; frame += Block) {
        const std::int64_t now = frame * 1000000 / 44100;
        for (; next < events.size() && events[next].timeUs <= now; ++next) {
            const TimedEvent &e = events[next];
            if (e.eventClass == TimedEvent::SysEx)
                synth.sendSysEx(timeline->sysEx(e));
            else if (e.eventClass != TimedEvent::Tempo)
                synth.send(e.status, e.data1, e.data2);
        }
        synth.renderFloat(block.data(), Block);
        for (std::size_t i = 0; i < Block; ++i) {
            p.unlimited = std::max(p.unlimited, double(std::fabs(block[2 * i])));
            p.unlimited = std::max(p.unlimited, double(std::fabs(block[2 * i + 1])));
            left[i] = block[2 * i] * float(SoundChoice::MaxGain);
            right[i] = block[2 * i + 1] * float(SoundChoice::MaxGain);
        }
        limiter.process(left.data(), right.data(), Block);
        for (std::size_t i = 0; i < Block; ++i)
            p.limited =
                std::max(p.limited, double(std::max(std::fabs(left[i]), std::fabs(right[i]))));
    }
    p.lowestGain = limiter.lowestGain();
    return p;
}

double toDb(double amplitude)
{
    return 20 * std::log10(std::max(amplitude, 1e-9));
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: engine_headroom SOUNDFONT SONG.mid...\n");
        return 2;
    }
    double highest = 0, limited = 0;
    for (int i = 2; i < argc; ++i) {
        const Peaks p = peaks(argv[1], argv[i]);
        if (p.unlimited < 0) {
            std::fprintf(stderr, "engine_headroom: cannot render %s\n", argv[i]);
            return 1;
        }
        highest = std::max(highest, p.unlimited);
        limited = std::max(limited, p.limited);
        std::printf("%-28s %6.2f dBFS at 100 %%, %6.2f at the top; limited %6.2f (by up to "
                    "%.1f dB)\n",
                    std::filesystem::path(argv[i]).filename().c_str(), toDb(p.unlimited),
                    toDb(p.unlimited * SoundChoice::MaxGain), toDb(p.limited), -toDb(p.lowestGain));
    }
    std::printf("peak_at_100_percent_dbfs: %.2f  (the loudest song, as the synthesizer makes it)\n",
                toDb(highest));
    std::printf("top_for_1db_headroom_unlimited: %.0f %%  (the highest volume at which every song "
                "keeps 1 dB without the limiter; FluidSynth's default is 20 %%)\n",
                100 * std::pow(10.0, -1.0 / 20) / highest);
    std::printf("peak_at_top_dbfs: %.2f  (what the player puts out at its top volume, %.0f %%; "
                "target <= -1.0)\n",
                toDb(limited), 100 * SoundChoice::MaxGain);
    return 0;
}
