// Reading a WAV file that the synthesizer wrote, for checks on what sounded.
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
};

Wav readWav(const std::string &path);
