// Album file reader and writer.
#include "playlist/AlbumFile.h"

#include "engine/RegularFile.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

AlbumReadResult readAlbum(const QString &FPath)
{
    AlbumReadResult result;
    // Only a regular file is read: a FIFO or a device never blocks the window.
    std::string why;
    const int fd = openRegularFile(QFile::encodeName(FPath).constData(), &why);
    if (fd < 0) {
        result.error = QString::fromLocal8Bit(why.c_str());
        return result;
    }
    result.opened = true;

    QByteArray line;
    bool lineTooLong = false;
    auto finishLine = [&] {
        if (lineTooLong) {
            ++result.missing;
        } else {
            const QString text = QString::fromUtf8(line);
            if (albumLineNamesFile(text))
                result.entries.append(text);
            else
                ++result.missing;
        }
        line.clear();
        lineTooLong = false;
    };

    // A line ends at CR LF, a lone CR or a lone LF; the end of the file ends
    // the last line only when that line holds something.
    bool afterCR = false;
    bool lineOpen = false;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), static_cast<std::size_t>(buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        const char *p = buffer.constData();
        const char *end = p + got;
        while (p < end) {
            const char c = *p;
            if (c == '\n' && afterCR) {
                afterCR = false;
                ++p;
                continue;
            }
            afterCR = false;
            if (c == '\r' || c == '\n') {
                afterCR = (c == '\r');
                finishLine();
                lineOpen = false;
                ++p;
                continue;
            }
            // Take the run of ordinary bytes up to the next line end at once.
            const char *runEnd = p;
            while (runEnd < end && *runEnd != '\r' && *runEnd != '\n')
                ++runEnd;
            lineOpen = true;
            if (!lineTooLong) {
                if (line.size() + (runEnd - p) > MaxLineBytes) {
                    lineTooLong = true;
                    line.clear();
                } else {
                    line.append(p, runEnd - p);
                }
            }
            p = runEnd;
        }
    }
    ::close(fd);
    if (lineOpen)
        finishLine();
    return result;
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

// Removes what interrupted writes of target left behind: "<target>.XXXXXX"
// files of this user that no writer holds (a writer keeps its temporary file
// locked until it is renamed).
void removeStaleTemporaries(const QByteArray &target)
{
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : target.left(std::max<qsizetype>(slash, 1));
    const QByteArray prefix = target.mid(slash + 1) + '.';
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
    QByteArray text;
    qsizetype size = 0;
    for (const QString &entry : Entries)
        size += entry.size() + 2;
    text.reserve(size);
    for (const QString &entry : Entries) {
        // A line break inside a path would split it into two lines.
        if (entry.contains(u'\n') || entry.contains(u'\r'))
            continue;
        text.append(entry.toUtf8());
        text.append("\r\n", 2);
    }

    // Written beside the target and renamed over it only once every byte is
    // on disk, so the old album survives any failure on the way. A link is
    // written through: its target is replaced, the link stays.
    const QByteArray target = writeTarget(QFile::encodeName(FPath));
    removeStaleTemporaries(target);
    QByteArray temp = target + ".XXXXXX";
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
    const char *p = text.constData();
    qsizetype left = text.size();
    int code = 0;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            code = errno;
            break;
        }
        p += n;
        left -= n;
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
