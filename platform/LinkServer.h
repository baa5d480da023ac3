// The serving side of the instance link (InstanceLink.h describes the link):
// a thread of its own that accepts connections, reads each message and says
// Received, whatever the thread that handles the messages is busy with.
// Plain sockets and poll(); nothing here touches Qt's event loop.
#pragma once

#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <sys/types.h>
#include <thread>
#include <vector>

class LinkServer
{
public:
    struct Timeouts
    {
        int idleMs;        // a client's whole message must be in by then
        int acceptRetryMs; // a failed accept() is tried again after this
        int watchMs;       // how often the socket file is checked
    };
    // Called on the serving thread for each message a waiting start sent,
    // once Received has reached it; the connection's descriptor passes to the
    // callee, which answers and closes it.
    using ReceivedFn = std::function<void(int fd, QStringList texts)>;

    // Serves listenFd (the socket file at path, identified by device and
    // inode); with listenFd -1, it makes the socket itself as soon as it can.    // The caller
    // holds the session, so whatever else stands at path is stale. handedOver counts the
    // connections passed on and not yet closed: while they and those being read reach a quarter of
    // the descriptors the process may open, further starts wait in the queue, so the link never
    // takes the descriptors the player needs for its files.
    LinkServer(const QString &folder, const QString &path, const Timeouts &timeouts, int listenFd,
               dev_t device, ino_t inode, ReceivedFn received,
               std::shared_ptr<std::atomic<int>> handedOver);
    // Stops the thread, drops the connections whose messages are not in yet
    // and removes the socket file if it is still this server's.
    ~LinkServer();
    LinkServer(const LinkServer &) = delete;
    LinkServer &operator=(const LinkServer &) = delete;

private:
    struct Client;

    void run();
    bool full() const;
    bool accept();
    void readFrom(int fd);
    void watchSocketFile();

    const QString m_folder;
    const QString m_path;
    const Timeouts m_timeouts;
    const ReceivedFn m_received;
    const std::shared_ptr<std::atomic<int>> m_handedOver;
    std::size_t m_maxOpen; // connections open at once, at most
    int m_listenFd;
    dev_t m_device;
    ino_t m_inode;
    int m_wake[2] = {-1, -1};
    std::vector<Client> m_clients; // the thread's own
    std::atomic<bool> m_quit{false};
    std::thread m_thread; // last: starts once everything above exists
};
