// The local link between starts of the program: a later start finds the
// running instance, hands it its paths and ends.
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
// One player per user: the running instance holds the session lock
// "Sonabel.Sonalink.session" (flock) for as long as it lives, in the link's
// folder, or, when no private folder could be had, "Sonabel.lock" in the
// user's configuration folder. A start that cannot take it never becomes a
// player, whatever became of the socket: it hands over, or says it could not.
//
// On the wire, the later start sends one message: the length of the text in
// UTF-8 as 4 bytes, most significant first, then the text, which holds the
// texts handed over separated by NUL characters (no path holds one). Longer
// messages than MaxMessageBytes are refused. The running instance answers
// with one byte as soon as it has read the message, Received (2), or Refused
// (0) for a message over the limit; after Received, one more byte once the
// texts have been handled completely, Accepted (1); then it closes.
//
// A later start waits timeouts.answerMs in all, from its probe on, for
// Received (connecting again while the socket is being made anew, and after a
// connection that broke before Received). When it gives up, it shuts its side
// for reading before it looks a last time, so a Received sent after that fails
// on the running side, which then drops the texts: a start that reported
// failure is never taken in afterwards. After Received it waits for Accepted
// as long as the running instance lives. (A player of an older kind answers
// Accepted alone, at the end; a later start takes that as well.)
//
// The serving side runs on a thread of its own: it accepts, reads and says
// Received whatever the window's thread is busy with. Only the handling is
// queued to the thread the link object lives on, and it runs from that
// thread's event loop, never inside anything of a connection; the handler may
// run a nested event loop. The serving side keeps listening whatever happens:
// the queue of pending connections is as long as the system allows; when
// accept() fails (no file descriptor left) the connections wait in the queue
// and accepting is tried again shortly; a socket file that disappears (or is
// replaced) is made again.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class LinkServer;

class InstanceLink : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxMessageBytes = 1024 * 1024;

    struct Timeouts
    {
        int lockMs = 10000;   // waiting for the probe lock; after that the probe goes on without it
        int answerMs = 10000; // a later start's whole wait for Received
        int idleMs = 10000;   // the running instance's wait for a client's message
        int retryMs = 100;    // a later start's pause before it connects again
        int acceptRetryMs = 100; // a failed accept() is tried again after this
        int watchMs = 1000;      // how often the socket file is checked
    };

    // The folder of the link for this user; empty when no private folder can
    // be had (the program then runs without a link).
    static QString defaultFolder();
    static QString socketPath(const QString &folder);
    // The session lock of folder; for an empty folder, the one in the user's
    // configuration folder.
    static QString sessionLockPath(const QString &folder);

    // The message carrying texts, and the texts of the message at the start of
    // bytes (Incomplete: more bytes are needed).
    static QByteArray encodeMessage(const QStringList &texts);
    struct Parsed
    {
        enum State { Incomplete, TooLong, Complete } state = Incomplete;
        QStringList texts;
    };
    static Parsed parseMessage(const QByteArray &bytes);

    explicit InstanceLink(const QString &folder = defaultFolder(), QObject *parent = nullptr);
    ~InstanceLink() override;

    enum class Probe {
        FirstInstance,   // no player runs; this start holds the session and listens
        InstanceRunning, // a player runs (or the lock says so): hand over
    };
    // Looks for a running instance. Call once, before anything else.
    Probe probe();

    enum class Delivery {
        Accepted,    // the running instance took the texts in
        Refused,     // it refused them (a message over the size limit)
        Unreachable, // no Received in time: the texts were not taken
        Lost,        // Received, but the instance ended before it took them in
    };
    // A later start: sends the texts in one message and waits for the answers.
    Delivery execute(const QStringList &texts);

    // The first instance: handles each message received, after the previous
    // one has been handled completely, in the order they arrived; messages
    // that came before the handler was set wait for it. Accepted goes back
    // when the handler returns.
    void setHandler(std::function<void(const QStringList &)> handler);
    // Stops listening and drops every connection; messages not yet handled are
    // lost (their starts learn it). The session lock is kept until the object
    // goes, so that no other start becomes the player while this one closes.
    void close();
    bool isListening() const;

    Timeouts timeouts;

private:
    struct Pending
    {
        int fd = -1; // the connection, owned here until the answer
        QStringList texts;
    };

    bool listen();
    void received(int fd, QStringList texts); // from the serving thread
    void handleQueue();
    void answerAndClose(int fd, char byte);

    QString m_folder;
    QDeadlineTimer m_deadline; // a later start's wait for Received, from the probe on
    int m_clientFd = -1;
    int m_sessionFd = -1;
    std::unique_ptr<LinkServer> m_server;
    // Connections received and not yet answered: the serving thread takes no
    // more than its share of descriptors.
    std::shared_ptr<std::atomic<int>> m_handedOver = std::make_shared<std::atomic<int>>(0);
    std::mutex m_queueMutex;
    std::deque<Pending> m_queue;
    std::function<void(const QStringList &)> m_handler;
    bool m_handling = false;
};
