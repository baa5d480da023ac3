// Album file reader and writer.
#include "playlist/AlbumFile.h"

#include "engine/RegularFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// Longer lines cannot be paths (PATH_MAX is 4096 bytes on Linux).
constexpr qsizetype MaxLineBytes = 8192;

bool isHiddenName(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype start = slash + 1;
    return start < path.size() && path.at(start) == u'.';
}

} // namespace

bool albumLineNamesFile(const QString &Line)
{
    if (Line.trimmed().isEmpty())
        return false;
    if (Line.contains(QChar(u'\0')) || Line.contains(QChar::ReplacementCharacter))
        return false;
    if (isHiddenName(Line))
        return false;
    struct stat info;
    if (::stat(QFile::encodeName(Line).constData(), &info) != 0)
        return false;
    return S_ISREG(info.st_mode);
}

void AlbumEntries::forEach(const std::function<void(const QString &)> &f) const
{
    const char *p = m_bytes.constData();
    const char *const end = p + m_bytes.size();
    while (p < end) {
        const char *entryEnd =
            static_cast<const char *>(std::memchr(p, '\0', std::size_t(end - p)));
        if (!entryEnd)
            entryEnd = end;
        f(QString::fromUtf8(p, entryEnd - p));
        p = entryEnd + 1;
    }
}

QStringList AlbumEntries::toList() const
{
    QStringList list;
    list.reserve(m_count);
    forEach([&](const QString &entry) { list.append(entry); });
    return list;
}

QByteArray AlbumEntries::takeBytes()
{
    m_count = 0;
    return std::exchange(m_bytes, QByteArray());
}

AlbumReader::AlbumReader(const QString &FPath)
{
    // Only a regular file is read: a FIFO or a device never blocks the reader.
    std::string why;
    m_fd = openRegularFile(QFile::encodeName(FPath).constData(), &why);
    if (m_fd < 0) {
        m_result.error = QString::fromLocal8Bit(why.c_str());
        m_ended = true;
        return;
    }
    m_result.opened = true;
    struct stat info;
    if (::fstat(m_fd, &info) == 0)
        m_size = info.st_size;
}

AlbumReader::~AlbumReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

void AlbumReader::finishLine()
{
    if (!m_lineTooLong && albumLineNamesFile(QString::fromUtf8(m_line))) {
        m_result.entries.m_bytes.append(m_line).append('\0');
        ++m_result.entries.m_count;
    } else {
        ++m_result.missing;
    }
    m_line.resize(0);
    m_lineTooLong = false;
    m_lineOpen = false;
}

bool AlbumReader::readSome(qint64 maxBytes)
{
    if (m_ended)
        return false;
    try {
        // The entries never take more than the file (each kept line gives up
        // its line end for the NUL after it), so room for that is had at once.
        if (m_done == 0)
            m_result.entries.m_bytes.reserve(qsizetype(m_size) + 1);
        char buffer[64 * 1024];
        while (maxBytes > 0) {
            const ssize_t got =
                ::read(m_fd, buffer, std::size_t(std::min<qint64>(maxBytes, sizeof buffer)));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                m_result.error = QString::fromLocal8Bit(std::strerror(errno));
                m_ended = true;
                return false;
            }
            if (got == 0) {
                // The end of the file ends the last line only when that line
                // holds something.
                if (m_lineOpen)
                    finishLine();
                m_result.complete = true;
                m_ended = true;
                return false;
            }
            m_done += got;
            maxBytes -= got;
            // A line ends at CR LF, a lone CR or a lone LF.
            const char *p = buffer;
            const char *const end = buffer + got;
            while (p < end) {
                const char c = *p;
                if (c == '\n' && m_afterCR) {
                    m_afterCR = false;
                    ++p;
                    continue;
                }
                m_afterCR = false;
                if (c == '\r' || c == '\n') {
                    m_afterCR = (c == '\r');
                    finishLine();
                    ++p;
                    continue;
                }
                // Take the run of ordinary bytes up to the next line end at once.
                const char *runEnd = p;
                while (runEnd < end && *runEnd != '\r' && *runEnd != '\n')
                    ++runEnd;
                m_lineOpen = true;
                if (!m_lineTooLong) {
                    if (m_line.size() + (runEnd - p) > MaxLineBytes) {
                        m_lineTooLong = true;
                        m_line.resize(0);
                    } else {
                        m_line.append(p, runEnd - p);
                    }
                }
                p = runEnd;
            }
        }
        return true;
    } catch (const std::bad_alloc &) {
        m_result.entries = AlbumEntries();
        m_result.outOfMemory = true;
        m_result.error = QString::fromLocal8Bit(std::strerror(ENOMEM));
        m_ended = true;
        return false;
    }
}

