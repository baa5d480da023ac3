// Plain socket and lock calls shared by the two sides of the instance link
// (InstanceLink.h describes the link). POSIX only; every wait has a deadline.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <sys/types.h>

namespace linksockets {

// The answers on the wire.
constexpr char Refused = 0;
constexpr char Accepted = 1;
constexpr char Received = 2;

// A folder only this user can change: a real folder (no link) owned by the
// user and writable by nobody else. Strict also refuses reading by others.
bool privateFolder(const QByteArray &path, bool strict);
// Whether path fits a Unix socket address.
bool fitsSocketAddress(const QString &path);

// An exclusive flock on path, without waiting; the descriptor holds it, or -1.
int tryLock(const QString &path);
// Whether the lock file at path can be had at all (it is, or can be made as,
// a regular file of ours); a lock that never can decides nothing.
bool lockUsable(const QString &path);

enum class Connect { Connected, NoServer, Stale, Failed };
// Connects to the socket at path within timeoutMs; *fd receives the connected
// socket, non-blocking for the deadline-bound calls below. Failed includes a
// queue that stayed full (the server is there but busy).
Connect connectTo(const QString &path, qint64 timeoutMs, int *fd);

// Waits for fd to become ready for events; false on a time-out or an error.
// A deadline that never expires waits as long as it takes.
bool waitReady(int fd, short events, const QDeadlineTimer &deadline);
bool writeAll(int fd, const QByteArray &data, const QDeadlineTimer &deadline);
enum class Read { Byte, Ended, TimedOut };
// One byte from fd before the deadline.
Read readByte(int fd, const QDeadlineTimer &deadline, char *byte);

// Whether the process at the other end of a connected socket is this user's.
bool peerIsThisUser(int fd);
// A listening socket at path, made for its owner only; -1 when it cannot be
// made. *device and *inode receive the socket file's identity.
int makeListener(const QString &path, dev_t *device, ino_t *inode);
// Removes what stands at path, unless it is a folder.
void removeStale(const QString &path);

} // namespace linksockets
