// The folder walk against find(1) on the same trees, and its growth with the
// size of the tree.
//
//   folder_scan_bench WORKDIR [RUNS]
//
// Builds two trees under WORKDIR (2 000 MIDI files in 200 folders, 20 000 in
// 2 000; each folder also holds one file that is no MIDI file), warms the
// cache, then takes the median of RUNS runs of each: our walk in this process,
// and `find DIR -iname '*.mid'` as its own process with its output thrown
// away (its time includes starting it).
#include "playlist/FolderScan.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// folders in two levels (about the square root of them at the top), files
// spread evenly, every fifth with the extension in capitals.
void makeTree(const QString &root, int folders, int files)
{
    const int top = std::max(1, static_cast<int>(std::lround(std::sqrt(folders))));
    std::vector<QString> all;
    for (int t = 0; t < top; ++t)
        all.push_back(root + QStringLiteral("/Artist %1").arg(t, 3, 10, QLatin1Char('0')));
    for (int s = 0; s < folders - top; ++s)
        all.push_back(all[static_cast<std::size_t>(s % top)] +
                      QStringLiteral("/Album %1").arg(s, 4, 10, QLatin1Char('0')));
    int made = 0;
    for (std::size_t f = 0; f < all.size(); ++f) {
        QDir().mkpath(all[f]);
        const int here = files / folders + (static_cast<int>(f) < files % folders ? 1 : 0);
        for (int i = 0; i < here; ++i, ++made) {
            QFile(all[f] + QStringLiteral("/Track %1.%2")
                               .arg(i, 2, 10, QLatin1Char('0'))
                               .arg(made % 5 == 0 ? QStringLiteral("MID") : QStringLiteral("mid")))
                .open(QIODevice::WriteOnly);
        }
        QFile(all[f] + QStringLiteral("/cover.jpg")).open(QIODevice::WriteOnly);
    }
}

double runFind(const QString &root)
{
    const QByteArray dir = QFile::encodeName(root);
    char find[] = "find", iname[] = "-iname", pattern[] = "*.mid";
    char *argv[] = {find, const_cast<char *>(dir.constData()), iname, pattern, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "find", &actions, nullptr, argv, environ) != 0) {
        std::perror("find");
        std::exit(1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto end = Clock::now();
    posix_spawn_file_actions_destroy(&actions);
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double runWalk(const QString &root, qsizetype expected)
{
    const auto start = Clock::now();
    const QStringList found = scanFolderTree(root);
    const auto end = Clock::now();
    if (found.size() != expected) {
        std::fprintf(stderr, "the walk found %lld files, not %lld\n",
                     static_cast<long long>(found.size()), static_cast<long long>(expected));
        std::exit(1);
    }
    return std::chrono::duration<double, std::milli>(end - start).count();
}

double median(const std::function<double()> &run, int runs)
{
    run(); // warms the cache
    run();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(run());
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

struct Figures
{
    double walk;
    double find;
};

Figures measure(const QString &workDir, const char *name, int folders, int files, int runs)
{
    const QString root = workDir + u'/' + QLatin1String(name);
    makeTree(root, folders, files);
    Figures f{};
    f.walk = median([&] { return runWalk(root, files); }, runs);
    f.find = median([&] { return runFind(root); }, runs);
    std::printf("%6d MIDI files in %5d folders: walk %8.2f ms   find %8.2f ms   walk/find %.2f\n",
                files, folders, f.walk, f.find, f.walk / f.find);
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s WORKDIR [RUNS]\n", argv[0]);
        return 2;
    }
    const QString workDir = QFile::decodeName(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    std::printf("folder walk against find -iname '*.mid' (median of %d runs, warm cache)\n", runs);
    const Figures small = measure(workDir, "small", 200, 2000, runs);
    const Figures large = measure(workDir, "large", 2000, 20000, runs);
    std::printf("target: walk at most 2 x find on the large tree: %s (%.2f)\n",
                large.walk <= 2 * large.find ? "met" : "NOT met", large.walk / large.find);
    std::printf("growth 2 000 -> 20 000 files: walk x%.1f, find x%.1f (linear: about 10)\n",
                large.walk / small.walk, large.find / small.find);
    return 0;
}
