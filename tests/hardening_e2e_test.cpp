// The real program under hostile conditions: close signals at awkward moments,
// a playlist that cannot be written, a FIFO where a song was, a stalled or
// descriptor-starved player taking a burst of later starts, a lost socket
// file, a squatted link folder, and a player that never answers.
#include "platform/InstanceLink.h"
#include "platform/LinkSockets.h"
#include "platform/SettingsStore.h"
#include "platform/Signals.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSettings>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// The player must be gone this soon after a close signal (a loaded machine
// gets some slack; a process that hangs never gets there).
constexpr int CloseMs = 5000;

pid_t pidOf(QProcess *p)
{
    return static_cast<pid_t>(p->processId());
}

QString socketFile(const ProgramRun &run)
{
    return InstanceLink::socketPath(run.runtimeDir());
}

// Starts the player (after the shell commands in prelude, if any) and waits
// until it listens and has loaded.
QProcess *startPlayer(ProgramRun &run, const QStringList &arguments = {},
                      const QString &prelude = {})
{
    QProcess *p = prelude.isEmpty() ? run.start(arguments) : run.startAfter(prelude, arguments);
    EXPECT_TRUE(ProgramRun::waitFor(
        [&] { return QFile::exists(run.iniFile()) && QFile::exists(socketFile(run)); }, Patience));
    return p;
}

bool endsWithin(QProcess *p, int ms)
{
    return p->waitForFinished(ms) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
}

// Sends the close signal; the player must end at once and keep these songs.
void closeKeeping(const ProgramRun &run, QProcess *player, const QStringList &songs,
                  int signal = SIGTERM)
{
    ::kill(pidOf(player), signal);
    EXPECT_TRUE(endsWithin(player, CloseMs));
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

TEST(HardeningEndToEnd, UnwritablePlaylistStillEndsCleanly)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s});
    QDir().mkpath(run.defaultAlbum() + u"/blocked"_s); // a folder where the file goes
    QProcess *p = startPlayer(run, {songs[0]});
    ::kill(pidOf(p), SIGTERM);
    EXPECT_TRUE(endsWithin(p, CloseMs));
    EXPECT_TRUE(QSettings(run.iniFile(), QSettings::IniFormat).contains(u"Reset"_s));
    EXPECT_TRUE(QFileInfo(run.defaultAlbum()).isDir());
}

// The same box opened by a hand-over, while the main loop runs. The start
// that handed the album over is killed while the box is open, and another
// start comes meanwhile: its text waits until the box is answered (here by the
// close signal), and nothing of either is lost.
TEST(HardeningEndToEnd, CloseSignalInsideAHandedOverAlbumsBoxKeepsEverything)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s, u"c.mid"_s, u"ok.mid"_s});
    QProcess *player = startPlayer(run, {songs[0]});
    const QString album = run.scratch(u"list.mal"_s);
    writeLines(album, {songs[1], run.scratch(u"gone.mid"_s), songs[2]});
    QProcess *killed = run.start({album});
    // The box is open once the album's entries are in; nothing shows that
    // offscreen, so give the hand-over time to arrive.
    QThread::msleep(1500);
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(Patience));
    QProcess *waiting = run.start({songs[3]});
    QThread::msleep(1000);
    EXPECT_EQ(waiting->state(), QProcess::Running); // told it is taken, not yet in
    closeKeeping(run, player, songs);
    ASSERT_TRUE(waiting->waitForFinished(Patience));
    EXPECT_EQ(waiting->exitCode(), 0);
}

// A song of the playlist turns into a FIFO: opening it must not freeze the
// player (the status update reopens the unplayable song every second).
TEST(HardeningEndToEnd, FifoInThePlaylistFreezesNothing)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s});
    QProcess *player = startPlayer(run, {songs[0]});
    // A hand-over is taken only after the first start's own argument: once an
    // ignored one is answered, the song is in the playlist.
    const QString notes = run.scratch(u"notes.txt"_s);
    QFile(notes).open(QIODevice::WriteOnly);
    ASSERT_TRUE(run.runToEnd({notes}));
    ASSERT_TRUE(QFile::remove(songs[0]));
    ASSERT_EQ(::mkfifo(QFile::encodeName(songs[0]).constData(), 0600), 0);
    QThread::msleep(2500);
    ASSERT_TRUE(run.runToEnd({songs[1]}));
    closeKeeping(run, player, songs);
}

