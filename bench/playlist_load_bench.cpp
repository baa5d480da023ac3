// Loading a long album into the playlist, display list included, against the
// bare cost of checking that its files exist.
#include "BenchSupport.h"
#include "playlist/AlbumLoad.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <limits>
#include <sys/stat.h>

namespace {

struct Album
{
    QString path;
    QStringList lines;
};

// An album of `lines` lines, every other one naming an existing file.
Album makeAlbum(const QTemporaryDir &dir, int lines)
{
    Album album;
    album.path = dir.filePath(QStringLiteral("bench-%1.mal").arg(lines));
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        const QString folder = dir.filePath(QStringLiteral("f%1").arg(i / 2 % 100));
        const QString song = folder + QStringLiteral("/song %1.mid").arg(i / 2);
        const QString line = i % 2 == 0 ? song : song + QStringLiteral(".missing");
        album.lines.append(line);
        text += line.toUtf8() + "\r\n";
    }
    QFile f(album.path);
    f.open(QIODevice::WriteOnly);
    f.write(text);
    return album;
}

void makeFiles(const QTemporaryDir &dir, int count)
{
    for (int i = 0; i < 100; ++i)
        QDir().mkpath(dir.filePath(QStringLiteral("f%1").arg(i)));
    for (int i = 0; i < count; ++i) {
        QFile f(dir.filePath(QStringLiteral("f%1/song %2.mid").arg(i % 100).arg(i)));
        f.open(QIODevice::WriteOnly);
    }
}

double bareExistenceMs(const Album &album)
{
    return medianMs(5, [&] {
        int found = 0;
        struct stat info;
        for (const QString &line : album.lines) {
            if (::stat(QFile::encodeName(line).constData(), &info) == 0 && S_ISREG(info.st_mode))
                ++found;
        }
        if (found == 0)
            std::printf("no file found?\n");
    });
}

double loadMs(const MainWindowServices &services, const Album &album)
{
    // The reading itself is timed: read on the window's thread, whatever
    // the album's size.
    albumLoadPolicy().inlineUpTo = std::numeric_limits<qint64>::max();
    return medianMs(5, [&] {
        frmMain window(services);
        window.AddPlayList(album.path, false);
        if (window.lstMIDI->ListCount() * 2 != album.lines.size())
            std::printf("unexpected count %d\n", window.lstMIDI->ListCount());
    });
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    makeFiles(dir, 50000);
    const Album small = makeAlbum(dir, 10000);
    const Album large = makeAlbum(dir, 100000);

    const BenchServices bench(dir.path());
    const MainWindowServices &services = bench.services;

    loadMs(services, small); // warm the caches
    const double small_ms = loadMs(services, small);
    const double large_ms = loadMs(services, large);
    const double bare_ms = bareExistenceMs(large);
    std::printf("album load, 10 000 lines:            %8.1f ms\n", small_ms);
    std::printf("album load, 100 000 lines:           %8.1f ms\n", large_ms);
    std::printf("growth 10 000 -> 100 000 lines:      %8.2f x   (target <= 12)\n",
                large_ms / small_ms);
    std::printf("bare existence check, 100 000 lines: %8.1f ms\n", bare_ms);
    std::printf("load / bare existence check:         %8.2f x   (target <= 3)\n",
                large_ms / bare_ms);
    return 0;
}
