// Compares two audio files sample for sample as libsndfile decodes them (a
// FLAC file against the WAV file of the same render, say). Prints how many
// 16-bit samples differ; a different length or channel count counts every
// sample of the longer file past the shorter one.
//
// Usage: audio_samples_differ A B
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <sndfile.h>
#include <vector>

namespace {

bool read(const char *path, std::vector<std::int16_t> &samples, int &channels)
{
    SF_INFO info{};
    SNDFILE *file = sf_open(path, SFM_READ, &info);
    if (!file) {
        std::fprintf(stderr, "audio_samples_differ: %s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    channels = info.channels;
    samples.resize(std::size_t(info.frames * info.channels));
    const bool whole = sf_readf_short(file, samples.data(), info.frames) == info.frames;
    sf_close(file);
    if (!whole)
        std::fprintf(stderr, "audio_samples_differ: %s: the file ends early\n", path);
    return whole;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: audio_samples_differ A B\n");
        return 2;
    }
    std::vector<std::int16_t> a, b;
    int ca = 0, cb = 0;
    if (!read(argv[1], a, ca) || !read(argv[2], b, cb))
        return 1;
    std::size_t differ = std::max(a.size(), b.size()) - std::min(a.size(), b.size());
    if (ca != cb)
        differ = std::max(a.size(), b.size());
    else
        for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
            differ += a[i] != b[i];
    std::printf("%zu\n", differ);
    return 0;
}