// Peers that never answer where the program reads or writes one: a FIFO as
// the SoundFont, the audio file, the settings file or the desktop's list of
// default applications; the file driver with no file named; and a sound
// server that takes the connection and never answers, holding the playback
// thread in the synthesizer's output for good. The player starts, takes
// hand-overs, and closes keeping its playlist; no FIFO is read, written or
// replaced, and nothing is written into the current folder.
TEST(HardeningEndToEnd, PeersThatNeverAnswerHangNothing)
{
    for (const char *where :
         {"SoundFont", "audio file", "settings", "mimeapps.list", "no file", "sound server"}) {
        SCOPED_TRACE(where);
        ProgramRun run;
        const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s});
        const QString fifo = run.scratch(u"never"_s);
        run.workingDirectory = run.scratch(u"here"_s);
        QDir().mkpath(run.workingDirectory);
        run.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
        run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"file"_s);
        run.environment.insert(u"SONABEL_SOUNDFONT"_s, u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s);
        run.environment.insert(u"SONABEL_AUDIO_FILE"_s, run.scratch(u"out.wav"_s));
        QString madeFifo = fifo;
        int frozen = -1;
        if (qstrcmp(where, "SoundFont") == 0) {
            run.environment.insert(u"SONABEL_SOUNDFONT"_s, fifo);
        } else if (qstrcmp(where, "audio file") == 0) {
            run.environment.insert(u"SONABEL_AUDIO_FILE"_s, fifo);
        } else if (qstrcmp(where, "settings") == 0) {
            madeFifo = run.iniFile();
        } else if (qstrcmp(where, "mimeapps.list") == 0) {
            IniSettingsStore settings(run.iniFile());
            settings.write(QString(), u"Sonabel"_s); // not a first start
            settings.write(u"Default"_s, u"1"_s);    // the association on
            ASSERT_TRUE(settings.flush());
            madeFifo = run.configHome() + u"/mimeapps.list"_s;
        } else if (qstrcmp(where, "no file") == 0) {
            run.environment.remove(u"SONABEL_AUDIO_FILE"_s);
        } else {
            dev_t device;
            ino_t inode;
            frozen = linksockets::makeListener(fifo, &device, &inode); // never accepts
            ASSERT_GE(frozen, 0);
            run.environment.insert(u"PULSE_SERVER"_s, u"unix:"_s + fifo);
            run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"pulseaudio"_s);
        }
        if (frozen < 0) {
            QDir().mkpath(QFileInfo(madeFifo).path());
            ASSERT_EQ(::mkfifo(QFile::encodeName(madeFifo).constData(), 0600), 0);
        }
        QProcess *player = startPlayer(run, {songs[0]});
        ASSERT_TRUE(run.runToEnd({songs[1]}));
        closeKeeping(run, player, songs);
        struct stat info;
        EXPECT_EQ(::lstat(QFile::encodeName(madeFifo).constData(), &info), 0);
        EXPECT_TRUE(frozen >= 0 ? S_ISSOCK(info.st_mode) : S_ISFIFO(info.st_mode));
        EXPECT_TRUE(QDir(run.workingDirectory).isEmpty());
        if (frozen >= 0)
            ::close(frozen);
    }
}

// Started with hang-ups ignored (nohup): a hang-up leaves the player playing.
TEST(HardeningEndToEnd, IgnoredHangUpStaysIgnored)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s});
    QProcess *player = startPlayer(run, {songs[0]}, u"trap '' HUP;"_s);
    ::kill(pidOf(player), SIGHUP);
    ASSERT_TRUE(run.runToEnd({songs[1]}));
    EXPECT_EQ(player->state(), QProcess::Running);
    closeKeeping(run, player, songs);
}

