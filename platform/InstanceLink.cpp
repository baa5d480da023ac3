// The link between starts of the program: the probe under the lock, the
// sending side on plain blocking-with-deadline socket calls, and the serving
// side on a listening socket of its own (accepted connections are served by
// QLocalSocket).
#include "platform/InstanceLink.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

const char SocketName[] = "Sonabel.Sonalink";
const char LockSuffix[] = ".lock";

constexpr char Accepted = 1;
constexpr char Refused = 0;
// Per-connection state kept on the client socket object.
const char BufferProperty[] = "sonabel_link_buffer";

// Room for the socket path in sockaddr_un, with its terminating NUL.
constexpr std::size_t MaxSocketPath = sizeof(sockaddr_un::sun_path) - 1;

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

bool socketPathFits(const QString &folder)
{
    return static_cast<std::size_t>(QFile::encodeName(InstanceLink::socketPath(folder)).size()) <=
           MaxSocketPath;
}

// Holds an exclusive flock on a file while it lives. Waits up to timeoutMs;
// when the lock cannot be had in that time the holder goes on without it
// rather than never start.
class LockFile
{
public:
    LockFile(const QString &path, int timeoutMs)
    {
        m_fd = ::open(QFile::encodeName(path).constData(),
                      O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (m_fd < 0)
            return;
        QDeadlineTimer deadline(timeoutMs);
        while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) || deadline.hasExpired()) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
            ::usleep(2000);
        }
    }
    ~LockFile()
    {
        if (m_fd >= 0)
            ::close(m_fd); // closing lets the lock go
    }
    LockFile(const LockFile &) = delete;
    LockFile &operator=(const LockFile &) = delete;

private:
    int m_fd = -1;
};

enum class Connect { Connected, NoServer, Stale, Failed };

// Connects to the socket at path; fd receives the connected socket, made
// non-blocking for the deadline-bound writes and reads that follow.
Connect connectTo(const QString &path, int timeoutMs, int *fd)
{
    const QByteArray native = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(native.size()) > MaxSocketPath)
        return Connect::Failed;
    std::memcpy(address.sun_path, native.constData(), static_cast<std::size_t>(native.size()));

    const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return Connect::Failed;
    // A blocking connect to a Unix socket whose queue is full waits for room
    // up to the send time-out.
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
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
        if (error == ECONNREFUSED)
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
bool waitReady(int fd, short events, const QDeadlineTimer &deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const qint64 remaining = deadline.remainingTime();
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

// The user id of the process at the other end of a connected socket.
bool peerIsThisUser(qintptr fd)
{
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(static_cast<int>(fd), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == ::geteuid();
}

} // namespace

QString InstanceLink::defaultFolder()
{
    // Places a later start finds the same way; each must be a private folder,
    // so a name another user made first is passed over, never used.
    const auto usable = [](const QString &folder, bool strict) {
        return privateFolder(QFile::encodeName(folder), strict) && socketPathFits(folder);
    };
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && usable(QFile::decodeName(runtime), false))
        return QFile::decodeName(runtime);
    const QString uid = QString::number(::geteuid());
    const QString systemRuntime = QStringLiteral("/run/user/") + uid;
    if (usable(systemRuntime, false))
        return systemRuntime;
    // The user's own cache folder: nobody else can create names in it.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.startsWith(u'/')) {
        QDir().mkpath(cache);
        const QString folder = cache + QStringLiteral("/sonabel-link");
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
        if (usable(folder, true))
            return folder;
    }
    const QString folder = QDir::tempPath() + QStringLiteral("/sonabel-") + uid;
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    if (usable(folder, true))
        return folder;
    return QString();
}

QString InstanceLink::socketPath(const QString &folder)
{
    return folder + u'/' + QLatin1String(SocketName);
}

QString InstanceLink::lockPath(const QString &folder)
{
    return socketPath(folder) + QLatin1String(LockSuffix);
}

InstanceLink::InstanceLink(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder)
{}

InstanceLink::~InstanceLink()
{
    close();
    if (m_clientFd >= 0)
        ::close(m_clientFd);
}

InstanceLink::Probe InstanceLink::probe()
{
    // Without a private folder there is no link to find or to offer.
    if (m_folder.isEmpty() || !socketPathFits(m_folder))
        return Probe::FirstInstance;

    LockFile lock(lockPath(m_folder), timeouts.lockMs);
    const QString path = socketPath(m_folder);
    switch (connectTo(path, timeouts.connectMs, &m_clientFd)) {
    case Connect::Connected:
    case Connect::Failed:
        return Probe::InstanceRunning;
    case Connect::Stale:
        // Left behind by an instance that did not end normally; nobody listens.
        ::unlink(QFile::encodeName(path).constData());
        break;
    case Connect::NoServer:
        break;
    }
    listen();
    return Probe::FirstInstance;
}

