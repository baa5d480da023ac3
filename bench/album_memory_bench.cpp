// Giant albums: the memory and time of reading one, of loading it into the
// window's playlist, and of keeping that playlist in default.mal at the close.
// Each figure comes from a process of its own (the script runs one per mode),
// so that every peak is that step's alone:
//   album_memory_bench make FOLDER MB   songs and an album of about MB megabytes
//   album_memory_bench read FOLDER      the reader alone
//   album_memory_bench load FOLDER      AddPlayList on a window: the time, the
//                                       longest the window's thread was held,
//                                       the peak and what stays
//   album_memory_bench save FOLDER      the album loaded, then the window closed
#include "BenchSupport.h"
#include "playlist/AlbumFile.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Resident and peak resident memory of this process, in bytes.
qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field)))
                       .trimmed()
                       .split(' ')
                       .value(0)
                       .toLongLong() *
                   1024;
    }
    return 0;
}

// Starts a fresh peak: what the kernel reports as the high-water mark from
// now on is the resident size now, or more.
qint64 restartPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return statusBytes("VmRSS:");
}

double mb(qint64 bytes)
{
    return double(bytes) / (1024.0 * 1024.0);
}

// Loads the album into the window and runs the event loop until the load is
// over; returns the longest the window's thread went without turning (the
// call itself included), in milliseconds.
qint64 loadAndWait(frmMain &window, const QString &albumPath)
{
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    window.AddPlayList(albumPath, false);
    qint64 longest = sinceTurn.restart();
    QEventLoop loop;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, &loop, [&] {
        longest = std::max(longest, sinceTurn.restart());
        if (!window.albumLoading())
            loop.quit();
    });
    turn.start(5);
    if (window.albumLoading())
        loop.exec();
    return longest;
}

void make(const QString &folder, int megabytes)
{
    // 2 000 songs in 100 folders; the album names them over and over.
    QStringList songs;
    for (int i = 0; i < 2000; ++i) {
        const QString dir = folder + QStringLiteral("/f%1").arg(i % 100);
        QDir().mkpath(dir);
        songs.append(dir + QStringLiteral("/s%1.mid").arg(i));
        QFile(songs.last()).open(QIODevice::WriteOnly);
    }
    QFile album(folder + QStringLiteral("/giant.mal"));
    album.open(QIODevice::WriteOnly);
    const qint64 target = qint64(megabytes) << 20;
    QByteArray chunk;
    for (const QString &song : songs)
        chunk += song.toUtf8() + "\r\n";
    while (album.size() < target)
        album.write(chunk);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3)
        return 2;
    const QByteArray mode = argv[1];
    const QString folder = QString::fromLocal8Bit(argv[2]);
    if (mode == "make") {
        make(folder, argc > 3 ? std::atoi(argv[3]) : 100);
        return 0;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString albumPath = folder + QStringLiteral("/giant.mal");
    const qint64 size = QFileInfo(albumPath).size();

    if (mode == "read") {
        const qint64 before = restartPeak();
        QElapsedTimer t;
        t.start();
        const AlbumReadResult album = readAlbum(albumPath);
        const double ms = double(t.elapsed());
        const qint64 held = statusBytes("VmHWM:") - before;
        std::printf("album of %.0f MB, %lld entries\n", mb(size),
                    static_cast<long long>(album.entries.size()));
        std::printf("reader: %8.0f ms, peak %7.1f MB = %5.2f x the file   (target <= 2.5)\n", ms,
                    mb(held), double(held) / double(size));
        return 0;
    }

    const BenchServices bench(folder);
    frmMain window(bench.services);
    if (mode == "load") {
        const qint64 before = restartPeak();
        QElapsedTimer t;
        t.start();
        const qint64 longest = loadAndWait(window, albumPath);
        const double ms = double(t.elapsed());
        const qint64 held = statusBytes("VmHWM:") - before;
        const qint64 kept = statusBytes("VmRSS:") - before;
        std::printf("load into the playlist: %8.0f ms, %d entries, the window held at most "
                    "%lld ms   (target <= 100)\n",
                    ms, window.lstMIDI->ListCount(), static_cast<long long>(longest));
        std::printf("  peak %7.1f MB = %5.2f x the file, after %7.1f MB = %5.2f x the file   "
                    "(target <= 2.5)\n",
                    mb(held), double(held) / double(size), mb(kept), double(kept) / double(size));
        return 0;
    }
    if (mode == "save") {
        loadAndWait(window, albumPath);
        const qint64 before = restartPeak();
        QElapsedTimer t;
        t.start();
        window.Form_QueryUnload(); // writes default.mal into the folder
        const double ms = double(t.elapsed());
        const qint64 held = statusBytes("VmHWM:") - before;
        std::printf("default.mal kept at the close: %8.0f ms, peak growth %7.1f MB = %5.3f x "
                    "the file   (no copy of the playlist: well under 1)\n",
                    ms, mb(held), double(held) / double(size));
        QFile::remove(folder + QStringLiteral("/default.mal"));
        return 0;
    }
    return 2;
}