// Too few descriptors to start: the start says so and ends (no abort inside
// the toolkit), and touches nothing.
TEST(HardeningEndToEnd, TooFewDescriptorsEndCleanly)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s});
    writeLines(run.defaultAlbum(), {songs[0]});
    QProcess *p = run.startAfter(u"ulimit -n 8;"_s, {songs[1]});
    ASSERT_TRUE(p->waitForFinished(Patience));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 1);
    EXPECT_EQ(readLines(run.defaultAlbum()), QStringList{songs[0]});
    EXPECT_FALSE(QFile::exists(run.iniFile()));
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
    ::kill(pidOf(player), SIGSTOP);
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
    ::kill(pidOf(player), SIGCONT);
    int failed = 0;
    for (QProcess *p : starts) {
        if (!p->waitForFinished(Patience * 4) || p->exitCode() != 0)
            ++failed;
    }
    EXPECT_EQ(failed, 0);
    closeKeeping(run, player, songs.mid(1));
}

// The player runs out of file descriptors while a later start waits: the link
// survives and takes the text once descriptors are free again. Starved again,
// with its socket file removed, which it cannot make anew: a start that cannot
// reach it says so and ends instead of becoming a second player, and the next
// start finds the player again.
TEST(HardeningEndToEnd, DescriptorStarvedPlayerKeepsItsLinkAndStaysTheOnlyOne)
{
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizers' own checks open descriptors (they probe memory through
    // a pipe) and fail in a starved process, which ends it.
    GTEST_SKIP() << "not under the sanitizers";
#endif
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s, u"c.mid"_s, u"d.mid"_s});
    QProcess *player = startPlayer(run);
    const pid_t pid = pidOf(player);
    // One hand-over first: the player has then done all of its start-up (it
    // takes texts last), so no start-up work of its own meets the starvation.
    ASSERT_TRUE(run.runToEnd({songs[0]}));
    rlimit old{};
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, nullptr, &old), 0);
    // The lowest free descriptor number becomes the limit: nothing new opens.
    const auto starve = [&] {
        const QDir fds(u"/proc/%1/fd"_s.arg(pid));
        int lowest = 0;
        while (fds.exists(QString::number(lowest)))
            ++lowest;
        const rlimit starved{rlim_t(lowest), old.rlim_max};
        return ::prlimit(pid, RLIMIT_NOFILE, &starved, nullptr) == 0;
    };
    ASSERT_TRUE(starve());
    QProcess *first = run.start({songs[1]});
    QThread::msleep(1500); // accept() fails meanwhile
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &old, nullptr), 0);
    ASSERT_TRUE(first->waitForFinished(Patience * 2));
    EXPECT_EQ(first->exitCode(), 0);

    ASSERT_TRUE(starve());
    ASSERT_TRUE(QFile::remove(socketFile(run)));
    QProcess *lost = run.start({songs[3]});
    ASSERT_TRUE(lost->waitForFinished(Patience));
    EXPECT_EQ(lost->exitCode(), 1); // not a second player
    ASSERT_EQ(::prlimit(pid, RLIMIT_NOFILE, &old, nullptr), 0);
    ASSERT_TRUE(run.runToEnd({songs[2]}));
    closeKeeping(run, player, songs.mid(0, 3));
}

// The socket file removed, or removed and something else put in its place.
TEST(HardeningEndToEnd, LostSocketFileIsMadeAgain)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s, u"b.mid"_s});
    QProcess *player = startPlayer(run);
    for (const QString &song : songs) {
        ASSERT_TRUE(QFile::remove(socketFile(run)));
        if (song == songs[1])
            writeBytes(socketFile(run), "in the way");
        ASSERT_TRUE(ProgramRun::waitFor(
            [&] {
                struct stat info;
                return ::lstat(QFile::encodeName(socketFile(run)).constData(), &info) == 0 &&
                       S_ISSOCK(info.st_mode);
            },
            Patience));
        ASSERT_TRUE(run.runToEnd({song}));
    }
    closeKeeping(run, player, songs);
}

