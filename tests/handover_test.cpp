// The link between starts and the close, in one process and between real
// starts of the program: the size limit; texts that arrive while one is
// handled; of two first starts at once one stays and takes the other's
// argument; a killed instance leaves the way free; a stalled player takes
// every later start that still waits; a link folder another user made first is
// passed over; and a close signal, even inside a message box, keeps the whole
// playlist.
#include "platform/InstanceLink.h"
#include "platform/Signals.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <linux/sockios.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

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

// The player must be gone this soon after a close signal (a loaded machine
// gets some slack; a process that hangs never gets there).
constexpr int CloseMs = 5000;

// Starts the player and waits until it has loaded and its link takes a
// connection.
QProcess *startPlayer(ProgramRun &run, const QStringList &arguments = {})
{
    QProcess *p = run.start(arguments);
    QLocalSocket probe;
    EXPECT_TRUE(ProgramRun::waitFor(
        [&] {
            probe.connectToServer(InstanceLink::socketPath(run.runtimeDir()));
            return QFile::exists(run.iniFile()) && probe.waitForConnected(1000);
        },
        Patience));
    return p;
}

// Sends the close signal; the player must end at once and keep these songs.
void closeKeeping(const ProgramRun &run, QProcess *player, const QStringList &songs,
                  int signal = SIGTERM)
{
    ::kill(static_cast<pid_t>(player->processId()), signal);
    EXPECT_TRUE(player->waitForFinished(CloseMs) && player->exitStatus() == QProcess::NormalExit &&
                player->exitCode() == 0);
    QStringList kept = readLines(run.defaultAlbum());
    if (songs.size() > 50) // a burst arrives in any order
        kept.sort();
    EXPECT_EQ(kept.join(u'\n').toStdString(), songs.join(u'\n').toStdString()); // reads plainly
}

TEST(HandoverEndToEnd, OneOfTwoFirstStartsStaysAndTakesTheOthersArgument)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s});
    QProcess *one = run.start({songs[0]}), *two = run.start({songs[1]});
    ASSERT_TRUE(ProgramRun::waitFor(
        [&] {
            return one->state() == QProcess::NotRunning || two->state() == QProcess::NotRunning;
        },
        Patience));
    const bool oneEnded = one->state() == QProcess::NotRunning;
    EXPECT_EQ((oneEnded ? one : two)->exitCode(), 0);
    EXPECT_FALSE(QFile::exists(run.defaultAlbum())); // the start that handed over saved nothing
    // Its own argument first.
    closeKeeping(run, oneEnded ? two : one, oneEnded ? (QStringList{songs[1], songs[0]}) : songs);
}

// A killed instance leaves its socket file behind: the next start becomes the
// instance. Several paths go in order, absolute from the caller's folder.
TEST(HandoverEndToEnd, StartAfterAKilledInstanceBecomesItAndTakesPathsInOrder)
{
    ProgramRun run;
    // "b c.mid" is taken only when the words are joined.
    const QStringList songs = makeSongFiles(run, {u"m/a.mid"_s, u"n/c.mid"_s, u"m/b c.mid"_s});
    QProcess *killed = startPlayer(run, {songs[0]});
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(Patience));
    ASSERT_TRUE(QFile::exists(InstanceLink::socketPath(run.runtimeDir()))); // left behind

    run.workingDirectory = run.scratch(u"songs/m"_s);
    QProcess *next = startPlayer(run, {u"b"_s, u"c.mid"_s, songs[0]}); // two words here
    run.workingDirectory = run.scratch(u"songs/n"_s);
    QProcess *handing = run.start({u"c.mid"_s, u"../m/b"_s, u"c.mid"_s});
    ASSERT_TRUE(handing->waitForFinished(Patience));
    EXPECT_EQ(handing->exitCode(), 0);
    closeKeeping(run, next, {songs[0], songs[1], songs[1]});
}

