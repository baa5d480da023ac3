// libFuzzer target for the MIDI file reader and what is built on it: any bytes
// must parse (or fail with a reason) without crashing, hanging or allocating
// beyond the input's size; a file that opens must build a time line, chase to
// its end, give words that keep to their bounds, and write back into a file
// that reads the same.
#include "engine/Chase.h"
#include "engine/Lyrics.h"
#include "engine/MidiFile.h"
#include "engine/SilentOutput.h"
#include "engine/Timeline.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    MidiFile file = MidiFile::parse(std::vector<std::uint8_t>(data, data + size));
    if (!file.ok()) {
        if (file.error().empty())
            std::abort();
        return 0;
    }
    const auto timeline = Timeline::build(file);
    ChaseState state;
    state.applyUntil(*timeline, timeline->events().size());
    SilentOutput out;
    state.emit(out, timeline->channelsUsed(), state);

    // Time never runs backwards on the time line, and every event is one the
    // file holds (tracks() and the reader agree on the count).
    const auto &events = timeline->events();
    for (std::size_t i = 1; i < events.size(); ++i) {
        if (events[i].timeUs < events[i - 1].timeUs)
            std::abort();
    }
    std::size_t held = 0;
    for (const MidiTrack &t : file.tracks())
        held += t.events.size();
    if (held != file.eventCount() || events.size() > held + file.trackCount())
        std::abort();

    const Lyrics lyrics = Lyrics::read(file, timeline->tempoMap());
    for (const LyricLine &line : lyrics.lines()) {
        if (line.syllables.empty() || line.text.size() > Lyrics::MaxLineBytes ||
            line.syllables.back().end > line.text.size())
            std::abort();
    }

    // Writing back is a fixed point after one round: what the reader kept, the
    // writer writes, and the reader reads it again unchanged.
    const std::vector<std::uint8_t> once = file.serialize();
    const MidiFile again = MidiFile::parse(once);
    if (!again.ok() || again.serialize() != once || again.eventCount() != file.eventCount())
        std::abort();
    return 0;
}
