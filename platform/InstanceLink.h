// The local link between starts of the program: a later start finds the
// running instance, hands it its argument text and ends.
//
// The link is a Unix socket "Sonabel.Sonalink" in a folder of the user's own,
// the first usable of: $XDG_RUNTIME_DIR, /run/user/<uid>, "sonabel-link" (mode
// 0700) in the user's cache folder, "sonabel-<uid>" (mode 0700) in the temp
// folder. A folder counts only when it is a real folder owned by the user and
// closed to others, so another user who creates one of these names first
// cannot take the link over; the next place is used instead. Only the same
// user gets through: the folder is private, the socket is made for its owner
// only, and the running instance checks the peer's user id of every
// connection.
//
// A start probes under the lock file "Sonabel.Sonalink.lock" (flock) in the
// same folder. When no instance answers (no socket, or a stale one that
// refuses the connection and is removed) the start listens at once, before it
// lets the lock go, so two starts at the same moment never both become the
// first instance.
//
// On the wire, the later start sends one message: the length of the text in
// UTF-8 as 4 bytes, most significant first, then the text. Longer messages
// than MaxMessageBytes are refused. The running instance answers with one
// byte, 1 accepted or 0 refused, once the text has been handled completely,
// and closes the connection. A later start whose connection breaks before the
// answer (the running instance closed or dropped it) sends again, a few
// times; a text that was never acknowledged is reported to the caller.
//
// The serving side keeps listening whatever happens: the queue of pending
// connections is as long as the system allows, so a burst of starts while the
// window is busy waits there; when accept() fails (no file descriptor left)
// the connections wait in the queue and accepting is tried again shortly; and
// a socket file that disappears (or is replaced) is made again.
//
// Threads: a link object is used on one thread. The serving side needs that
// thread's event loop; the sending side blocks, every wait bounded.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <deque>
#include <functional>

class QLocalSocket;
class QSocketNotifier;
class QTimer;

class InstanceLink : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxMessageBytes = 1024 * 1024;

    struct Timeouts
    {
        int lockMs = 10000;      // waiting for the lock; after that the probe goes on without it
        int connectMs = 5000;    // the connection to a running instance
        int sendMs = 10000;      // the message written
        int answerMs = 120000;   // the running instance's answer (it may be scanning a folder tree)
        int idleMs = 10000;      // the running instance's wait for a client's message
        int attempts = 4;        // sends of a text whose connection broke before the answer
        int retryMs = 200;       // pause before the next attempt (doubles each time)
        int acceptRetryMs = 100; // a failed accept() is tried again after this
        int watchMs = 1000;      // how often the socket file is checked
    };

    // The folder of the link for this user; empty when no private folder can
    // be had (the program then runs without a link).
    static QString defaultFolder();
    static QString socketPath(const QString &folder);
    static QString lockPath(const QString &folder);

    explicit InstanceLink(const QString &folder = defaultFolder(), QObject *parent = nullptr);
    ~InstanceLink() override;

    enum class Probe {
        FirstInstance,   // nobody answered; this start now listens
        InstanceRunning, // another instance answered, or the attempt failed in another way
    };
    // Looks for a running instance. Call once, before anything else.
    Probe probe();

    enum class Delivery {
        Accepted, // the running instance handled the text
        Refused,  // it answered with a refusal (a text over the size limit)
        Lost,     // no answer: the connection failed, broke or timed out every time
    };
    // A later start: sends Text over the connection the probe opened and waits
    // for the answer; a connection that breaks before the answer is made
    // again and the text sent again, up to timeouts.attempts times.
    Delivery execute(const QString &Text);

    // The first instance: handles each text received, after the previous one
    // has been handled completely, in the order they arrived; texts that came
    // before the handler was set wait for it. The answer goes back when the
    // handler returns. The handler may run a nested event loop; a text that
    // arrives meanwhile waits its turn.
    void setHandler(std::function<void(const QString &)> handler);
    // Stops listening and drops every connection; texts not yet handled are lost.
    void close();
    bool isListening() const;

    Timeouts timeouts;

private:
    struct Pending
    {
        QPointer<QLocalSocket> socket; // null once the client has gone
        QString text;
    };

    bool listen();
    void stopListening();
    void acceptConnections();
    void takeClient(int fd);
    void watchSocketFile();
    void readFrom(QLocalSocket *socket);
    void answer(QLocalSocket *socket, bool accepted);
    void idleTimeout(QLocalSocket *socket);
    void handleQueue();
    void forget(QLocalSocket *socket);

    QString m_folder;
    int m_clientFd = -1;
    int m_listenFd = -1;
    std::uint64_t m_socketDevice = 0; // the socket file this instance made
    std::uint64_t m_socketInode = 0;
    bool m_wanted = false; // listening, and to stay so until close()
    QSocketNotifier *m_notifier = nullptr;
    QTimer *m_acceptRetry = nullptr;
    QTimer *m_watch = nullptr;
    QObject *m_clients = nullptr; // parent of the connected sockets
    std::function<void(const QString &)> m_handler;
    std::deque<Pending> m_queue;
    bool m_handling = false;
};
