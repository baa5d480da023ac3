// The link between starts of the program: the probe under the session lock,
// the sending side on plain blocking-with-deadline socket calls, and the
// handling of what the serving thread (LinkServer.h) received.
#include "platform/InstanceLink.h"

#include "platform/LinkServer.h"
#include "platform/LinkSockets.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>
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
#include <vector>

using namespace linksockets;

namespace {

const char SocketName[] = "Sonabel.Sonalink";

bool socketPathFits(const QString &folder)
{
    return fitsSocketAddress(InstanceLink::socketPath(folder));
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

QString InstanceLink::sessionLockPath(const QString &folder)
{
    if (!folder.isEmpty())
        return socketPath(folder) + QStringLiteral(".session");
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QStringLiteral("/Orvane/Sonabel.lock");
}

QByteArray InstanceLink::encodeMessage(const QStringList &texts)
{
    const QByteArray text = texts.join(QChar(u'\0')).toUtf8();
    QByteArray message(4, Qt::Uninitialized);
    qToBigEndian<quint32>(static_cast<quint32>(text.size()), message.data());
    return message + text;
}

InstanceLink::Parsed InstanceLink::parseMessage(const QByteArray &bytes)
{
    Parsed parsed;
    if (bytes.size() < 4)
        return parsed;
    const quint32 length = qFromBigEndian<quint32>(bytes.constData());
    if (length > static_cast<quint32>(MaxMessageBytes)) {
        parsed.state = Parsed::TooLong;
    } else if (bytes.size() >= 4 + qsizetype(length)) {
        parsed.state = Parsed::Complete;
        parsed.texts =
            QString::fromUtf8(bytes.constData() + 4, qsizetype(length)).split(QChar(u'\0'));
    }
    return parsed;
}

InstanceLink::InstanceLink(const QString &folder, QObject *parent)
    : QObject(parent), m_folder(folder)
{}

InstanceLink::~InstanceLink()
{
    close();
    if (m_clientFd >= 0)
        ::close(m_clientFd);
    if (m_sessionFd >= 0)
        ::close(m_sessionFd); // closing lets the lock go
}

InstanceLink::Probe InstanceLink::probe()
{
    m_deadline = QDeadlineTimer(timeouts.answerMs);
    const QDeadlineTimer &deadline = m_deadline;
    const bool linked = !m_folder.isEmpty() && socketPathFits(m_folder);
    const QString session = sessionLockPath(linked ? m_folder : QString());
    if (!linked) {
        // No link to find or to offer; the lock still keeps this user to one
        // player.
        QDir().mkpath(QFileInfo(session).path());
        m_sessionFd = tryLock(session);
        return m_sessionFd >= 0 || !lockUsable(session) ? Probe::FirstInstance
                                                        : Probe::InstanceRunning;
    }

    const QString path = socketPath(m_folder);
    for (;;) {
        m_sessionFd = tryLock(session);
        if (m_sessionFd >= 0 || !lockUsable(session)) {
            // This start is the player. A socket left there is stale, unless
            // a player of an older kind, which holds no session lock, answers.
            if (connectTo(path, 1000, &m_clientFd) == Connect::Connected) {
                if (m_sessionFd >= 0)
                    ::close(m_sessionFd);
                m_sessionFd = -1;
                return Probe::InstanceRunning;
            }
            removeStale(path);
            listen();
            return Probe::FirstInstance;
        }
        // A player runs. Its socket may be missing a moment (it is being made
        // again, or the player is closing).
        switch (connectTo(path, std::max<qint64>(deadline.remainingTime(), 1), &m_clientFd)) {
        case Connect::Connected:
        case Connect::Failed: // its queue stayed full: it is there but busy
            return Probe::InstanceRunning;
        case Connect::NoServer:
        case Connect::Stale:
            break;
        }
        if (deadline.hasExpired())
            return Probe::InstanceRunning; // execute() finds it unreachable
        ::usleep(static_cast<useconds_t>(timeouts.retryMs) * 1000);
    }
}

InstanceLink::Delivery InstanceLink::execute(const QStringList &texts)
{
    const QByteArray message = encodeMessage(texts);
    if (message.size() - 4 > MaxMessageBytes)
        return Delivery::Refused;
    if (m_folder.isEmpty())
        return Delivery::Unreachable; // a player runs, with no link to it
    const QDeadlineTimer &deadline = m_deadline;
    const QString path = socketPath(m_folder);
    for (;;) {
        if (m_clientFd < 0) {
            if (connectTo(path, std::max<qint64>(deadline.remainingTime(), 1), &m_clientFd) !=
                Connect::Connected) {
                if (deadline.hasExpired())
                    return Delivery::Unreachable;
                ::usleep(static_cast<useconds_t>(timeouts.retryMs) * 1000);
                continue;
            }
        }
        const int fd = m_clientFd;
        m_clientFd = -1;
        char answer = Refused;
        Read first = Read::Ended;
        if (writeAll(fd, message, deadline))
            first = readByte(fd, deadline, &answer);
        if (first == Read::TimedOut) {
            // Giving up: the side is shut for reading first, so a Received
            // sent from now on fails over there; one sent before is read here.
            ::shutdown(fd, SHUT_RD);
            first = ::recv(fd, &answer, 1, MSG_DONTWAIT) == 1 ? Read::Byte : Read::Ended;
            if (first != Read::Byte) {
                ::close(fd);
                return Delivery::Unreachable;
            }
        }
        if (first == Read::Ended) {
            // Dropped before Received: not taken, so it may be sent again.
            ::close(fd);
            if (deadline.hasExpired())
                return Delivery::Unreachable;
            ::usleep(static_cast<useconds_t>(timeouts.retryMs) * 1000);
            continue;
        }
        if (answer == Received) {
            // The running player has the texts; it answers once they are in,
            // however long a message box of its own stays open.
            const Read last = readByte(fd, QDeadlineTimer(QDeadlineTimer::Forever), &answer);
            ::close(fd);
            if (last != Read::Byte)
                return Delivery::Lost;
        } else {
            ::close(fd);
        }
        // A player of an older kind answers Accepted only, at the end.
        return answer == Accepted ? Delivery::Accepted : Delivery::Refused;
    }
}

void InstanceLink::setHandler(std::function<void(const QStringList &)> handler)
{
    m_handler = std::move(handler);
    handleQueue();
}

bool InstanceLink::isListening() const
{
    return m_server != nullptr;
}

bool InstanceLink::listen()
{
    dev_t device;
    ino_t inode;
    const int fd = makeListener(socketPath(m_folder), &device, &inode);
    if (fd < 0 && m_sessionFd < 0)
        return false;
    // Without a socket now, the serving thread keeps trying to make one.
    m_server = std::make_unique<LinkServer>(
        m_folder, socketPath(m_folder),
        LinkServer::Timeouts{timeouts.idleMs, timeouts.acceptRetryMs, timeouts.watchMs}, fd, device,
        inode, [this](int client, QStringList texts) { received(client, std::move(texts)); },
        m_handedOver);
    return fd >= 0;
}

void InstanceLink::close()
{
    m_server.reset(); // joins the serving thread
    std::deque<Pending> dropped;
    {
        std::lock_guard lock(m_queueMutex);
        dropped.swap(m_queue);
    }
    for (const Pending &pending : dropped) {
        ::close(pending.fd); // the start learns that its texts were not taken
        --*m_handedOver;
    }
}

void InstanceLink::received(int fd, QStringList texts)
{
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(Pending{fd, std::move(texts)});
    }
    // Handled from the event loop of the link's thread, never from inside the
    // serving side.
    QMetaObject::invokeMethod(this, &InstanceLink::handleQueue, Qt::QueuedConnection);
}

void InstanceLink::handleQueue()
{
    // A handler that runs a nested event loop comes back here through the
    // queued calls of later messages: they wait their turn.
    if (m_handling || !m_handler)
        return;
    m_handling = true;
    for (;;) {
        Pending next;
        {
            std::lock_guard lock(m_queueMutex);
            if (m_queue.empty())
                break;
            next = std::move(m_queue.front());
            m_queue.pop_front();
        }
        m_handler(next.texts);
        answerAndClose(next.fd, Accepted);
    }
    m_handling = false;
}

void InstanceLink::answerAndClose(int fd, char byte)
{
    // A start that has gone meanwhile makes this fail, which is no matter.
    ::send(fd, &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    ::close(fd);
    --*m_handedOver;
}
