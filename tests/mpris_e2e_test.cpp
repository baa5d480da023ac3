// The real program as a media player on a private session bus, driven with
// gdbus the way media keys and desktop widgets drive it.
#include "support/ProgramRun.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>
#include <csignal>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString Dest = u"org.mpris.MediaPlayer2.sonabel"_s;
const QString Path = u"/org/mpris/MediaPlayer2"_s;
const QString Player = u"org.mpris.MediaPlayer2.Player"_s;

// A session bus of the test's own, ended with the test.
class PrivateBus
{
public:
    PrivateBus()
    {
        m_daemon.start(u"dbus-daemon"_s, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s});
        if (m_daemon.waitForStarted(10000) && m_daemon.waitForReadyRead(10000))
            address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~PrivateBus()
    {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
    QString address;

private:
    QProcess m_daemon;
};

class MediaPlayer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(u"dbus-daemon"_s).isEmpty() ||
            QStandardPaths::findExecutable(u"gdbus"_s).isEmpty())
            GTEST_SKIP() << "dbus-daemon or gdbus is not installed";
        ASSERT_FALSE(bus.address.isEmpty());
        run.environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, bus.address);
    }

    // gdbus with the given arguments on the private bus; its output.
    QString gdbus(const QStringList &arguments)
    {
        QProcess p;
        p.setProcessEnvironment(run.environment);
        p.start(u"gdbus"_s, arguments);
        if (!p.waitForFinished(10000)) {
            p.kill();
            p.waitForFinished(2000);
            return QString();
        }
        return QString::fromUtf8(p.readAllStandardOutput()) +
               QString::fromUtf8(p.readAllStandardError());
    }
    QString call(const QString &method, const QStringList &arguments = {})
    {
        return gdbus(QStringList{u"call"_s, u"--session"_s, u"--dest"_s, Dest, u"--object-path"_s,
                                 Path, u"--method"_s, method} +
                     arguments);
    }
    QString get(const QString &property)
    {
        return call(u"org.freedesktop.DBus.Properties.Get"_s, {Player, property});
    }
    qint64 position()
    {
        const QRegularExpressionMatch m =
            QRegularExpression(u"int64 (\\d+)"_s).match(get(u"Position"_s));
        return m.hasMatch() ? m.captured(1).toLongLong() : -1;
    }
    bool waitForGet(const QString &property, const QString &part)
    {
        return ProgramRun::waitFor([&] { return get(property).contains(part); }, 20000);
    }

    PrivateBus bus;
    ProgramRun run;
};

TEST_F(MediaPlayer, TransportAndPropertiesOverTheBus)
{
    QStringList songs;
    for (const QString &name : {u"alpha.mid"_s, u"beta.mid"_s, u"gamma.mid"_s})
        songs.append(writeSteadySong(run.scratch(u"songs/"_s + name), 40, 500));
    QProcess *player = run.start({run.scratch(u"songs"_s)});
    // Once on the bus, the first song plays, with its title and length.
    ASSERT_TRUE(waitForGet(u"PlaybackStatus"_s, u"'Playing'"_s));
    QProcess monitor;
    monitor.setProcessEnvironment(run.environment);
    monitor.start(u"gdbus"_s, {u"monitor"_s, u"--session"_s, u"--dest"_s, Dest});
    ASSERT_TRUE(monitor.waitForStarted(10000));
    QString announced;
    const auto heard = [&](const QString &part) {
        return ProgramRun::waitFor(
            [&] {
                announced += QString::fromUtf8(monitor.readAllStandardOutput());
                return announced.contains(part);
            },
            10000);
    };

    const QString metadata = get(u"Metadata"_s);
    EXPECT_TRUE(metadata.contains(u"'xesam:title': <'alpha'>"_s)) << metadata.toStdString();
    EXPECT_TRUE(metadata.contains(u"'mpris:length': <int64 40000000>"_s)) << metadata.toStdString();
    EXPECT_TRUE(metadata.contains(QUrl::fromLocalFile(songs[0]).toString()))
        << metadata.toStdString();

    // Pause holds the position; Play goes on from it.
    call(Player + u".Pause"_s);
    EXPECT_TRUE(waitForGet(u"PlaybackStatus"_s, u"'Paused'"_s));
    EXPECT_TRUE(heard(u"'PlaybackStatus': <'Paused'>"_s)) << announced.toStdString();
    const qint64 held = position();
    QThread::msleep(400);
    EXPECT_EQ(position(), held);
    call(Player + u".Play"_s);
    EXPECT_TRUE(waitForGet(u"PlaybackStatus"_s, u"'Playing'"_s));
    EXPECT_TRUE(ProgramRun::waitFor([&] { return position() > held; }, 5000));

    // Next: the second song, announced.
    call(Player + u".Next"_s);
    EXPECT_TRUE(waitForGet(u"Metadata"_s, u"'xesam:title': <'beta'>"_s));
    EXPECT_TRUE(heard(u"'xesam:title': <'beta'>"_s)) << announced.toStdString();

    // A jump within the song, for the song playing only.
    const QString track =
        QRegularExpression(u"objectpath '([^']+)'"_s).match(get(u"Metadata"_s)).captured(1);
    ASSERT_FALSE(track.isEmpty());
    call(Player + u".SetPosition"_s, {u"/org/sonabel/track/99"_s, u"30000000"_s});
    EXPECT_LT(position(), 10000000);
    call(Player + u".SetPosition"_s, {track, u"20000000"_s});
    EXPECT_GE(position(), 20000000);
    EXPECT_LT(position(), 25000000);

    // Quit is "Close player": the playlist is kept.
    call(u"org.mpris.MediaPlayer2.Quit"_s);
    ASSERT_TRUE(player->waitForFinished(15000));
    EXPECT_EQ(player->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player->exitCode(), 0);
    EXPECT_EQ(readLines(run.defaultAlbum()), songs);
    monitor.kill();
    monitor.waitForFinished(5000);
}

TEST(MediaPlayerWithoutBus, RunsAsBeforeWithOneLineOnStderr)
{
    ProgramRun run;
    run.environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s,
                           u"unix:path="_s + run.scratch(u"no-bus-here"_s));
    QProcess player;
    player.setProcessEnvironment(run.environment);
    player.start(run.program(), {});
    // The first start writes its settings while loading.
    ASSERT_TRUE(ProgramRun::waitFor([&] { return QFile::exists(run.iniFile()); }, 30000));
    ASSERT_TRUE(ProgramRun::terminate(&player, 30000));
    EXPECT_EQ(player.exitCode(), 0);
    const QString errors = QString::fromUtf8(player.readAllStandardError());
    EXPECT_EQ(errors.count(u"D-Bus"_s), 1) << errors.toStdString();
}

} // namespace
