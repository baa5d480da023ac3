// The link between starts, in one process: delivery and answer, the size
// limit, silent and stuck peers, queued clients, the lock, other users.
#include "platform/InstanceLink.h"
#include "support/ProgramRun.h"

#include <QEventLoop>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTimer>
#include <atomic>
#include <barrier>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>

namespace {

class HandoverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(server.probe(), InstanceLink::Probe::FirstInstance);
        server.setHandler([this](const QString &text) {
            received.append(text);
            ++handled;
        });
    }
    // Later starts on threads of their own while this thread serves the link;
    // how many had their text accepted and handled before the answer.
    int send(const QStringList &texts)
    {
        std::atomic<int> accepted{0}, done{0};
        std::vector<std::jthread> clients;
        for (const QString &text : texts) {
            clients.emplace_back([&, text] {
                InstanceLink client(folder.path());
                client.timeouts.answerMs = 20000;
                const int before = handled;
                if (client.probe() == InstanceLink::Probe::InstanceRunning &&
                    client.execute(text) && handled > before)
                    ++accepted;
                ++done;
            });
        }
        EXPECT_TRUE(serveUntil([&] { return done == static_cast<int>(texts.size()); }));
        return accepted;
    }
    static bool serveUntil(const std::function<bool()> &condition)
    {
        return ProgramRun::waitFor(condition, 30000);
    }
    // A bare client, as another program would be: sends bytes, then serves
    // the link until the peer closes; returns the answer.
    QByteArray rawExchange(const QByteArray &bytes)
    {
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(::connect(s, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        ::send(s, bytes.constData(), static_cast<std::size_t>(bytes.size()), MSG_NOSIGNAL);
        QByteArray got;
        serveUntil([&] {
            char buffer[16];
            const ssize_t n = ::recv(s, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0)
                got.append(buffer, n);
            return n == 0 || (n < 0 && errno != EAGAIN);
        });
        ::close(s);
        return got;
    }

    QTemporaryDir folder;
    InstanceLink server{folder.path()};
    QStringList received;
    std::atomic<int> handled{0};
    const sockaddr_un address = [this] {
        const QByteArray path = QFile::encodeName(InstanceLink::socketPath(folder.path()));
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::memcpy(a.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        return a;
    }();
};

TEST_F(HandoverTest, TextArrivesUnchangedAndIsAnsweredOnceHandled)
{
    const QStringList texts = {QStringLiteral("  /a b/c.mid  "), QStringLiteral("\"/q.mid\""),
                               QStringLiteral("/m\u00fcsik/\u266a.mid\n2"),
                               QString(InstanceLink::MaxMessageBytes, u'x')};
    for (const QString &text : texts)
        EXPECT_EQ(send({text}), 1);
    EXPECT_EQ(received, texts);
    // One byte over the limit: refused on the length alone, never handled.
    EXPECT_EQ(rawExchange(QByteArray("\0\x10\0\x01", 4)), QByteArray(1, '\0'));
    EXPECT_EQ(send({texts.last() + u'x'}), 0);
    EXPECT_EQ(received.size(), texts.size());
}

TEST_F(HandoverTest, QueuedTextsAreHandledOneAtATime)
{
    // The handler runs a nested event loop, as a message box would; texts
    // that arrive meanwhile wait for it to end.
    int depth = 0, deepest = 0;
    server.setHandler([&](const QString &text) {
        deepest = std::max(deepest, ++depth);
        QEventLoop nested;
        QTimer::singleShot(5, &nested, &QEventLoop::quit);
        nested.exec();
        received.append(text);
        ++handled;
        --depth;
    });
    QStringList sent;
    for (int i = 0; i < 20; ++i)
        sent.append(QStringLiteral("/song%1.mid").arg(i, 2));
    EXPECT_EQ(send(sent), 20);
    EXPECT_EQ(deepest, 1);
    received.sort();
    EXPECT_EQ(received, sent);
}

TEST_F(HandoverTest, SilentHalfSentAndStuckPeersHangNobody)
{
    server.timeouts.idleMs = 200;
    EXPECT_TRUE(rawExchange(QByteArray()).isEmpty());
    EXPECT_TRUE(rawExchange(QByteArray("\0\0\0\x09/x", 6)).isEmpty());
    EXPECT_TRUE(received.isEmpty());

    // An instance that listens but never reads nor answers.
    QTemporaryDir other;
    QLocalServer stuck;
    ASSERT_TRUE(stuck.listen(InstanceLink::socketPath(other.path())));
    InstanceLink client(other.path());
    client.timeouts.answerMs = 300;
    ASSERT_EQ(client.probe(), InstanceLink::Probe::InstanceRunning);
    EXPECT_FALSE(client.execute(QStringLiteral("/x.mid")));
}

TEST(HandoverLock, ConcurrentProbesMakeExactlyOneFirstInstance)
{
    QTemporaryDir folder;
    std::atomic<int> first{0};
    std::barrier together(8);
    {
        std::vector<std::jthread> starts;
        for (int i = 0; i < 8; ++i) {
            starts.emplace_back([&] {
                InstanceLink link(folder.path());
                together.arrive_and_wait();
                first += link.probe() == InstanceLink::Probe::FirstInstance;
                together.arrive_and_wait(); // the first lives until all have probed
            });
        }
    }
    EXPECT_EQ(first, 1);
}

TEST_F(HandoverTest, OtherUsersAreTurnedAway)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    // Open the way to the socket, so that only the check of the peer stands.
    ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
    ::chmod(QFile::encodeName(InstanceLink::socketPath(folder.path())).constData(), 0777);
    const pid_t child = ::fork();
    if (child == 0) { // the child of a threaded process: system calls only
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        char reply;
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 &&
                        ::connect(s, reinterpret_cast<const sockaddr *>(&address),
                                  sizeof address) == 0 &&
                        ::send(s, "\0\0\0\x06/x.mid", 10, MSG_NOSIGNAL) == 10 &&
                        ::recv(s, &reply, 1, 0) <= 0
                    ? 0
                    : 1);
    }
    int status = 0;
    ASSERT_TRUE(serveUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(received.isEmpty());
}

} // namespace
