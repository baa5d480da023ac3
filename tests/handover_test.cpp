// The link between starts: in one process the size limit and texts that
// arrive while one is being handled; between real starts of the program, of
// two first starts at once one stays and takes the other's argument, and a
// killed instance leaves the way free. (Many later starts at once:
// hardening_e2e_test.)
#include "platform/InstanceLink.h"
#include "support/ProgramRun.h"

#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtEndian>
#include <atomic>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

// Received at once, then Accepted once handled; or Refused.
const QByteArray Taken("\2\1", 2), Refused(1, '\0');

class HandoverTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(server.probe(), InstanceLink::Probe::FirstInstance);
        server.setHandler([this](const QStringList &texts) { received.append(texts); });
    }
    // A client of its own, as another program would be: sends the message of
    // text, or only its first bytes.
    QLocalSocket *send(const QByteArray &text, qsizetype bytes = 1 << 30)
    {
        QByteArray message(4, '\0');
        qToBigEndian<quint32>(static_cast<quint32>(text.size()), message.data());
        auto *s = new QLocalSocket(&clients);
        s->connectToServer(InstanceLink::socketPath(folder.path()));
        EXPECT_TRUE(s->waitForConnected(Patience));
        s->write((message + text).left(bytes));
        s->flush();
        return s;
    }
    // Serves the link until the server ends the connection; what it answered.
    static QByteArray answerOf(QLocalSocket *s)
    {
        EXPECT_TRUE(ProgramRun::waitFor([&] { return s->state() != QLocalSocket::ConnectedState; },
                                        Patience));
        return s->readAll();
    }

    QTemporaryDir folder;
    InstanceLink server{folder.path()};
    QObject clients;
    QStringList received;
};

TEST_F(HandoverTest, MessagesUpToTheSizeLimitAreTaken)
{
    const QByteArray longest(InstanceLink::MaxMessageBytes, 'x');
    EXPECT_EQ(answerOf(send(longest)), Taken);
    // One byte over: refused on the length alone.
    EXPECT_EQ(answerOf(send(longest + 'x', 4)), Refused);
    EXPECT_EQ(received, QStringList{QString::fromLatin1(longest)});
}

// The first text's handler runs a nested event loop for longer than a start
// waits for its answer, as a message box would; the other texts arrive
// meanwhile, each read by the server before the next. Each start learns at
// once that its text is in, the first start takes it as delivered although
// its answer came late, and the texts are handled in turn, in order.
TEST_F(HandoverTest, TextsThatArriveWhileOneIsHandledWaitTheirTurnInOrder)
{
    std::vector<QLocalSocket *> sent;
    const auto sendAndWaitTillRead = [&](char text) {
        QLocalSocket *s = send(QByteArray(1, text));
        sent.push_back(s);
        int unread = -1; // what the server has not read yet
        return ProgramRun::waitFor(
            [&] {
                return s->state() != QLocalSocket::ConnectedState ||
                       (::ioctl(int(s->socketDescriptor()), SIOCOUTQ, &unread) == 0 && !unread);
            },
            Patience);
    };
    server.setHandler([&](const QStringList &texts) {
        if (texts.first() == u'0') {
            for (char next = '1'; next <= '9'; ++next)
                EXPECT_TRUE(sendAndWaitTillRead(next));
            // None is answered for good while the first is handled.
            for (QLocalSocket *s : sent)
                EXPECT_TRUE(
                    ProgramRun::waitFor([&] { return s->bytesAvailable() == 1; }, Patience));
            EXPECT_EQ(sent.front()->peek(2), QByteArray(1, '\2'));
            ProgramRun::waitFor([] { return false; }, 1000); // past the first start's wait
        }
        received.append(texts);
    });
    InstanceLink::Delivery delivery = InstanceLink::Delivery::Lost;
    std::atomic<bool> done = false;
    std::thread first([&] { // a later start in this process: it blocks
        InstanceLink link(folder.path());
        link.timeouts.answerMs = 500;
        if (link.probe() == InstanceLink::Probe::InstanceRunning)
            delivery = link.execute({u"0"_s});
        done = true;
    });
    EXPECT_TRUE(ProgramRun::waitFor([&] { return done.load(); }, Patience));
    first.join();
    EXPECT_EQ(delivery, InstanceLink::Delivery::Accepted);
    for (QLocalSocket *s : sent)
        EXPECT_EQ(answerOf(s), Taken);
    EXPECT_EQ(received.join(u' '), u"0 1 2 3 4 5 6 7 8 9"_s);
}

// ---- real starts of the program ----

class HandoverEndToEnd : public ::testing::Test
{
protected:
    QString song(const QString &name) { return writeBytes(run.scratch(name), "MThd"); }
    // Waits until an instance listens: its socket takes a connection.
    bool linkUp()
    {
        QLocalSocket probe;
        return ProgramRun::waitFor(
            [&] {
                probe.connectToServer(InstanceLink::socketPath(run.runtimeDir()));
                return probe.waitForConnected(1000);
            },
            Patience);
    }
    // Ends the instance as the session would; the playlist it kept.
    QStringList playlistAfterEnd(QProcess *instance)
    {
        EXPECT_TRUE(ProgramRun::terminate(instance, Patience));
        EXPECT_EQ(instance->exitCode(), 0);
        return readLines(run.defaultAlbum());
    }

    ProgramRun run;
};

TEST_F(HandoverEndToEnd, OneOfTwoFirstStartsStaysAndTakesTheOthersArgument)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s);
    QProcess *one = run.start({a}), *two = run.start({b});
    ASSERT_TRUE(ProgramRun::waitFor(
        [&] {
            return one->state() == QProcess::NotRunning || two->state() == QProcess::NotRunning;
        },
        Patience));
    const bool oneEnded = one->state() == QProcess::NotRunning;
    EXPECT_EQ((oneEnded ? one : two)->exitCode(), 0);
    EXPECT_FALSE(QFile::exists(run.defaultAlbum())); // the start that handed over saved nothing
    // Its own argument first.
    EXPECT_EQ(playlistAfterEnd(oneEnded ? two : one),
              oneEnded ? (QStringList{b, a}) : (QStringList{a, b}));
}

// A killed instance leaves its socket file behind: the next start becomes the
// instance. Several paths go in order, absolute from the caller's folder.
TEST_F(HandoverEndToEnd, StartAfterAKilledInstanceBecomesItAndTakesPathsInOrder)
{
    const QString a = song(u"m/a.mid"_s), c = song(u"n/c.mid"_s);
    song(u"m/b c.mid"_s); // taken only when the words are joined
    QProcess *killed = run.start({a});
    ASSERT_TRUE(linkUp());
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(Patience));
    ASSERT_TRUE(QFile::exists(InstanceLink::socketPath(run.runtimeDir()))); // left behind

    run.workingDirectory = run.scratch(u"m"_s);
    QProcess *next = run.start({u"b"_s, u"c.mid"_s, a}); // "b c.mid" is two words here
    ASSERT_TRUE(linkUp());
    run.workingDirectory = run.scratch(u"n"_s);
    EXPECT_TRUE(run.runToEnd({u"c.mid"_s, u"../m/b"_s, u"c.mid"_s}));
    EXPECT_EQ(playlistAfterEnd(next), (QStringList{a, c, c}));
}

} // namespace
