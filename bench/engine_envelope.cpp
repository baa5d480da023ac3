// Compares two renders of one song: the Pearson correlation of their loudness
// envelopes (RMS of the mono mix in 50 ms windows). The shorter file is padded
// with silence. Prints the correlation.
//
// Usage: engine_envelope A.wav B.wav
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Envelope
{
    std::vector<double> rms;
    std::string problem;
};

std::uint32_t le(const std::vector<char> &b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | std::uint8_t(b[at + std::size_t(i)]);
    return v;
}

Envelope envelope(const char *path)
{
    Envelope e;
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> b((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4)) {
        e.problem = "not a WAV file";
        return e;
    }
    int channels = 0, rate = 0, bits = 0;
    for (std::size_t pos = 12; pos + 8 <= b.size();) {
        const std::uint32_t size = le(b, pos + 4, 4);
        if (!std::memcmp(b.data() + pos, "fmt ", 4)) {
            channels = int(le(b, pos + 10, 2));
            rate = int(le(b, pos + 12, 4));
            bits = int(le(b, pos + 22, 2));
        } else if (!std::memcmp(b.data() + pos, "data", 4)) {
            if (bits != 16 || channels < 1 || rate <= 0) {
                e.problem = "not 16-bit PCM";
                return e;
            }
            const std::size_t end = std::min<std::size_t>(b.size(), pos + 8 + size);
            const std::size_t frameBytes = std::size_t(channels) * 2;
            const std::size_t window = std::size_t(rate) / 20; // 50 ms
            double sum = 0;
            std::size_t n = 0;
            for (std::size_t p = pos + 8; p + frameBytes <= end; p += frameBytes) {
                double mono = 0;
                for (int c = 0; c < channels; ++c)
                    mono += double(std::int16_t(le(b, p + std::size_t(c) * 2, 2)));
                mono /= channels;
                sum += mono * mono;
                if (++n == window) {
                    e.rms.push_back(std::sqrt(sum / double(n)));
                    sum = 0;
                    n = 0;
                }
            }
            if (n > 0)
                e.rms.push_back(std::sqrt(sum / double(n)));
            return e;
        }
        pos += 8 + size + (size & 1);
    }
    e.problem = "no data chunk";
    return e;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: engine_envelope A.wav B.wav\n");
        return 2;
    }
    Envelope a = envelope(argv[1]);
    Envelope b = envelope(argv[2]);
    for (const Envelope *e : {&a, &b}) {
        if (!e->problem.empty()) {
            std::fprintf(stderr, "engine_envelope: %s\n", e->problem.c_str());
            return 1;
        }
    }
    const std::size_t n = std::max(a.rms.size(), b.rms.size());
    a.rms.resize(n, 0.0);
    b.rms.resize(n, 0.0);
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        ma += a.rms[i];
        mb += b.rms[i];
    }
    ma /= double(n);
    mb /= double(n);
    double sab = 0, saa = 0, sbb = 0;
    for (std::size_t i = 0; i < n; ++i) {
        sab += (a.rms[i] - ma) * (b.rms[i] - mb);
        saa += (a.rms[i] - ma) * (a.rms[i] - ma);
        sbb += (b.rms[i] - mb) * (b.rms[i] - mb);
    }
    const double r = (saa > 0 && sbb > 0) ? sab / std::sqrt(saa * sbb) : 0.0;
    std::printf("%.4f\n", r);
    return 0;
}
