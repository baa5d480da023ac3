// libFuzzer target for the album reader: any bytes read as an album (from a
// memory file, so no disk is touched) count every line once, as an entry or as
// missing, keep no line break or NUL inside an entry, hold no more than the
// file's size, and write back into an album that reads the same.
#include "playlist/AlbumFile.h"

#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// The lines a reader must see: CR LF, a lone CR or a lone LF ends one; the end
// of the file ends the last only when it holds something.
qint64 lineCount(const std::uint8_t *data, std::size_t size)
{
    qint64 lines = 0;
    bool open = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\n' && i > 0 && data[i - 1] == '\r')
            continue;
        if (data[i] == '\r' || data[i] == '\n') {
            ++lines;
            open = false;
        } else {
            open = true;
        }
    }
    return lines + (open ? 1 : 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir folder;
    const int fd = ::memfd_create("album", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != ssize_t(size))
        std::abort();
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const AlbumReadResult read = readAlbum(path);
    ::close(fd);
    if (!read.opened || !read.complete || read.outOfMemory)
        std::abort();
    if (read.entries.size() + read.missing != lineCount(data, size))
        std::abort();
    const QStringList entries = read.entries.toList();
    if (entries.size() != read.entries.size())
        std::abort();
    qsizetype held = 0;
    for (const QString &entry : entries) {
        held += entry.toUtf8().size() + 1;
        if (entry.contains(u'\n') || entry.contains(u'\r') || entry.contains(QChar(u'\0')))
            std::abort();
    }
    if (held > qsizetype(size) + 1)
        std::abort();

    // What was read writes back into an album that reads the same.
    const QString copy = folder.filePath(QStringLiteral("copy.mal"));
    if (!writeAlbum(copy, entries))
        std::abort();
    const AlbumReadResult again = readAlbum(copy);
    if (again.entries.toList() != entries || again.missing != 0)
        std::abort();
    return 0;
}
