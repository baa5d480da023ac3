// The real program on the desktop: the options print and end without touching
// the playlist, the settings or a running player; a checked default-player
// box registers the very program that runs.
#include "platform/InstanceLink.h"
#include "platform/SettingsStore.h"
#include "support/ProgramRun.h"

#include <QFile>
#include <QLocalServer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Patience = 60000; // ms; only reached when something hangs

struct OptionRun
{
    QStringList arguments;
    int status;
    const char *stdoutHas;
    const char *stderrHas;
};

// Runs the program to its end; false when it did not end in time.
bool runOnce(const ProgramRun &run, const QStringList &arguments, QProcess &process)
{
    process.setProcessEnvironment(run.environment);
    process.start(run.program(), arguments);
    return process.waitForFinished(Patience) && process.exitStatus() == QProcess::NormalExit;
}

TEST(CommandLineEndToEnd, OptionsPrintAndEndTouchingNothing)
{
    ProgramRun run;
    const QByteArray playlist = "/music/a.mid\r\n/music/b.mid\r\n";
    QFile album(run.defaultAlbum());
    ASSERT_TRUE(album.open(QIODevice::WriteOnly));
    album.write(playlist);
    album.close();
    // Something listens where a running player would: no option may reach it.
    QLocalServer player;
    ASSERT_TRUE(player.listen(InstanceLink::socketPath(run.runtimeDir())));
    // Help and version need no display: no X server is named here.
    run.environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    run.environment.remove(u"DISPLAY"_s);
    run.environment.remove(u"WAYLAND_DISPLAY"_s);

    const OptionRun table[] = {
        {{u"--help"_s}, 0, "SONABEL_OUTPUT", ""},
        {{u"-h"_s, u"/music/c.mid"_s}, 0, "--version", ""},
        {{u"--version"_s}, 0, "sonabel 1.", ""},
        {{u"-v"_s}, 0, "sonabel 1.", ""},
        // Unknown options are refused before the display is needed too.
        {{u"--bogus"_s}, 2, "", "'--bogus'"},
        {{u"-x"_s, u"/music/c.mid"_s}, 2, "", "'-x'"},
    };
    for (const OptionRun &row : table) {
        SCOPED_TRACE(row.arguments.join(u' ').toStdString());
        QProcess process;
        ASSERT_TRUE(runOnce(run, row.arguments, process));
        EXPECT_EQ(process.exitCode(), row.status);
        EXPECT_TRUE(process.readAllStandardOutput().contains(row.stdoutHas));
        EXPECT_TRUE(process.readAllStandardError().contains(row.stderrHas));
    }
    // Qt's own options are taken out before the player's are looked at.
    run.environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    QProcess process;
    ASSERT_TRUE(runOnce(run, {u"-platform"_s, u"offscreen"_s, u"--bogus"_s}, process));
    EXPECT_EQ(process.exitCode(), 2);

    EXPECT_EQ(readBytes(run.defaultAlbum()), playlist);
    EXPECT_FALSE(QFile::exists(run.iniFile()));
    EXPECT_FALSE(player.hasPendingConnections());
}

TEST(DesktopEndToEnd, TheDefaultPlayerIsTheProgramThatRuns)
{
    ProgramRun run;
    {
        IniSettingsStore settings(run.iniFile());
        settings.write(QString(), u"Sonabel"_s); // not a first start
        settings.write(u"Default"_s, u"1"_s);
        ASSERT_TRUE(settings.flush());
    }
    const QString list = run.configHome() + u"/mimeapps.list"_s;
    const QString entry =
        run.environment.value(u"XDG_DATA_HOME"_s) + u"/applications/sonabel.desktop"_s;
    QProcess *player = run.start();
    EXPECT_TRUE(ProgramRun::waitFor(
        [&] {
            return readBytes(list).contains("audio/midi=sonabel.desktop;") &&
                   readBytes(list).contains("audio/x-midi=sonabel.desktop;");
        },
        Patience));
    EXPECT_TRUE(readLines(entry).contains(u"Exec="_s + run.program() + u" %f"_s))
        << readBytes(entry).toStdString();
    ASSERT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(IniSettingsStore(run.iniFile()).read(u"Backup"_s), u"audio/midi=\naudio/x-midi="_s);
}

} // namespace
