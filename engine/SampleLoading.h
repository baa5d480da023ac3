// Whether the synthesizer loads a SoundFont's samples on demand or whole.
//
// FluidSynth can load only the samples of the instruments in use
// (synth.dynamic-sample-loading): a 140 MB SoundFont then costs a few MB. But
// on demand it reads each sample together with the 46 points after its end,
// which the SoundFont format reserves for silence, and a voice plays into them
// as it ends. Where a file leaves fewer (TimGM6mb leaves 32), the voice plays
// the start of the next sample instead: a click as each note dies away. Loaded
// whole, the samples are copied out with padding of FluidSynth's own, and no
// file clicks. So only a big SoundFont whose every sample leaves its 46 points
// is loaded on demand; a small one costs little whole, and one that is not
// padded, or not a plain SF2 file, is loaded whole as FluidSynth does by
// default.
//
// Threads: any; nothing is kept.
#pragma once

#include <cstdint>
#include <string>

namespace SampleLoading {

// From this size on, a padded SoundFont is loaded on demand.
constexpr std::uint64_t OnDemandFrom = 32u * 1024u * 1024u;

// Whether every sample of the SF2 file is followed by at least 46 points
// before the next sample (or the end of the sample data). False for a file
// that cannot be read, is not an SF2 file, or holds compressed (SF3) samples.
// Reads only the chunk headers and the sample headers.
bool samplesPadded(const std::string &soundFont);

// The choice above: true to load the samples of the instruments in use only.
bool onDemand(const std::string &soundFont);

} // namespace SampleLoading