// Without XDG_RUNTIME_DIR, the temp folder's link name taken by something
// else (a file, a link, a folder open to others) must not switch the single
// instance off. With every place for the link taken (the cache's too) there is
// no link at all, and still one player: a later start says so and ends.
TEST(HardeningEndToEnd, SquattedLinkFoldersKeepOneInstance)
{
    for (const char *squat : {"file", "link", "open folder", "every place"}) {
        SCOPED_TRACE(squat);
        ProgramRun run;
        const QStringList songs = makeSongFiles(run, {u"a.mid"_s});
        const QString tmp = run.scratch(u"tmp"_s), cache = run.scratch(u"cache"_s);
        QDir().mkpath(tmp);
        const QString taken = tmp + u"/sonabel-"_s + QString::number(::geteuid());
        const QByteArray native = QFile::encodeName(taken);
        const bool everyPlace = qstrcmp(squat, "every place") == 0;
        if (qstrcmp(squat, "file") == 0) {
            QFile(taken).open(QIODevice::WriteOnly);
        } else if (qstrcmp(squat, "link") == 0) {
            ASSERT_EQ(::symlink(QFile::encodeName(tmp).constData(), native.constData()), 0);
        } else if (!everyPlace) {
            ASSERT_EQ(::mkdir(native.constData(), 0777), 0);
            ::chmod(native.constData(), 0777);
        } else if (QFileInfo::exists(u"/run/user/"_s + QString::number(::geteuid()))) {
            GTEST_SKIP() << "this user has a runtime folder";
        } else {
            writeBytes(taken, "taken");
            writeBytes(cache + u"/sonabel-link"_s, "taken");
        }
        run.environment.remove(u"XDG_RUNTIME_DIR"_s);
        run.environment.insert(u"TMPDIR"_s, tmp);
        run.environment.insert(u"HOME"_s, run.scratch(u"home"_s));
        run.environment.insert(u"XDG_CACHE_HOME"_s, cache);
        QProcess *player = run.start();
        ASSERT_TRUE(ProgramRun::waitFor([&] { return QFile::exists(run.iniFile()); }, Patience));
        QThread::msleep(500);
        if (everyPlace) {
            QProcess *second = run.start({songs[0]});
            ASSERT_TRUE(second->waitForFinished(Patience));
            EXPECT_EQ(second->exitCode(), 1);
            EXPECT_EQ(player->state(), QProcess::Running);
        } else {
            ASSERT_TRUE(run.runToEnd({songs[0]})) << "became a second player";
        }
        closeKeeping(run, player, everyPlace ? QStringList() : songs);
    }
}

// A start whose connection is dropped before the player said it had the text
// tries again, then says so and fails.
TEST(HardeningEndToEnd, UnacknowledgedTextIsReportedNotSwallowed)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s});
    // A server that takes every connection and drops it without an answer.
    InstanceLink fake(run.runtimeDir());
    ASSERT_EQ(fake.probe(), InstanceLink::Probe::FirstInstance);
    int dropped = 0;
    QLocalServer dropper;
    fake.close(); // the session stays held; the socket is the dropper's
    ASSERT_TRUE(dropper.listen(socketFile(run)));
    QObject::connect(&dropper, &QLocalServer::newConnection, [&] {
        while (QLocalSocket *s = dropper.nextPendingConnection()) {
            ++dropped;
            s->abort();
            s->deleteLater();
        }
    });
    QProcess *second = run.start({songs[0]});
    ASSERT_TRUE(
        ProgramRun::waitFor([&] { return second->state() == QProcess::NotRunning; }, Patience * 2));
    EXPECT_EQ(second->exitCode(), 1);
    EXPECT_GE(dropped, 2); // it tried again
}

} // namespace