InstanceLink::Delivery InstanceLink::execute(const QString &Text)
{
    const QByteArray text = Text.toUtf8();
    if (text.size() > MaxMessageBytes) {
        if (m_clientFd >= 0)
            ::close(m_clientFd);
        m_clientFd = -1;
        return Delivery::Refused;
    }
    QByteArray message(4, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(text.size()), message.data());
    message += text;

    const QString path = socketPath(m_folder);
    int pause = timeouts.retryMs;
    for (int attempt = 0; attempt < std::max(1, timeouts.attempts); ++attempt) {
        if (attempt > 0) {
            ::usleep(static_cast<useconds_t>(pause) * 1000);
            pause *= 2;
        }
        if (m_clientFd < 0 && (m_folder.isEmpty() || connectTo(path, timeouts.connectMs,
                                                               &m_clientFd) != Connect::Connected))
            continue;
        const int fd = m_clientFd;
        m_clientFd = -1;
        enum { Broken, TimedOut, Answered } outcome = Broken;
        char reply = Refused;
        if (writeAll(fd, message, QDeadlineTimer(timeouts.sendMs))) {
            const QDeadlineTimer deadline(timeouts.answerMs);
            for (;;) {
                const ssize_t n = ::recv(fd, &reply, 1, 0);
                if (n == 1) {
                    outcome = Answered;
                    break;
                }
                if (n == 0 || (errno != EAGAIN && errno != EINTR))
                    break; // the connection ended without an answer
                if (!waitReady(fd, POLLIN, deadline)) {
                    outcome = deadline.hasExpired() ? TimedOut : Broken;
                    break;
                }
            }
        }
        ::close(fd);
        if (outcome == Answered)
            return reply == Accepted ? Delivery::Accepted : Delivery::Refused;
        // A running instance that took the text but is still busy with it
        // would take it twice if it were sent again.
        if (outcome == TimedOut)
            return Delivery::Lost;
    }
    return Delivery::Lost;
}

void InstanceLink::setHandler(std::function<void(const QString &)> handler)
{
    m_handler = std::move(handler);
    handleQueue();
}

bool InstanceLink::isListening() const
{
    return m_listenFd >= 0;
}

bool InstanceLink::listen()
{
    const QByteArray native = QFile::encodeName(socketPath(m_folder));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(native.size()) > MaxSocketPath)
        return false;
    std::memcpy(address.sun_path, native.constData(), static_cast<std::size_t>(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    // Made for its owner only from the start: no moment where others may connect.
    const mode_t mask = ::umask(077);
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    ::umask(mask);
    struct stat info;
    // As long a queue as the system grants: starts that come while the window
    // is busy wait there instead of being turned away.
    if (bound != 0 || ::listen(fd, SOMAXCONN) != 0 || ::stat(native.constData(), &info) != 0) {
        if (bound == 0)
            ::unlink(native.constData());
        ::close(fd);
        return false;
    }

    // A socket made anew replaces the old one; connections already queued on
    // the old one are taken first.
    if (m_listenFd >= 0)
        acceptConnections();
    stopListening();
    m_listenFd = fd;
    m_socketDevice = info.st_dev;
    m_socketInode = info.st_ino;
    m_wanted = true;
    if (!m_clients)
        m_clients = new QObject(this);
    m_notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InstanceLink::acceptConnections);
    if (!m_acceptRetry) {
        m_acceptRetry = new QTimer(this);
        m_acceptRetry->setSingleShot(true);
        connect(m_acceptRetry, &QTimer::timeout, this, [this] {
            if (m_notifier)
                m_notifier->setEnabled(true);
            acceptConnections();
        });
        m_watch = new QTimer(this);
        connect(m_watch, &QTimer::timeout, this, &InstanceLink::watchSocketFile);
    }
    m_watch->start(timeouts.watchMs);
    return true;
}

// Closes the listening socket (the socket file stays; close() removes it).
void InstanceLink::stopListening()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_listenFd >= 0)
        ::close(m_listenFd);
    m_listenFd = -1;
}

void InstanceLink::watchSocketFile()
{
    if (!m_wanted)
        return;
    const QString path = socketPath(m_folder);
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (m_listenFd >= 0 && ::lstat(native.constData(), &info) == 0 && S_ISSOCK(info.st_mode) &&
        info.st_dev == m_socketDevice && info.st_ino == m_socketInode)
        return;
    // The socket file is gone or another file stands there: make it again,
    // under the lock, unless another instance answers there now.
    if (!privateFolder(QFile::encodeName(m_folder), false))
        ::mkdir(QFile::encodeName(m_folder).constData(), 0700);
    LockFile lock(lockPath(m_folder), 0);
    int fd = -1;
    switch (connectTo(path, 1000, &fd)) {
    case Connect::Connected:
        ::close(fd);
        return; // someone serves the link; leave it to them
    case Connect::Failed:
        return; // a busy instance, or no descriptor here: try again later
    case Connect::NoServer:
        break;
    case Connect::Stale:
        // A socket nobody serves, or some other file in its place.
        if (::lstat(native.constData(), &info) == 0 && !S_ISDIR(info.st_mode))
            ::unlink(native.constData());
        break;
    }
    listen();
}

