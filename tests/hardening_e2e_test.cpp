// The real program under conditions a user may meet: a close signal while a
// message box is open, a stalled player taking a burst of later starts, and a
// link folder another user made first.
#include "platform/InstanceLink.h"
#include "platform/Signals.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The player must be gone this soon after a close signal (a loaded machine
// gets some slack; a process that hangs never gets there).
constexpr int CloseMs = 5000;

// Starts the player and waits until it listens and has loaded.
QProcess *startPlayer(ProgramRun &run, const QStringList &arguments = {})
{
    QProcess *p = run.start(arguments);
    EXPECT_TRUE(ProgramRun::waitFor(
        [&] {
            return QFile::exists(run.iniFile()) &&
                   QFile::exists(InstanceLink::socketPath(run.runtimeDir()));
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
        const QString taken = tmp + u"/sonabel-"_s + QString::number(::geteuid());
        const QByteArray native = QFile::encodeName(taken);
        QDir().mkpath(tmp);
        QString squatted = taken;
        if (qstrcmp(squat, "link") == 0) {
            squatted = run.scratch(u"theirs"_s);
            QDir().mkpath(squatted);
            ASSERT_EQ(::symlink(QFile::encodeName(squatted).constData(), native.constData()), 0);
        } else {
            ASSERT_EQ(::mkdir(native.constData(), 0777), 0);
            ::chmod(native.constData(), 0777);
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

} // namespace