AlbumReadResult AlbumReader::take()
{
    m_ended = true;
    return std::move(m_result);
}

AlbumReadResult readAlbum(const QString &FPath,
                          const std::function<bool(qint64 done, qint64 total)> &progress)
{
    AlbumReader reader(FPath);
    while (reader.readSome()) {
        if (progress && !progress(reader.position(), reader.size()))
            break;
    }
    return reader.take();
}

namespace {

// The file a write to path lands in: path itself, or, when path is a symbolic
// link, the file the chain of links ends at (which need not exist yet), so
// that the link stays a link.
QByteArray writeTarget(const QByteArray &path)
{
    QByteArray current = path;
    for (int depth = 0; depth < 40; ++depth) {
        QByteArray target(4096, Qt::Uninitialized);
        const ssize_t n =
            ::readlink(current.constData(), target.data(), static_cast<std::size_t>(target.size()));
        if (n < 0 || n >= target.size())
            return current; // not a link (or nothing there)
        target.truncate(n);
        if (!target.startsWith('/')) {
            const qsizetype slash = current.lastIndexOf('/');
            target.prepend(slash < 0 ? QByteArray() : current.left(slash + 1));
        }
        current = target;
    }
    return current;
}

// Removes what interrupted writes of target left behind: "<target>.saving-XXXXXX"
// files of this user that no writer holds (a writer keeps its temporary file
// locked until it is renamed). The marker keeps the user's own files, such as
// "<target>.backup", out of reach.
constexpr char TemporaryMarker[] = ".saving-";

void removeStaleTemporaries(const QByteArray &target)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : target.left(std::max<qsizetype>(slash, 1));
    const QByteArray prefix = target.mid(slash + 1) + TemporaryMarker;
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.size() != prefix.size() + 6 || !name.startsWith(prefix))
            continue;
        const QByteArray suffix = name.mid(prefix.size());
        const bool madeByMkstemp = std::all_of(suffix.begin(), suffix.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        });
        if (!madeByMkstemp)
            continue;
        const int fd = ::openat(::dirfd(dir), name.constData(),
                                O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::geteuid() &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            ::unlinkat(::dirfd(dir), name.constData(), 0);
        ::close(fd);
    }
    ::closedir(dir);
}

} // namespace

bool writeAlbum(const QString &FPath, const QStringList &Entries, QString *error)
{
    return writeAlbum(
        FPath, Entries.size(), [&](qsizetype i) { return Entries.at(i); }, error);
}

bool writeAlbum(const QString &FPath, qsizetype count,
                const std::function<QString(qsizetype)> &entryAt, QString *error)
{
    // Written beside the target and renamed over it only once every byte is
    // on disk, so the old album survives any failure on the way. A link is
    // written through: its target is replaced, the link stays.
    const QByteArray target = writeTarget(QFile::encodeName(FPath));
    removeStaleTemporaries(target);
    QByteArray temp = target + TemporaryMarker + "XXXXXX";
    auto fail = [&](int code) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(code));
        return false;
    };
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(errno);
    // Held until the rename, so that no other writer takes it for stale.
    ::flock(fd, LOCK_EX | LOCK_NB);
    struct stat old;
    if (::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode)) {
        ::fchmod(fd, old.st_mode & 07777); // a replaced album keeps its permissions
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    int code = 0;
    const auto writeOut = [&](const QByteArray &bytes) {
        const char *p = bytes.constData();
        qsizetype left = bytes.size();
        while (left > 0 && code == 0) {
            const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
            if (n < 0 && errno != EINTR)
                code = errno;
            if (n > 0) {
                p += n;
                left -= n;
            }
        }
    };
    try {
        // Streamed through a small buffer: however long the playlist, no copy
        // of it is made.
        constexpr qsizetype Chunk = 64 * 1024;
        QByteArray buffer;
        buffer.reserve(Chunk + 8192);
        for (qsizetype i = 0; i < count && code == 0; ++i) {
            const QString entry = entryAt(i);
            // A line break inside a path would split it into two lines.
            if (entry.contains(u'\n') || entry.contains(u'\r'))
                continue;
            buffer.append(entry.toUtf8()).append("\r\n", 2);
            if (buffer.size() >= Chunk) {
                writeOut(buffer);
                buffer.resize(0);
            }
        }
        writeOut(buffer);
    } catch (const std::bad_alloc &) {
        code = ENOMEM;
    }
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (code == 0 && ::rename(temp.constData(), target.constData()) != 0)
        code = errno;
    if (code != 0)
        ::unlink(temp.constData());
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code != 0)
        return fail(code);
    return true;
}