// A player stopped longer than a later start waits: the start gives up and
// says so, and its text is never taken. A burst of later starts while the
// player stands still a shorter time: every text waits in the queue and is
// taken once it goes on, names with spaces and more than ASCII whole; a start
// without an argument has nothing to send.
TEST(HardeningEndToEnd, StalledPlayerTakesEveryStartThatStillWaitsAndOnlyThose)
{
    ProgramRun run;
    QStringList names;
    for (int i = 0; i < 101; ++i)
        names.append(u" sp\u00e4t \u266a%1.mid"_s.arg(i, 3, 10, QChar(u'0')));
    const QStringList songs = makeSongFiles(run, names);
    QProcess *player = startPlayer(run);
    ::kill(static_cast<pid_t>(player->processId()), SIGSTOP);
    QElapsedTimer waited;
    waited.start();
    QProcess *gaveUp = run.start({songs[0]});
    ASSERT_TRUE(gaveUp->waitForFinished(Patience));
    EXPECT_LT(waited.elapsed(), 20000); // at most 10 s, with room for a loaded machine
    EXPECT_EQ(gaveUp->exitCode(), 1);

    std::vector<QProcess *> starts = {run.start({u"  "_s})};
    for (const QString &song : songs.mid(1))
        starts.push_back(run.start({song}));
    // Well within the time a later start waits for the player to answer.
    QThread::msleep(3000);
    ::kill(static_cast<pid_t>(player->processId()), SIGCONT);
    int failed = 0;
    for (QProcess *p : starts) {
        if (!p->waitForFinished(Patience * 4) || p->exitCode() != 0)
            ++failed;
    }
    EXPECT_EQ(failed, 0);
    closeKeeping(run, player, songs.mid(1));
}

// Without XDG_RUNTIME_DIR and with the cache's place taken, the link's name in
// the temp folder may have been made first by another user, as a link or as a
// folder open to all: the link is never made where that user chose. There is
// then no link at all, and still one player: a later start says so and ends.
TEST(HardeningEndToEnd, SquattedLinkFolderIsPassedOver)
{
    if (QFileInfo::exists(u"/run/user/"_s + QString::number(::geteuid())))
        GTEST_SKIP() << "this user has a runtime folder";
    for (const char *squat : {"link", "open folder"}) {
        SCOPED_TRACE(squat);
        ProgramRun run;
        const QStringList songs = makeSongFiles(run, {u"a.mid"_s});
        const QString tmp = run.scratch(u"tmp"_s), cache = run.scratch(u"cache"_s);
        const QByteArray taken =
            QFile::encodeName(tmp + u"/sonabel-"_s + QString::number(::geteuid()));
        QDir().mkpath(tmp);
        QString squatted = QFile::decodeName(taken);
        if (qstrcmp(squat, "link") == 0) {
            squatted = run.scratch(u"theirs"_s);
            QDir().mkpath(squatted);
            ASSERT_EQ(::symlink(QFile::encodeName(squatted).constData(), taken.constData()), 0);
        } else {
            ASSERT_EQ(::mkdir(taken.constData(), 0777), 0);
            ::chmod(taken.constData(), 0777);
        }
        writeBytes(cache + u"/sonabel-link"_s, "taken");
        run.environment.remove(u"XDG_RUNTIME_DIR"_s);
        run.environment.insert(u"TMPDIR"_s, tmp);
        run.environment.insert(u"HOME"_s, run.scratch(u"home"_s));
        run.environment.insert(u"XDG_CACHE_HOME"_s, cache);
        QProcess *player = run.start();
        ASSERT_TRUE(ProgramRun::waitFor([&] { return QFile::exists(run.iniFile()); }, Patience));
        QThread::msleep(500);
        QProcess *second = run.start({songs[0]});
        ASSERT_TRUE(second->waitForFinished(Patience));
        EXPECT_EQ(second->exitCode(), 1);
        EXPECT_EQ(player->state(), QProcess::Running);
        EXPECT_TRUE(QDir(squatted).isEmpty());
        closeKeeping(run, player, {});
    }
}

// A message box opens while default.mal is read (one line names nothing); it
// never closes offscreen, so the signal is taken inside it, whenever it comes.
// Each close signal saves the settings and the whole playlist.
TEST(HardeningEndToEnd, CloseSignalInsideTheStartUpBoxKeepsTheWholePlaylist)
{
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        ProgramRun run;
        const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s});
        writeLines(run.defaultAlbum(), {songs[0], run.scratch(u"gone.mid"_s), songs[1]});
        QProcess *p = run.start();
        ASSERT_TRUE(ProgramRun::waitFor([&] { return QFile::exists(run.iniFile()); }, Patience));
        QThread::msleep(300);
        closeKeeping(run, p, songs, number);
        EXPECT_EQ(QSettings(run.iniFile(), QSettings::IniFormat).allKeys().size(), 13);
    }
}

// Once the playlist is kept, the process ends even if something on the way
// out never returns.
TEST(HardeningEndToEnd, TheWayOutHasABound)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            endProcessAfter(100, 3);
            for (;;)
                ::pause();
        },
        ::testing::ExitedWithCode(3), "");
}

} // namespace
