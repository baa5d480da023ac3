// How late the words of a song show in the window: the real device plays a
// karaoke song through the built-in synthesizer (FluidSynth's file driver) in
// a shown window, and each time the line in the help line's place is painted
// with more sung (or a new line), the song's position then is compared with
// the time of the syllable that made the change. After a seek the line of the
// new place must be painted at once. Prints the median, 95th percentile and
// longest lateness against the target of 50 ms.
//
// Usage: lyric_timing_bench FOLDER [SECONDS]   (the song and the WAV go there)
#include "BenchSupport.h"
#include "engine/MidiFile.h"
#include "player/Player.h"
#include "playlist/PlaylistModel.h"
#include "ui/LyricLabel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdio>
#include <string>

namespace {

constexpr double TargetMs = 50;

// Notes every 250 ms and a syllable every 90 to 310 ms (uneven on purpose),
// eight to a line; returns the syllables' times in ms.
std::vector<std::int64_t> writeSong(const QString &path, int seconds)
{
    SmfWriter w(1, 500);
    w.beginTrack();
    w.tempo(0, 500000); // 1 ms a tick
    w.channel(0, 0xC0, 0);
    for (std::int64_t t = 0; t < seconds * 1000; t += 250) {
        w.channel(t, 0x90, std::uint8_t(48 + t / 250 % 24), 90);
        w.channel(t + 200, 0x80, std::uint8_t(48 + t / 250 % 24), 0);
    }
    w.endTrack(seconds * 1000);
    w.beginTrack();
    std::vector<std::int64_t> times;
    std::int64_t t = 500;
    for (int i = 0; t < seconds * 1000 - 500; ++i) {
        const std::string syllable = (i % 8 == 0 ? "/la" : "la") + std::to_string(i) + " ";
        w.meta(t, 0x05,
               std::span(reinterpret_cast<const std::uint8_t *>(syllable.data()), syllable.size()));
        times.push_back(t);
        t += 90 + (i * 37) % 221;
    }
    w.endTrack(seconds * 1000);
    writeSongFile(path, w.bytes());
    return times;
}

// Records, at each paint of the line that shows something new, the song's
// position then.
class PaintWatch : public QObject
{
public:
    PaintWatch(LyricLabel &line, Player &player) : m_line(line), m_player(player)
    {
        m_line.installEventFilter(this);
    }
    struct Seen
    {
        QString text;
        int sung;
        qint32 positionMs;
    };
    std::vector<Seen> seen;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_line.text().isEmpty() &&
            (seen.empty() || seen.back().text != m_line.text() ||
             seen.back().sung != m_line.sung()))
            seen.push_back({m_line.text(), m_line.sung(), m_player.positionMs()});
        return false;
    }

private:
    LyricLabel &m_line;
    Player &m_player;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lyric_timing_bench FOLDER [SECONDS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int seconds = argc > 2 ? std::max(10, std::atoi(argv[2])) : 30;
    hearInto(folder + QStringLiteral("/out.wav"));
    QApplication app(argc, argv);

    RealDeviceServices bench;
    frmMain window(bench.services);
    window.show();
    window.optReset_Click(1);
    const QString song = folder + QStringLiteral("/words.kar");
    const std::vector<std::int64_t> syllables = writeSong(song, seconds);
    window.lstPlay.append(song);
    window.UpdateMIDI();
    auto *line = window.findChild<LyricLabel *>(QStringLiteral("lblLyric"));
    if (!line) {
        std::fprintf(stderr, "no line of words in the window\n");
        return 1;
    }
    PaintWatch watch(*line, window.player);
    window.mnuMID_Click(0);
    runEventsFor((seconds - 2) * 1000);
    const auto due = std::size_t(
        std::upper_bound(syllables.begin(), syllables.end(), window.player.positionMs()) -
        syllables.begin());

    // The lateness of each change: the position when painted, against the
    // last syllable due by then.
    std::vector<double> late;
    for (const PaintWatch::Seen &s : watch.seen) {
        const auto next = std::upper_bound(syllables.begin(), syllables.end(), s.positionMs);
        if (next != syllables.begin())
            late.push_back(double(s.positionMs - *std::prev(next)));
    }
    // Seeks: the line of the new place painted at once.
    int seeksShownAtOnce = 0;
    const int seeks = 10;
    for (int i = 0; i < seeks; ++i) {
        const qint32 to = qint32(syllables[syllables.size() * std::size_t(i) / seeks] + 20);
        watch.seen.clear();
        window.player.seek(to);
        runEventsFor(15);
        seeksShownAtOnce += !watch.seen.empty() && watch.seen.front().positionMs < to + 15 ? 1 : 0;
        runEventsFor(300);
    }
    window.imgControls_Click(3);

    std::sort(late.begin(), late.end());
    if (late.empty()) {
        std::printf("lyric lateness: no change was painted\n");
        return 1;
    }
    std::printf("lyric changes painted: %zu of %zu syllables due\n", late.size(), due);
    std::printf("lyric lateness ms: median %.1f, p95 %.1f, max %.1f (target %.0f)\n",
                late[late.size() / 2], late[late.size() * 95 / 100], late.back(), TargetMs);
    std::printf("lyric seeks shown within 15 ms: %d of %d\n", seeksShownAtOnce, seeks);
    return 0;
}
