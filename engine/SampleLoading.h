// Whether the synthesizer loads a SoundFont's samples on demand or whole, and
// the view of the file it loads them through.
//
// FluidSynth can load only the samples of the instruments in use
// (synth.dynamic-sample-loading): a 140 MB SoundFont then costs a few MB, a
// 6 MB one a few hundred KB. But on demand it reads each sample together with
// the 46 points after its end, which the SoundFont format reserves for
// silence, and a voice plays into them as it ends. Where a file leaves fewer
// (TimGM6mb leaves 32), the voice would play the start of the next sample: a
// click as each note dies away. So FluidSynth reads such a file through a
// padded view (addPaddedLoader): the same file with 46 silent points inserted
// after every sample that lacks them and the sample headers moved to match.
// Every sample then sounds as it does loaded whole. A file that cannot be
// padded (not a plain SF2 file, compressed or 24-bit samples, samples that
// overlap) is loaded whole, as FluidSynth does by default.
//
// Threads: any; the view is a file handle of FluidSynth's, used by one thread
// at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

typedef struct _fluid_synth_t fluid_synth_t;
typedef struct _fluid_hashtable_t fluid_settings_t;

namespace SampleLoading {

// True to load the samples of the instruments in use only: the file can be
// read through the padded view.
bool onDemand(const std::string &soundFont);

// Makes the synthesizer read SoundFonts through the padded view. Call before
// it loads any.
void addPaddedLoader(fluid_synth_t *synth, fluid_settings_t *settings);

// A SoundFont file as FluidSynth reads it on demand: every sample followed by
// at least 46 silent points.
class PaddedView
{
public:
    // Nothing when the file cannot be read or padded.
    static std::unique_ptr<PaddedView> open(const std::string &soundFont);
    ~PaddedView();
    PaddedView(const PaddedView &) = delete;
    PaddedView &operator=(const PaddedView &) = delete;

    std::uint64_t size() const { return m_size; }
    std::uint64_t position() const { return m_position; }
    // The samples the view puts silence after: none for a file whose every
    // sample has its 46 points.
    std::size_t samplesPadded() const;
    // Moves within the view (not beyond its end); false otherwise.
    bool seek(std::int64_t offset, int origin);
    // Reads exactly `bytes` from the position on; false (and nothing read)
    // when fewer are left or the file fails.
    bool read(void *into, std::uint64_t bytes);

    // A stretch of the view: bytes of the file from `from`, silence, or bytes
    // of its own (the moved headers and chunk sizes).
    struct Segment
    {
        enum Kind { File, Zero, Bytes } kind;
        std::uint64_t at;     // where it starts in the view
        std::uint64_t length; // bytes
        std::uint64_t from;   // File: the offset in the file; Bytes: the offset in m_bytes
    };

private:
    PaddedView(int fd, std::vector<Segment> segments, std::vector<std::uint8_t> bytes);

    int m_fd;
    std::vector<Segment> m_segments;
    std::vector<std::uint8_t> m_bytes;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
    // FluidSynth reads the headers a few bytes at a time: the file is read
    // ahead in blocks, which hold the bytes from m_cachedFrom on.
    bool readFile(std::uint64_t offset, std::uint8_t *into, std::uint64_t bytes);
    std::vector<std::uint8_t> m_cache;
    std::uint64_t m_cachedFrom = 0;
};

} // namespace SampleLoading
