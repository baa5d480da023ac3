// How late the real-time sequencer sends events: plays a dense song on the
// real sequencer (steady clock, silent output) and records, for every event,
// the time it went out minus the time it was due. Prints the count, median,
// p99 and maximum lateness in microseconds.
//
// Usage: engine_timing [SECONDS]   (60 by default)
#include "engine/MidiFile.h"
#include "engine/MidiSequencer.h"
#include "engine/SilentOutput.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace {

// Sixteen channels: a chord on every channel each eighth note at 150 bpm
// (notes on the same tick come in bursts of 48), sixteenth-note hi-hats,
// and a controller sweep on every channel.
std::vector<std::uint8_t> denseSong(int seconds)
{
    const int tpq = 480;
    SmfWriter w(1, tpq);
    w.beginTrack();
    w.tempo(0, 400000);
    const std::int64_t end = std::int64_t(seconds) * 1000000 / 400000 * tpq;
    w.endTrack(end);
    for (int ch = 0; ch < 16; ++ch) {
        w.beginTrack();
        w.channel(0, std::uint8_t(0xC0 | ch), std::uint8_t(ch * 8));
        for (std::int64_t t = 0; t + tpq / 2 <= end; t += tpq / 2) {
            if (ch == 9) {
                w.channel(t, 0x99, 42, 90);
                w.channel(t + tpq / 4, 0x89, 42, 0);
                w.channel(t + tpq / 4, 0x99, 42, 70);
                w.channel(t + tpq / 2 - 1, 0x89, 42, 0);
                continue;
            }
            const auto root = std::uint8_t(36 + (t / tpq + ch) % 36);
            for (int k : {0, 4, 7})
                w.channel(t, std::uint8_t(0x90 | ch), std::uint8_t(root + k), 80);
            w.channel(t + tpq / 8, std::uint8_t(0xB0 | ch), 11, std::uint8_t(t / 7 % 128));
            for (int k : {0, 4, 7})
                w.channel(t + tpq / 2 - 10, std::uint8_t(0x80 | ch), std::uint8_t(root + k), 0);
        }
        w.endTrack(end);
    }
    return w.bytes();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/dense.mid");
    {
        const auto bytes = denseSong(seconds);
        std::ofstream out(path.toStdString(), std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    }

    std::vector<std::int64_t> lateness;
    lateness.reserve(std::size_t(seconds) * 4000);
    MidiSequencer device(std::make_shared<SilentOutput>(), std::make_shared<SteadyClock>());
    device.setDispatchProbe([&lateness](std::int64_t due, std::int64_t sent) {
        if (lateness.size() < lateness.capacity())
            lateness.push_back(sent - due);
    });
    device.setFileName(path);
    device.Command(QStringLiteral("Open"));
    // The song is read on a worker; its result comes back as an event.
    while (device.isOpening())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (device.Length() <= 0) {
        std::fprintf(stderr, "engine_timing: %s\n", qPrintable(device.errorString()));
        return 1;
    }
    device.setWait(true);
    device.Command(QStringLiteral("Play"));

    if (lateness.empty()) {
        std::fprintf(stderr, "engine_timing: no event was sent\n");
        return 1;
    }
    std::sort(lateness.begin(), lateness.end());
    const auto at = [&lateness](double q) {
        return lateness[std::min(lateness.size() - 1, std::size_t(q * double(lateness.size())))];
    };
    std::printf("events: %zu\nseconds: %d\nlateness_median_us: %lld\nlateness_p99_us: %lld\n"
                "lateness_max_us: %lld\n",
                lateness.size(), seconds, static_cast<long long>(at(0.5)),
                static_cast<long long>(at(0.99)), static_cast<long long>(lateness.back()));
    return 0;
}
