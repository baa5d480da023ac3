// The real program ended by SIGTERM: settings saved, playlist kept, exit 0.
#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

TEST(ShutdownEndToEnd, TerminationSignalsSaveSettingsAndPlaylist)
{
    for (int number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(number);
        ProgramRun run;
        const QStringList songs = makeSongFiles(run, {u"b.mid"_s, u"a.mid"_s});
        QProcess *p = run.start({run.scratch(u"songs"_s)});
        // The first start writes its settings while loading.
        ASSERT_TRUE(ProgramRun::waitFor([&] { return QFile::exists(run.iniFile()); }, 30000));
        ::kill(static_cast<pid_t>(p->processId()), number);
        ASSERT_TRUE(p->waitForFinished(30000));
        EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p->exitCode(), 0);
        EXPECT_EQ(QSettings(run.iniFile(), QSettings::IniFormat).allKeys().size(), 13);
        // The folder's songs, in name order.
        EXPECT_EQ(readLines(run.defaultAlbum()), (QStringList{songs[1], songs[0]}));
    }
}

TEST(ShutdownEndToEnd, UnwritableDefaultAlbumStillEndsCleanly)
{
    ProgramRun run;
    const QStringList songs = makeSongFiles(run, {u"a.mid"_s});
    // A folder standing where the file goes makes the write fail.
    QDir().mkpath(run.defaultAlbum() + u"/blocked"_s);
    QProcess *p = run.start({songs[0]});
    ASSERT_TRUE(ProgramRun::waitFor([&] { return QFile::exists(run.iniFile()); }, 30000));
    ASSERT_TRUE(ProgramRun::terminate(p, 30000));
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), 0);
    EXPECT_TRUE(QSettings(run.iniFile(), QSettings::IniFormat).contains(u"Reset"_s));
    EXPECT_TRUE(QFileInfo(run.defaultAlbum()).isDir());
}

} // namespace
