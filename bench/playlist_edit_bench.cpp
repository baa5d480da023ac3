// Editing long playlists on a shown window: removing half of the entries,
// clearing, shuffling, sorting, moving one entry and saving the album, at
// 10 000 and 100 000 entries. Each figure includes the list view's own work
// afterwards (the events it queued, layout and painting): what the user waits
// for. Wall time and the thread's CPU time are both given; on a machine busy
// with other work the wall time also counts the waits for a processor.
#include "BenchSupport.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <cstdio>
#include <ctime>
#include <functional>

namespace {

// Answers the save dialog with one path.
class SaveTo : public BenchDialogs
{
public:
    explicit SaveTo(QString path) : m_path(std::move(path)) {}
    std::optional<QString> ShowSave(const FileDialogSetup &) override { return m_path; }

private:
    QString m_path;
};

// A collection of albums of 20 songs, 10 albums an artist, in a scattered
// order: a larger playlist has more artists, not longer albums.
QStringList makePaths(int count)
{
    QStringList paths;
    paths.reserve(count);
    for (int i = 0; i < count; ++i) {
        const int song = static_cast<int>((static_cast<qint64>(i) * 7919) % count);
        paths.append(QStringLiteral("/home/user/Music/MIDI/Artist %1/Album %2/%3 Song Title.mid")
                         .arg(song / 200)
                         .arg(song / 20 % 10)
                         .arg(song % 20, 2, 10, QLatin1Char('0')));
    }
    return paths;
}

double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Median wall and CPU milliseconds.
struct Time
{
    double wall = 0;
    double cpu = 0;
};

Time median(std::vector<double> wall, std::vector<double> cpu)
{
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

struct Figures
{
    Time removeScattered, removeBlock, clear, shuffle, sort, move, save;
};

class Bench
{
public:
    Bench(const MainWindowServices &services, int size)
        : m_window(services), m_paths(makePaths(size))
    {
        m_window.Global.ResetMode = 0;
        m_window.show();
        QApplication::processEvents();
    }

    frmMain &window() { return m_window; }

    // Median over runs of op, each on a freshly filled playlist after setup;
    // the refill and the setup are not timed.
    Time time(int runs, const std::function<void()> &setup, const std::function<void()> &op)
    {
        std::vector<double> wall, cpu;
        for (int i = 0; i < runs; ++i) {
            refill();
            setup();
            const Time t = once(op);
            wall.push_back(t.wall);
            cpu.push_back(t.cpu);
        }
        return median(wall, cpu);
    }

    // One call of op with the events it leaves behind.
    static Time once(const std::function<void()> &op)
    {
        QElapsedTimer clock;
        const double cpuStart = threadCpuMs();
        clock.start();
        op();
        QApplication::processEvents();
        return {static_cast<double>(clock.nsecsElapsed()) / 1e6, threadCpuMs() - cpuStart};
    }

    void refill()
    {
        m_window.btnClear_Click();
        m_window.lstPlay.append(m_paths);
        m_window.UpdateMIDI();
        m_window.setPlayIndex(static_cast<int>(m_paths.size()) / 2);
        QApplication::processEvents();
    }

    // Selects the rows for which pick is true, each run of rows as one range
    // (as a Shift-click makes it), with the focus on the first.
    void select(const std::function<bool(int)> &pick)
    {
        QItemSelection selection;
        QAbstractItemModel *rows = m_window.lstMIDI->model();
        const int count = rows->rowCount();
        int first = -1;
        for (int i = 0; i < count; ++i) {
            if (!pick(i))
                continue;
            int last = i;
            while (last + 1 < count && pick(last + 1))
                ++last;
            if (first < 0)
                first = i;
            selection.select(rows->index(i, 0), rows->index(last, 0));
            i = last;
        }
        // Hidden while the selection is made: repainting 50 000 separate
        // ranges is the set-up's cost, not the removal's.
        m_window.hide();
        m_window.lstMIDI->selectionModel()->select(selection, QItemSelectionModel::Select);
        m_window.lstMIDI->selectionModel()->setCurrentIndex(rows->index(first, 0),
                                                            QItemSelectionModel::NoUpdate);
        m_window.show();
        QApplication::processEvents();
    }

private:
    frmMain m_window;
    QStringList m_paths;
};

Figures measure(MainWindowServices services, int size, const QString &albumPath)
{
    SaveTo dialogs(albumPath);
    services.dlg = &dialogs;
    Bench bench(services, size);
    frmMain &w = bench.window();
    const int runs = 5;
    const int half = size / 2;
    auto nothing = [] {
    };
    auto remove = [&] {
        w.btnRemove_Click();
    };

    Figures f;
    f.removeScattered = bench.time(
        runs, [&] { bench.select([](int i) { return i % 2 == 1; }); }, remove);
    f.removeBlock = bench.time(
        runs, [&] { bench.select([&](int i) { return i >= half / 2 && i < half / 2 + half; }); },
        remove);
    f.clear = bench.time(runs, nothing, [&] { w.btnClear_Click(); });
    f.shuffle = bench.time(runs, nothing, [&] { w.btnRn_Click(); });
    f.sort = bench.time(
        runs, [&] { w.btnRn_Click(); }, [&] { w.btnSort_Click(); });
    f.save = bench.time(runs, nothing, [&] { w.btnSave_Click(); });

    // Up and down in turn on one entry in the middle.
    bench.refill();
    bench.select([&](int i) { return i == half; });
    std::vector<double> wall, cpu;
    for (int i = 0; i < 101; ++i) {
        const Time t = Bench::once([&] { i % 2 == 0 ? w.btnUp_Click() : w.btnDn_Click(); });
        wall.push_back(t.wall);
        cpu.push_back(t.cpu);
    }
    f.move = median(wall, cpu);
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Sorting collates in the user's language; a bare C locale would compare
    // code points, which is not what a user of the player meets.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QTemporaryDir dir;
    const BenchServices bench(dir.path());
    const QString album = dir.filePath(QStringLiteral("bench.mal"));

    measure(bench.services, 10000, album); // warm the caches
    const Figures small = measure(bench.services, 10000, album);
    const Figures large = measure(bench.services, 100000, album);

    struct Row
    {
        const char *what;
        Time Figures::*figure;
        double target;
    };
    const Row rows[] = {
        {"remove every other entry (50 %)", &Figures::removeScattered, 100},
        {"remove one block (50 %)", &Figures::removeBlock, 100},
        {"clear", &Figures::clear, 50},
        {"shuffle", &Figures::shuffle, 100},
        {"sort", &Figures::sort, 500},
        {"up / down", &Figures::move, 5},
        {"save", &Figures::save, 300},
    };
    std::printf("median ms: wall (cpu)           %18s %20s %15s %8s  verdict: wall, cpu\n",
                "10 000", "100 000", "growth", "target");
    for (const Row &row : rows) {
        const Time a = small.*row.figure;
        const Time b = large.*row.figure;
        const double wallGrowth = b.wall / a.wall;
        const double cpuGrowth = b.cpu / std::max(a.cpu, 0.001);
        const bool wallMet = b.wall <= row.target && wallGrowth <= 12;
        const bool cpuMet = b.cpu <= row.target && cpuGrowth <= 12;
        std::printf("%-32s %9.2f (%6.2f) %10.2f (%7.2f) %6.1fx (%4.1fx) %6.0f ms  %s, %s\n",
                    row.what, a.wall, a.cpu, b.wall, b.cpu, wallGrowth, cpuGrowth, row.target,
                    wallMet ? "met" : "MISSED", cpuMet ? "met" : "MISSED");
    }
    std::printf("targets at 100 000 entries; growth 10 000 -> 100 000 at most 12x. Wall time\n"
                "counts waits for a processor too: on a busy machine read the cpu figures.\n");
    return 0;
}
