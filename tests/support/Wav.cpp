// Reading the audio files that the synthesizer and the renderer write.
#include "support/Wav.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <sndfile.h>

namespace {

std::uint32_t le32(const std::vector<char> &b, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 4; i-- > 0;)
        v = (v << 8) | std::uint8_t(b[at + i]);
    return v;
}

} // namespace

Wav readWav(const std::string &path)
{
    Wav wav;
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || le32(b, 4) != b.size() - 8)
        wav.problem = "no RIFF header, or one that was never finalised";
    for (std::size_t pos = 12; wav.problem.empty() && pos + 8 <= b.size();) {
        const std::uint32_t size = le32(b, pos + 4);
        if (!std::memcmp(b.data() + pos, "fmt ", 4)) {
            wav.channels = le32(b, pos + 8) >> 16;
            wav.rate = le32(b, pos + 12);
            if ((le32(b, pos + 8) & 0xFFFF) != 1 || (le32(b, pos + 20) >> 16) != 16)
                wav.problem = "not 16-bit PCM";
        } else if (!std::memcmp(b.data() + pos, "data", 4) && pos + 8 + size <= b.size()) {
            wav.samples.resize(size / 2);
            std::memcpy(wav.samples.data(), b.data() + pos + 8, wav.samples.size() * 2);
            return wav;
        }
        pos += 8 + size + (size & 1);
    }
    wav.problem += wav.problem.empty() ? "no complete data chunk" : "";
    return wav;
}

Wav readAudio(const std::string &path)
{
    Wav wav;
    SF_INFO info{};
    SNDFILE *file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) {
        wav.problem = sf_strerror(nullptr);
        return wav;
    }
    wav.channels = std::uint32_t(info.channels);
    wav.rate = std::uint32_t(info.samplerate);
    wav.format = info.format;
    if (const char *title = sf_get_string(file, SF_STR_TITLE))
        wav.title = title;
    wav.samples.resize(std::size_t(info.frames * info.channels));
    if (sf_readf_short(file, wav.samples.data(), info.frames) != info.frames)
        wav.problem = "the file ends early";
    sf_close(file);
    return wav;
}
