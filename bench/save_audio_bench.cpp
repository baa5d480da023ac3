// How quickly the window's thread answers while the playlist is saved as
// audio. A probe thread asks it something every 20 ms, as the media bus and
// the link do (a queued call), and times the answer: first while a song plays
// on the real synthesizer (the peer), then while "Save album as audio" renders
// every song on every core and the song plays on.
//
// Usage: save_audio_bench FOLDER [SONGS]   (the songs, the WAV and the saved
// files go there)
#include "BenchSupport.h"
#include "engine/MidiFile.h"
#include "player/AudioSaver.h"
#include "playlist/PlaylistModel.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A busy song of 40 s: chords on four channels, eight notes a second each.
QString writeSong(const QString &path, int seed)
{
    SmfWriter w(0, 480);
    w.beginTrack();
    for (std::uint8_t c = 0; c < 4; ++c)
        w.channel(0, std::uint8_t(0xC0 | c), std::uint8_t(c * 16 + seed));
    const int notes = 40 * 8;
    for (int i = 0; i < notes; ++i) {
        const std::int64_t at = i * 120;
        for (std::uint8_t c = 0; c < 4; ++c)
            w.channel(at, std::uint8_t(0x90 | c), std::uint8_t(48 + (i * 5 + c * 7) % 36), 90);
        for (std::uint8_t c = 0; c < 4; ++c)
            w.channel(at + 110, std::uint8_t(0x80 | c), std::uint8_t(48 + (i * 5 + c * 7) % 36), 0);
    }
    w.endTrack(notes * 120);
    const std::vector<std::uint8_t> bytes = w.bytes();
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
    return path;
}

// Asks target's thread every 20 ms for an answer and keeps how long each took.
class Probe
{
public:
    explicit Probe(QObject *target)
        : m_thread([this, target] {
              while (!m_stop) {
                  auto answered = std::make_shared<std::promise<void>>();
                  std::future<void> answer = answered->get_future();
                  const Clock::time_point asked = Clock::now();
                  QMetaObject::invokeMethod(
                      target, [answered] { answered->set_value(); }, Qt::QueuedConnection);
                  if (answer.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
                      m_times.push_back(10000);
                      break;
                  }
                  m_times.push_back(
                      std::chrono::duration<double, std::milli>(Clock::now() - asked).count());
                  std::this_thread::sleep_for(std::chrono::milliseconds(20));
              }
          })
    {}
    // The answer times, sorted.
    std::vector<double> stop()
    {
        m_stop = true;
        m_thread.join();
        std::sort(m_times.begin(), m_times.end());
        return m_times;
    }

private:
    std::atomic<bool> m_stop{false};
    std::vector<double> m_times;
    std::thread m_thread; // last: starts once the rest is there
};

double printTimes(const char *what, const std::vector<double> &t)
{
    if (t.empty()) {
        std::printf("%-32s no answers\n", what);
        return 0;
    }
    std::printf("%-32s median %6.2f ms  p99 %6.2f ms  max %7.2f ms  (%zu asks)\n", what,
                t[t.size() / 2], t[t.size() * 99 / 100], t.back(), t.size());
    return t.back();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: save_audio_bench FOLDER [SONGS]\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const int songs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    hearInto(folder + QStringLiteral("/heard.wav"));
    QApplication app(argc, argv);

    RealDeviceServices bench;
    const QString saved = folder + QStringLiteral("/saved");
    QDir().mkpath(saved);
    bench.dialogs.folder = saved;
    frmMain window(bench.services);
    window.show();
    for (int i = 0; i < songs; ++i)
        window.lstPlay.append(writeSong(folder + QStringLiteral("/song%1.mid").arg(i), i));
    window.UpdateMIDI();
    window.mnuMID_Click(0);
    runEventsFor(2000); // the synthesizer opens and the song plays

    Probe playing(&window);
    runEventsFor(5000);
    const std::vector<double> peer = playing.stop();

    Probe saving(&window);
    const Clock::time_point start = Clock::now();
    window.mnuSaveAlbumAudio_Click();
    auto *saver = window.findChild<AudioSaver *>();
    if (!saver || !saver->isRunning()) {
        std::fprintf(stderr, "save_audio_bench: the save did not start\n");
        return 1;
    }
    int saves = 0;
    QEventLoop loop;
    QObject::connect(saver, &AudioSaver::finished, &loop,
                     [&](int count, RenderJob::Outcome, const QString &error) {
                         saves = count;
                         if (!error.isEmpty())
                             std::fprintf(stderr, "save_audio_bench: %s\n", qPrintable(error));
                         loop.quit();
                     });
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::vector<double> during = saving.stop();

    std::printf("saved %d of %d songs of 40 s as FLAC in %.1f s, a song playing meanwhile\n", saves,
                songs, seconds);
    printTimes("answer while playing:", peer);
    const double longest = printTimes("answer while saving:", during);
    std::printf("longest_answer_while_saving_ms: %.2f  (target <= 100)\n", longest);
    return saves == songs ? 0 : 1;
}
