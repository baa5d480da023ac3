// Reading the audio files that the synthesizer and the renderer write, for
// checks on what sounded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The samples of a finalised 16-bit PCM WAV file, or the reason it is not one.
struct Wav
{
    std::string problem; // empty for a good file
    std::uint32_t channels = 0, rate = 0;
    std::vector<std::int16_t> samples; // interleaved
    // libsndfile's format (SF_FORMAT_...) and the title tag.
    int format = 0;
    std::string title;
};

Wav readWav(const std::string &path);
// The loudest sample, as a magnitude, of the frames [from, to), clipped to the
// file.
int peakIn(const Wav &wav, std::int64_t from, std::int64_t to);
// Any file libsndfile reads (FLAC, Ogg Vorbis, WAV), as 16-bit samples.
Wav readAudio(const std::string &path);
