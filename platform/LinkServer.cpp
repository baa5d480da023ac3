// The instance link's serving thread; see LinkServer.h.
#include "platform/LinkServer.h"

#include "platform/InstanceLink.h"
#include "platform/LinkSockets.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace linksockets;

struct LinkServer::Client
{
    int fd;
    QByteArray buffer;
    QDeadlineTimer deadline; // the whole message must be in by then
};

LinkServer::LinkServer(const QString &folder, const QString &path, const Timeouts &timeouts,
                       int listenFd, dev_t device, ino_t inode, ReceivedFn received,
                       std::shared_ptr<std::atomic<int>> handedOver)
    : m_folder(folder), m_path(path), m_timeouts(timeouts), m_received(std::move(received)),
      m_handedOver(std::move(handedOver)), m_listenFd(listenFd), m_device(device), m_inode(inode)
{
    rlimit limit{};
    m_maxOpen = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                    ? std::max<std::size_t>(4, std::size_t(limit.rlim_cur / 4))
                    : 256;
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_thread = std::thread([this] { run(); });
}

LinkServer::~LinkServer()
{
    m_quit = true;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &byte, 1);
    m_thread.join();
    for (const Client &client : m_clients)
        ::close(client.fd);
    if (m_listenFd >= 0) {
        // The socket file goes with the listening socket, unless it is no
        // longer ours.
        const QByteArray native = QFile::encodeName(m_path);
        struct stat info;
        if (::lstat(native.constData(), &info) == 0 && info.st_dev == m_device &&
            info.st_ino == m_inode)
            ::unlink(native.constData());
        ::close(m_listenFd);
    }
    for (int fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
    }
}

void LinkServer::run()
{
    QDeadlineTimer nextWatch(m_timeouts.watchMs);
    QDeadlineTimer acceptPaused; // accepting again once this expires
    std::vector<pollfd> fds;
    while (!m_quit) {
        fds.clear();
        fds.push_back({m_wake[0], POLLIN, 0});
        if (full() && acceptPaused.hasExpired())
            acceptPaused = QDeadlineTimer(m_timeouts.acceptRetryMs); // look again shortly
        const bool accepting = m_listenFd >= 0 && acceptPaused.hasExpired();
        fds.push_back({accepting ? m_listenFd : -1, POLLIN, 0});
        for (const Client &client : m_clients)
            fds.push_back({client.fd, POLLIN, 0});
        qint64 wait = nextWatch.remainingTime();
        if (!acceptPaused.hasExpired())
            wait = std::min(wait, acceptPaused.remainingTime());
        for (const Client &client : m_clients)
            wait = std::min(wait, client.deadline.remainingTime());
        if (::poll(fds.data(), fds.size(), static_cast<int>(std::max<qint64>(wait, 0))) < 0 &&
            errno != EINTR)
            ::usleep(10000);
        if (m_quit)
            break;
        if (fds[0].revents) {
            char drain[16];
            while (::read(m_wake[0], drain, sizeof drain) > 0) {
            }
        }
        // Clients first, by the descriptors polled (accepting adds more).
        std::vector<int> ready;
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (fds[i].revents)
                ready.push_back(fds[i].fd);
        }
        for (int fd : ready)
            readFrom(fd);
        std::erase_if(m_clients, [](const Client &client) {
            if (!client.deadline.hasExpired())
                return false;
            ::close(client.fd); // no whole message in time
            return true;
        });
        if (fds[1].revents && !accept())
            acceptPaused = QDeadlineTimer(m_timeouts.acceptRetryMs);
        if (nextWatch.hasExpired()) {
            watchSocketFile();
            nextWatch = QDeadlineTimer(m_timeouts.watchMs);
        }
    }
}

// Whether the link holds its share of descriptors.
bool LinkServer::full() const
{
    return m_clients.size() + std::size_t(std::max(0, m_handedOver->load())) >= m_maxOpen;
}

// Takes the connections waiting, up to the link's share; false when accept()
// failed for want of descriptors or memory (the connections stay queued).
bool LinkServer::accept()
{
    while (!full()) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            if (!peerIsThisUser(fd)) {
                ::close(fd);
                continue;
            }
            m_clients.push_back(Client{fd, QByteArray(), QDeadlineTimer(m_timeouts.idleMs)});
            readFrom(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true; // the rest wait in the queue
}

void LinkServer::readFrom(int fd)
{
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [fd](const Client &client) { return client.fd == fd; });
    if (it == m_clients.end())
        return;
    Client &client = *it;
    bool ended = false;
    InstanceLink::Parsed parsed = InstanceLink::parseMessage(client.buffer);
    while (parsed.state == InstanceLink::Parsed::Incomplete) {
        // Never more than the message: what a client sends after it is
        // left unread, so it costs no memory.
        qsizetype want = 4 - client.buffer.size();
        if (want <= 0)
            want = 4 + qsizetype(qFromBigEndian<quint32>(client.buffer.constData())) -
                   client.buffer.size();
        want = std::min<qsizetype>(want, 64 * 1024);
        const qsizetype had = client.buffer.size();
        client.buffer.resize(had + want);
        const ssize_t n = ::recv(fd, client.buffer.data() + had, static_cast<std::size_t>(want), 0);
        client.buffer.resize(had + std::max<ssize_t>(n, 0));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ended = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
        parsed = InstanceLink::parseMessage(client.buffer);
    }
    if (parsed.state == InstanceLink::Parsed::Incomplete && !ended)
        return; // the rest comes later
    m_clients.erase(it);
    if (parsed.state == InstanceLink::Parsed::Complete) {
        // Received tells the start that its texts are taken. It fails when
        // the start gave up (it closed, or shut its side): then they are not.
        if (::send(fd, &Received, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1) {
            ++*m_handedOver;
            m_received(fd, std::move(parsed.texts));
            return;
        }
    } else if (parsed.state == InstanceLink::Parsed::TooLong) {
        ::send(fd, &Refused, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    ::close(fd);
}

// The socket file gone, or another file in its place: it is made again.
// This instance holds the session, so whatever stands there is stale.
void LinkServer::watchSocketFile()
{
    const QByteArray native = QFile::encodeName(m_path);
    struct stat info;
    if (m_listenFd >= 0 && ::lstat(native.constData(), &info) == 0 && S_ISSOCK(info.st_mode) &&
        info.st_dev == m_device && info.st_ino == m_inode)
        return;
    if (!privateFolder(QFile::encodeName(m_folder), false))
        ::mkdir(QFile::encodeName(m_folder).constData(), 0700);
    removeStale(m_path);
    dev_t device;
    ino_t inode;
    const int fd = makeListener(m_path, &device, &inode);
    if (fd < 0)
        return; // no descriptor, or no folder: tried again at the next check
    // Connections already queued on the old socket are taken first.
    if (m_listenFd >= 0) {
        accept();
        ::close(m_listenFd);
    }
    m_listenFd = fd;
    m_device = device;
    m_inode = inode;
}
