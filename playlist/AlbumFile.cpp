// Album file reader and writer.
#include "playlist/AlbumFile.h"

#include <QFile>
#include <cerrno>
#include <cstring>
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
    QFile file(FPath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
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
        const qint64 got = file.read(buffer.data(), buffer.size());
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
    if (lineOpen)
        finishLine();
    return result;
}

bool writeAlbum(const QString &FPath, const QStringList &Entries, QString *error)
{
    QByteArray text;
    qsizetype size = 0;
    for (const QString &entry : Entries)
        size += entry.size() + 2;
    text.reserve(size);
    for (const QString &entry : Entries) {
        text.append(entry.toUtf8());
        text.append("\r\n", 2);
    }

    // Written beside the target and renamed over it only once every byte is
    // on disk, so the old album survives any failure on the way.
    const QByteArray target = QFile::encodeName(FPath);
    QByteArray temp = target + ".XXXXXX";
    auto fail = [&](int code) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(code));
        return false;
    };
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(errno);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
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
    if (::close(fd) != 0 && code == 0)
        code = errno;
    if (code == 0 && ::rename(temp.constData(), target.constData()) != 0)
        code = errno;
    if (code != 0) {
        ::unlink(temp.constData());
        return fail(code);
    }
    return true;
}
