// The instance link's socket and lock calls; see LinkSockets.h.
#include "platform/LinkSockets.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace linksockets {

// A folder only this user can change: a real folder (no link) owned by the
// user and writable by nobody else. Strict also refuses reading by others.
bool privateFolder(const QByteArray &path, bool strict)
{
    struct stat info;
    if (::lstat(path.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if (info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & (strict ? mode_t(077) : mode_t(022))) == 0;
}

namespace {

// Room for the socket path in sockaddr_un, with its terminating NUL.
constexpr std::size_t MaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

bool fillAddress(const QString &path, sockaddr_un *address)
{
    const QByteArray native = QFile::encodeName(path);
    if (static_cast<std::size_t>(native.size()) > MaxSocketPath)
        return false;
    *address = sockaddr_un{};
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, native.constData(), static_cast<std::size_t>(native.size()));
    return true;
}

} // namespace

bool fitsSocketAddress(const QString &path)
{
    return static_cast<std::size_t>(QFile::encodeName(path).size()) <= MaxSocketPath;
}

// An exclusive flock on path, without waiting; the descriptor holds it, or -1.
int tryLock(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return -1;
    struct stat info;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Whether a lock file exists that can never be taken (not ours, not a file):
// then the lock decides nothing.
bool lockUsable(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    if (fd < 0)
        return false;
    struct stat info;
    const bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    return usable;
}

// Connects to the socket at path; fd receives the connected socket, made
// non-blocking for the deadline-bound writes and reads that follow.
Connect connectTo(const QString &path, qint64 timeoutMs, int *fd)
{
    sockaddr_un address;
    if (!fillAddress(path, &address))
        return Connect::Failed;
    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return Connect::Failed;
    // A blocking connect to a Unix socket whose queue is full waits for room
    // up to the send time-out.
    timeoutMs = std::clamp<qint64>(timeoutMs, 1, 1 << 30);
    timeval limit{static_cast<time_t>(timeoutMs / 1000),
                  static_cast<suseconds_t>((timeoutMs % 1000) * 1000)};
    ::setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int rc;
    do {
        rc = ::connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        ::close(s);
        if (error == ENOENT)
            return Connect::NoServer;
        if (error == ECONNREFUSED || error == ENOTSOCK)
            return Connect::Stale;
        // EAGAIN: the queue stayed full for the whole time-out; the instance
        // is there but busy.
        return Connect::Failed;
    }
    ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK);
    *fd = s;
    return Connect::Connected;
}

// Waits for fd to become ready for events; false on a time-out or an error.
// A deadline that never expires waits as long as it takes.
bool waitReady(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const qint64 remaining = deadline.remainingTime(); // -1: forever
        const int rc = ::poll(&p, 1, static_cast<int>(std::min<qint64>(remaining, 1 << 30)));
        if (rc > 0)
            return true; // ready, or an error the next call reports
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

bool writeAll(int fd, const QByteArray &data, const QDeadlineTimer &deadline)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + done,
                                 static_cast<std::size_t>(data.size() - done), MSG_NOSIGNAL);
        if (n > 0) {
            done += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitReady(fd, POLLOUT, deadline))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

// One byte from fd before the deadline.
Read readByte(int fd, const QDeadlineTimer &deadline, char *byte)
{
    for (;;) {
        const ssize_t n = ::recv(fd, byte, 1, 0);
        if (n == 1)
            return Read::Byte;
        if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return Read::Ended;
        if (!waitReady(fd, POLLIN, deadline))
            return deadline.hasExpired() ? Read::TimedOut : Read::Ended;
    }
}

// The user id of the process at the other end of a connected socket.
bool peerIsThisUser(int fd)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == ::geteuid();
}

// A listening socket at path, made for its owner only; -1 when it cannot be
// made. *device and *inode receive the socket file's identity.
int makeListener(const QString &path, dev_t *device, ino_t *inode)
{
    sockaddr_un address;
    if (!fillAddress(path, &address))
        return -1;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return -1;
    // Made for its owner only from the start: no moment where others may connect.
    const mode_t mask = ::umask(077);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::umask(mask);
    struct stat info;
    // As long a queue as the system grants: starts that come while the player
    // is stopped wait there instead of being turned away.
    if (bound != 0 || ::listen(fd, SOMAXCONN) != 0 || ::stat(address.sun_path, &info) != 0) {
        if (bound == 0)
            ::unlink(address.sun_path);
        ::close(fd);
        return -1;
    }
    *device = info.st_dev;
    *inode = info.st_ino;
    return fd;
}

// Removes what stands at the socket path, unless it is a folder.
void removeStale(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::lstat(native.constData(), &info) == 0 && !S_ISDIR(info.st_mode))
        ::unlink(native.constData());
}

} // namespace linksockets