void InstanceLink::close()
{
    m_wanted = false;
    if (m_watch)
        m_watch->stop();
    if (m_acceptRetry)
        m_acceptRetry->stop();
    if (m_listenFd >= 0) {
        // The socket file goes with the listening socket, unless it is no
        // longer ours.
        const QByteArray native = QFile::encodeName(socketPath(m_folder));
        struct stat info;
        if (::lstat(native.constData(), &info) == 0 && info.st_dev == m_socketDevice &&
            info.st_ino == m_socketInode)
            ::unlink(native.constData());
    }
    stopListening();
    if (m_clients) {
        const auto clients = m_clients->findChildren<QLocalSocket *>();
        for (QLocalSocket *client : clients) {
            client->disconnect(this);
            client->abort();
            client->deleteLater();
        }
    }
    m_queue.clear();
}

void InstanceLink::acceptConnections()
{
    while (m_listenFd >= 0) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            takeClient(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // Out of descriptors or memory: the connection stays queued. Wait a
        // little rather than spin on a socket that stays readable.
        if (m_notifier)
            m_notifier->setEnabled(false);
        m_acceptRetry->start(timeouts.acceptRetryMs);
        return;
    }
}

void InstanceLink::takeClient(int fd)
{
    if (!peerIsThisUser(fd)) {
        ::close(fd);
        return;
    }
    auto *client = new QLocalSocket(m_clients);
    if (!client->setSocketDescriptor(fd)) {
        ::close(fd);
        delete client;
        return;
    }
    // Bounded, so that a client that keeps sending after its message
    // costs no memory.
    client->setReadBufferSize(64 * 1024);
    connect(client, &QLocalSocket::readyRead, this, [this, client] { readFrom(client); });
    connect(client, &QLocalSocket::disconnected, this, [this, client] { forget(client); });
    // A client that sends nothing, or not all of its message, in time is
    // dropped.
    auto *idle = new QTimer(client);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, this, [this, client] { idleTimeout(client); });
    idle->start(timeouts.idleMs);
    client->setProperty(BufferProperty, QByteArray());
    readFrom(client);
}

void InstanceLink::readFrom(QLocalSocket *client)
{
    const QVariant state = client->property(BufferProperty);
    if (!state.isValid())
        return; // the message is complete; the rest is not read
    QByteArray buffer = state.toByteArray() + client->readAll();
    if (buffer.size() >= 4) {
        const quint32 length = qFromBigEndian<quint32>(buffer.constData());
        if (length > static_cast<quint32>(MaxMessageBytes)) {
            client->setProperty(BufferProperty, QVariant());
            answer(client, false);
            return;
        }
        if (buffer.size() >= 4 + static_cast<qsizetype>(length)) {
            client->setProperty(BufferProperty, QVariant());
            m_queue.push_back(Pending{client, QString::fromUtf8(buffer.constData() + 4, length)});
            handleQueue();
            return;
        }
    }
    client->setProperty(BufferProperty, buffer);
}

void InstanceLink::idleTimeout(QLocalSocket *client)
{
    if (!client->property(BufferProperty).isValid())
        return; // the message is in; the client waits for its answer
    // Bytes that came while this thread was busy are read before giving up.
    client->waitForReadyRead(0);
    if (client->property(BufferProperty).isValid())
        forget(client);
}

void InstanceLink::answer(QLocalSocket *client, bool accepted)
{
    if (!client)
        return;
    client->disconnect(this);
    if (client->state() == QLocalSocket::ConnectedState) {
        client->write(accepted ? &Accepted : &Refused, 1);
        client->flush();
        client->disconnectFromServer();
    }
    client->deleteLater();
}

void InstanceLink::handleQueue()
{
    if (m_handling || !m_handler)
        return;
    m_handling = true;
    while (!m_queue.empty()) {
        Pending next = std::move(m_queue.front());
        m_queue.pop_front();
        m_handler(next.text);
        answer(next.socket, true);
    }
    m_handling = false;
}

// A client gone before its answer: its text, if complete, is still handled.
void InstanceLink::forget(QLocalSocket *client)
{
    client->disconnect(this);
    client->abort();
    client->deleteLater();
}
