// Level checks on renders of a song (16-bit WAV files), against a reference
// render of the same song:
//   engine_levels clicks OURS.wav REFERENCE.wav
//       10 ms windows where the reference is below -70 dBFS (and in the windows
//       either side) and ours is above -60 dBFS (sound where there should be
//       none), and the loudest of ours there; then the windows of ours above
//       -60 dBFS and 6 dB over the loudest of the reference around them
//       (clicks), and the largest such excess.
//   engine_levels tail OURS.wav REFERENCE.wav END_MS
//       from the song's end (END_MS after the first sound of each file, the
//       first sample at -40 dBFS or above) to one second later, the largest
//       difference of the 20 ms RMS levels, every 10 ms, in dB, over the
//       windows where either is above -60 dBFS.
//   engine_levels peak FILE.wav...
//       the peak sample of each file in dBFS, and the highest of them.
// Each prints one line: the figure first.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Wav
{
    std::vector<std::int16_t> samples; // interleaved stereo
    int rate = 0;
    bool ok = false;
};

std::uint32_t le(const std::vector<char> &b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | std::uint8_t(b[at + std::size_t(i)]);
    return v;
}

Wav readWav(const char *path)
{
    Wav w;
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> b((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVE", 4))
        return w;
    int channels = 0, bits = 0;
    for (std::size_t pos = 12; pos + 8 <= b.size();) {
        const std::size_t size = std::min<std::size_t>(le(b, pos + 4, 4), b.size() - pos - 8);
        if (!std::memcmp(b.data() + pos, "fmt ", 4)) {
            channels = int(le(b, pos + 10, 2));
            w.rate = int(le(b, pos + 12, 4));
            bits = int(le(b, pos + 22, 2));
        } else if (!std::memcmp(b.data() + pos, "data", 4)) {
            if (bits != 16 || channels != 2 || w.rate <= 0)
                return w;
            w.samples.resize(size / 2);
            std::memcpy(w.samples.data(), b.data() + pos + 8, w.samples.size() * 2);
            w.ok = true;
            return w;
        }
        pos += 8 + size + (size & 1);
    }
    return w;
}

double toDb(double amplitude)
{
    return 20 * std::log10(std::max(amplitude, 1e-9));
}

// Peak (or RMS) level in dBFS of the frames [from, from + count); silence past the end.
double level(const Wav &w, std::int64_t from, std::int64_t count, bool rms)
{
    const auto frames = std::int64_t(w.samples.size() / 2);
    double peak = 0, sum = 0;
    for (std::int64_t f = std::max<std::int64_t>(0, from); f < std::min(from + count, frames);
         ++f) {
        for (int c = 0; c < 2; ++c) {
            const double x = w.samples[std::size_t(2 * f + c)] / 32768.0;
            peak = std::max(peak, std::fabs(x));
            sum += x * x;
        }
    }
    return toDb(rms ? std::sqrt(sum / double(2 * count)) : peak);
}

int clicks(const Wav &ours, const Wav &ref)
{
    const std::int64_t window = ref.rate / 100;
    const auto frames = std::int64_t(std::max(ours.samples.size(), ref.samples.size()) / 2);
    int sound = 0, spikes = 0;
    double loudest = -200, loudestAt = 0, spike = 0, spikeAt = 0;
    for (std::int64_t at = 0; at < frames; at += window) {
        // The reference around the window: a note may start a block (64
        // frames) earlier or later in one render than in the other.
        const double around = level(ref, at - window, 3 * window, false);
        const double l = level(ours, at, window, false);
        if (around < -70 && l > -60)
            ++sound;
        if (around < -70 && l > loudest) {
            loudest = l;
            loudestAt = double(at) / ref.rate;
        }
        if (l > -60 && l - around > 6)
            ++spikes;
        if (l > -60 && l - around > spike) {
            spike = l - around;
            spikeAt = double(at) / ref.rate;
        }
    }
    std::printf("%d windows with sound where the reference is silent, %d clicks 6 dB over it "
                "(the loudest of ours there %.1f dBFS at %.2f s; the largest excess %.1f dB at "
                "%.2f s)\n",
                sound, spikes, loudest, loudestAt, spike, spikeAt);
    return 0;
}

// The first frame at or above -40 dBFS.
std::int64_t firstSound(const Wav &w)
{
    for (std::size_t i = 0; i < w.samples.size(); ++i) {
        if (std::abs(int(w.samples[i])) >= 328)
            return std::int64_t(i / 2);
    }
    return 0;
}

int tail(const Wav &ours, const Wav &ref, double endMs)
{
    // 20 ms levels every 10 ms: the beating of a chord's notes moves 10 ms
    // levels by a few dB between two renders that start them a block apart.
    const std::int64_t step = ref.rate / 100;
    const auto end = std::int64_t(endMs * ref.rate / 1000);
    const std::int64_t a = firstSound(ours), b = firstSound(ref);
    double worst = 0, worstAt = 0;
    for (std::int64_t at = end; at < end + ref.rate; at += step) {
        const double x = level(ours, a + at, 2 * step, true);
        const double y = level(ref, b + at, 2 * step, true);
        if (x < -60 && y < -60)
            continue;
        if (std::fabs(x - y) > std::fabs(worst)) {
            worst = x - y;
            worstAt = double(at - end) * 1000 / ref.rate;
        }
    }
    std::printf("%.2f dB largest difference after the end (ours minus reference, at +%.0f ms)\n",
                worst, worstAt);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    std::vector<Wav> files;
    for (int i = 2; i < argc && (mode == "peak" || i < 4); ++i) {
        files.push_back(readWav(argv[i]));
        if (!files.back().ok) {
            std::fprintf(stderr, "engine_levels: %s: not a 16-bit stereo WAV file\n", argv[i]);
            return 1;
        }
    }
    if (mode == "clicks" && files.size() == 2)
        return clicks(files[0], files[1]);
    if (mode == "tail" && files.size() == 2 && argc >= 5)
        return tail(files[0], files[1], std::atof(argv[4]));
    if (mode == "peak" && !files.empty()) {
        double top = -200;
        for (int i = 2; i < argc; ++i) {
            const Wav &w = files[std::size_t(i - 2)];
            const double p = level(w, 0, std::int64_t(w.samples.size() / 2), false);
            top = std::max(top, p);
            std::fprintf(stderr, "%s: %.2f dBFS\n", argv[i], p);
        }
        std::printf("%.2f dBFS highest peak\n", top);
        return 0;
    }
    std::fprintf(stderr, "usage: engine_levels clicks OURS.wav REFERENCE.wav\n"
                         "       engine_levels tail OURS.wav REFERENCE.wav END_MS\n"
                         "       engine_levels peak FILE.wav...\n");
    return 2;
}
