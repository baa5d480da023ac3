// The link between starts of the program: the probe under the lock, the
// sending side on plain blocking-with-deadline socket calls, and the serving
// side on QLocalServer.
#include "platform/InstanceLink.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>
#include <cerrno>
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
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && privateFolder(runtime, false)) {
        const QString folder = QFile::decodeName(runtime);
        if (socketPathFits(folder))
            return folder;
    }
    const QString folder =
        QDir::tempPath() + QStringLiteral("/sonabel-") + QString::number(::geteuid());
    const QByteArray native = QFile::encodeName(folder);
    ::mkdir(native.constData(), 0700);
    if (privateFolder(native, true) && socketPathFits(folder))
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
        QLocalServer::removeServer(path);
        break;
    case Connect::NoServer:
        break;
    }
    listen();
    return Probe::FirstInstance;
}

bool InstanceLink::execute(const QString &Text)
{
    if (m_clientFd < 0)
        return false;
    const int fd = m_clientFd;
    m_clientFd = -1;
    const QByteArray text = Text.toUtf8();
    bool accepted = false;
    if (text.size() <= MaxMessageBytes) {
        QByteArray message(4, Qt::Uninitialized);
        qToBigEndian<quint32>(static_cast<quint32>(text.size()), message.data());
        message += text;
        if (writeAll(fd, message, QDeadlineTimer(timeouts.sendMs))) {
            const QDeadlineTimer deadline(timeouts.answerMs);
            char reply = Refused;
            for (;;) {
                const ssize_t n = ::recv(fd, &reply, 1, 0);
                if (n == 1) {
                    accepted = reply == Accepted;
                    break;
                }
                if (n == 0 || (errno != EAGAIN && errno != EINTR) ||
                    !waitReady(fd, POLLIN, deadline))
                    break;
            }
        }
    }
    ::close(fd);
    return accepted;
}

void InstanceLink::setHandler(std::function<void(const QString &)> handler)
{
    m_handler = std::move(handler);
    handleQueue();
}

bool InstanceLink::isListening() const
{
    return m_server && m_server->isListening();
}

void InstanceLink::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceLink::acceptConnections);
    // Should listening fail (a start that went on without the lock got there
    // first), this instance runs without a link.
    m_server->listen(socketPath(m_folder));
}

void InstanceLink::close()
{
    if (m_server) {
        m_server->close();
        const auto clients = m_server->findChildren<QLocalSocket *>();
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
    while (QLocalSocket *client = m_server->nextPendingConnection()) {
        if (!peerIsThisUser(client->socketDescriptor())) {
            client->abort();
            client->deleteLater();
            continue;
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
