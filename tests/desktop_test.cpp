// Sonabel on the desktop: the default-player association as the desktop's own
// tools read it back, the desktop entry it writes, the command line's options
// (also on the real program, which then touches nothing) and where a program
// finds the files it ships with.
#include "app/CommandLine.h"
#include "platform/InstanceLink.h"
#include "platform/ProgramFiles.h"
#include "platform/SettingsStore.h"
#include "platform/WindowSystem.h"
#include "settings/Association.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// ---- editing mimeapps.list ----

TEST(MimeappsEdit, ChangesOneKeyAndKeepsEveryOtherLine)
{
    // The list before, the value of key "m" (nullptr: remove it), the list after.
    const std::tuple<const char *, const char *, const char *> table[] = {
        // A new group goes at the end, after a blank line.
        {"[A]\nm=a;", "s;", "[A]\nm=a;\n\n[Default Applications]\nm=s;\n"},
        // A new key goes after the group's last line, with the file's line
        // end; comments, CR LF line ends and other groups stay as they were.
        {"#c\r\n[Default Applications]\r\nb=1\r\n\r\n[X]\r\nm=x;\r\n", "s;",
         "#c\r\n[Default Applications]\r\nb=1\r\nm=s;\r\n\r\n[X]\r\nm=x;\r\n"},
        {"[Default Applications]\r\nb=1", "s;", "[Default Applications]\r\nb=1\nm=s;\r\n"},
        // A present key takes the value where it stands, in its own spelling;
        // its repeats go, since readers disagree on which one counts. A last
        // line without a line end keeps it that way.
        {"[Default Applications]\nm = a; \r\nb=1\nm=c;", "s;",
         "[Default Applications]\nm = s; \r\nb=1"},
        // Removal takes only that key, not keys that merely start alike.
        {"[Default Applications]\nm=a;\nm-x=b;\n#m=c;\n", nullptr,
         "[Default Applications]\nm-x=b;\n#m=c;\n"},
    };
    for (const auto &[before, text, expected] : table) {
        SCOPED_TRACE(before);
        const auto value = text ? std::optional(QByteArray(text)) : std::nullopt;
        const QByteArray after = withDefaultApplications(before, "m", value);
        EXPECT_EQ(after, QByteArray(expected));
        EXPECT_EQ(defaultApplications(after, "m"), value);
    }
}

// ---- the association, read back by the desktop's tools ----

class AssociationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        places = {root.filePath(u"config"_s),
                  root.filePath(u"data/applications"_s),
                  program(u"bin"_s),
                  {root.filePath(u"system/applications"_s)}};
        store = std::make_unique<IniSettingsStore>(root.filePath(u"Sonabel.ini"_s));
    }

    // A stand-in for the program in folder: it notes how it was started.
    QString program(const QString &folder)
    {
        const QString path = root.filePath(folder) + u"/sonabel"_s;
        writeBytes(path, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$SONABEL_LAUNCHED\"\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::ExeOwner);
        return path;
    }
    // Another installed application: xdg-mime names only handlers that exist.
    void install(const QString &name)
    {
        writeBytes(places.applicationsFolder + u'/' + name + u".desktop"_s,
                   "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() +
                       "\nExec=true\nMimeType=audio/midi;text/plain;\n");
    }
    QString listPath() const { return places.configFolder + u"/mimeapps.list"_s; }
    QString entryPath() const { return places.applicationsFolder + u"/sonabel.desktop"_s; }

    // A desktop tool run in the private folders only, as no desktop in particular.
    QString tool(const QString &name, const QStringList &arguments)
    {
        QProcessEnvironment env;
        env.insert(u"PATH"_s, qEnvironmentVariable("PATH"));
        env.insert(u"HOME"_s, root.filePath(u"home"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, places.configFolder);
        env.insert(u"XDG_DATA_HOME"_s, root.filePath(u"data"_s));
        env.insert(u"XDG_CONFIG_DIRS"_s, root.filePath(u"none"_s));
        env.insert(u"XDG_DATA_DIRS"_s, root.filePath(u"system"_s));
        env.insert(u"SONABEL_LAUNCHED"_s, root.filePath(u"launched"_s));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(name, arguments); // a tool that is missing fails here
        EXPECT_TRUE(process.waitForFinished(Patience)) << name.toStdString();
        return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError())
            .trimmed();
    }
    QString defaultFor(const QString &type)
    {
        return tool(u"xdg-mime"_s, {u"query"_s, u"default"_s, type});
    }
    QString backup() const { return store->read(u"Backup"_s).value_or(u"<none>"_s); }

    QTemporaryDir root;
    AssociationPlaces places;
    std::unique_ptr<IniSettingsStore> store;
};

TEST_F(AssociationTest, TakesOverKeepingEveryOtherLineAndGivesBackExactly)
{
    const QByteArray mine = "# mine\n[Default Applications]\ntext/plain=e.desktop;\n"
                            "audio/midi=o.desktop;\n[Removed Associations]\naudio/x-midi=b;\n";
    writeBytes(listPath(), mine);
    install(u"o"_s);
    install(u"e"_s);

    SetDefaultPlayer(true, *store, places);
    EXPECT_EQ(defaultFor(u"audio/midi"_s), u"sonabel.desktop"_s);
    EXPECT_EQ(defaultFor(u"audio/x-midi"_s), u"sonabel.desktop"_s);
    EXPECT_EQ(defaultFor(u"text/plain"_s), u"e.desktop"_s);
    // The handler it replaced stays behind as a fall-back.
    EXPECT_EQ(readBytes(listPath()),
              QByteArray("# mine\n[Default Applications]\ntext/plain=e.desktop;\n"
                         "audio/midi=sonabel.desktop;o.desktop;\n"
                         "audio/x-midi=sonabel.desktop;\n"
                         "[Removed Associations]\naudio/x-midi=b;\n"));
    // A fresh store reads the backup: it is on disk before anything was taken.
    EXPECT_EQ(IniSettingsStore(store->fileName()).read(u"Backup"_s),
              u"audio/midi=o.desktop;\naudio/x-midi="_s);

    // Every save applies it again; nothing changes the second time.
    SetDefaultPlayer(true, *store, places);
    SetDefaultPlayer(false, *store, places);
    EXPECT_EQ(readBytes(listPath()), mine);
    EXPECT_EQ(defaultFor(u"audio/midi"_s), u"o.desktop"_s);
    EXPECT_EQ(backup(), u"audio/midi=o.desktop;\naudio/x-midi="_s);
}

TEST_F(AssociationTest, AHandWrittenListComesBackByteForByte)
{
    // CR LF ends, blanks around "=", a key spelt with the player already
    // first, and no line end at the very end: none of it is Sonabel's to change.
    const QByteArray mine = "[Default Applications]\r\naudio/midi = o;\r\n"
                            "audio/x-midi = sonabel.desktop ; o\r\ntext/plain = e;";
    writeBytes(listPath(), mine);
    SetDefaultPlayer(true, *store, places);
    EXPECT_EQ(readBytes(listPath()),
              QByteArray("[Default Applications]\r\n"
                         "audio/midi = sonabel.desktop;o;\r\n"
                         "audio/x-midi = sonabel.desktop ; o\r\ntext/plain = e;"));
    SetDefaultPlayer(false, *store, places);
    EXPECT_EQ(readBytes(listPath()), mine);
}

TEST_F(AssociationTest, GivingBackRestoresTheFirstBackupAndNothingItDoesNotHold)
{
    // Never taken over: no backup, and nothing is written at all.
    SetDefaultPlayer(false, *store, places);
    EXPECT_FALSE(QFileInfo::exists(places.configFolder));
    EXPECT_FALSE(QFileInfo::exists(places.applicationsFolder));
    EXPECT_EQ(backup(), u"<none>"_s);
    // Taken over where the user had no handler: giving back leaves none.
    SetDefaultPlayer(true, *store, places);
    EXPECT_EQ(defaultFor(u"audio/midi"_s), u"sonabel.desktop"_s);
    SetDefaultPlayer(false, *store, places);
    EXPECT_EQ(readBytes(listPath()), QByteArray("[Default Applications]\n"));

    // Another user's list is a link into a dotfiles folder; it stays one. The
    // first backup is kept through later take-overs.
    store = std::make_unique<IniSettingsStore>(root.filePath(u"Other.ini"_s));
    for (const char *name : {"first", "second", "picked"})
        install(QLatin1String(name));
    const QString dotfile = root.filePath(u"dotfiles/mimeapps.list"_s);
    writeBytes(dotfile, "[Default Applications]\naudio/midi=first.desktop;\n");
    QFile::remove(listPath());
    ASSERT_TRUE(QFile::link(dotfile, listPath()));
    SetDefaultPlayer(true, *store, places);
    SetDefaultPlayer(false, *store, places);
    writeBytes(dotfile, "[Default Applications]\naudio/midi=second.desktop;\n");
    SetDefaultPlayer(true, *store, places);
    SetDefaultPlayer(false, *store, places);
    EXPECT_EQ(defaultFor(u"audio/midi"_s), u"first.desktop"_s);
    EXPECT_EQ(backup(), u"audio/midi=first.desktop;\naudio/x-midi="_s);
    EXPECT_TRUE(QFileInfo(listPath()).isSymLink());
    // A handler the user picked after the take-over is the user's choice.
    SetDefaultPlayer(true, *store, places);
    writeBytes(dotfile, "[Default Applications]\naudio/midi=picked.desktop;\n");
    SetDefaultPlayer(false, *store, places);
    EXPECT_EQ(defaultFor(u"audio/midi"_s), u"picked.desktop"_s);
}

TEST_F(AssociationTest, TheEntryRunsThisVeryProgramWhereverItMoves)
{
    const QString launched = root.filePath(u"launched"_s);
    const QString song = root.filePath(u"My Song.mid"_s);
    // Each folder name carries characters an Exec line must quote or escape.
    for (const QString &folder : {u"bin"_s, u"with space"_s, u"dollar$sign"_s, u"back\\slash"_s,
                                  u"quote\"mark"_s, u"tick`and'apostrophe"_s, u"Ünïcode"_s}) {
        SCOPED_TRACE(folder.toStdString());
        places.executable = program(folder);
        SetDefaultPlayer(true, *store, places);
        // It says nothing about an entry it finds right.
        EXPECT_EQ(tool(u"desktop-file-validate"_s, {entryPath()}), QString());
        if (QStandardPaths::findExecutable(u"gio"_s).isEmpty())
            continue;
        QFile::remove(launched);
        tool(u"gio"_s, {u"launch"_s, entryPath(), song});
        ASSERT_TRUE(ProgramRun::waitFor([&] { return readLines(launched).size() == 2; }, Patience));
        EXPECT_EQ(readLines(launched), QStringList({places.executable, song}));
    }
}

TEST_F(AssociationTest, AnInstalledPlayerNamesItsPackagedEntryAndWritesNoCopy)
{
    const QString packaged = places.systemApplicationsFolders.first() + u"/sonabel.desktop"_s;
    const QByteArray ownCopy = desktopEntryText(places.executable);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(root.filePath(u"bin"_s)) + ':' + path);
    // The packaged entry's Exec line; whether a user copy is wanted.
    const std::tuple<QByteArray, bool> table[] = {
        {"other-player %f", true},
        {QFile::encodeName(places.executable) + " %f", false},
        {"sonabel %F", false}, // found on PATH
    };
    for (const auto &[exec, copied] : table) {
        SCOPED_TRACE(exec.toStdString());
        writeBytes(packaged, "[Desktop Entry]\nType=Application\nName=Sonabel\nExec=" + exec +
                                 "\nMimeType=audio/midi;\n");
        writeBytes(entryPath(), ownCopy); // left by an earlier start
        SetDefaultPlayer(true, *store, places);
        EXPECT_EQ(QFileInfo::exists(entryPath()), copied);
        EXPECT_EQ(defaultFor(u"audio/midi"_s), u"sonabel.desktop"_s);
    }
    // A copy the user made is the user's.
    writeBytes(entryPath(), ownCopy + "NoDisplay=true\n");
    SetDefaultPlayer(true, *store, places);
    EXPECT_TRUE(QFileInfo::exists(entryPath()));
    qputenv("PATH", path);
}

TEST(DesktopEntry, IsTheInstalledEntryWithThisProgram)
{
    QFile installed(QStringLiteral(SONABEL_SOURCE_DIR "/dist/sonabel.desktop"));
    ASSERT_TRUE(installed.open(QIODevice::ReadOnly));
    QByteArray expected = installed.readAll();
    expected.replace("Exec=sonabel %F", "Exec=\"/opt/my player/sonabel\" %F");
    EXPECT_EQ(desktopEntryText(u"/opt/my player/sonabel"_s), expected);
}

// ---- the command line ----

// Options come first, the rest are paths, absolute from here, and words are
// joined into one path only when only the whole names something.
TEST(CommandLineTest, OptionsComeFirstAndTheRestArePaths)
{
    QTemporaryDir dir;
    const QString here = dir.path();
    for (const char *name : {"a.mid", "My Song.mid", "tail.mid "})
        writeBytes(here + u'/' + QLatin1String(name), "MThd");
    QDir(here).mkdir(u"Folder with blanks"_s);
    using A = CommandLine::Action;
    // The arguments, the action, the paths they give (joined by "|", relative
    // to here) or the option not understood.
    const std::tuple<QStringList, A, const char *> table[] = {
        {{u"--"_s, u"--help"_s}, A::Run, "--help"},
        {{u"-"_s}, A::Run, "-"},
        {{u"a.mid"_s, u"--help"_s}, A::Run, "a.mid|--help"},
        {{u"--help"_s, u"--bogus"_s}, A::Help, ""},
        {{u"-v"_s, u"a.mid"_s}, A::Version, ""},
        {{u"--bogus"_s, u"--help"_s}, A::Error, "--bogus"},
        {{u"-hv"_s}, A::Error, "-hv"},
        {{u"a.mid"_s, u"gone.mid"_s}, A::Run, "a.mid|gone.mid"},
        {{u"  My"_s, u"Song.mid "_s}, A::Run, "My Song.mid"},
        {{u"Folder"_s, u"with"_s, u"blanks"_s}, A::Run, "Folder with blanks"},
        // One of them names something on its own: each is a path.
        {{u"My"_s, u"Song.mid"_s, u"a.mid"_s}, A::Run, "My|Song.mid|a.mid"},
        // Blanks around a name go only when it needs that.
        {{u"  a.mid "_s, u"tail.mid "_s}, A::Run, "a.mid|tail.mid "},
        {{u""_s, u"  "_s}, A::Run, ""},
    };
    for (const auto &[arguments, action, text] : table) {
        SCOPED_TRACE(arguments.join(u'|').toStdString());
        const CommandLine line = parseCommandLine(arguments);
        EXPECT_EQ(line.action, action);
        QStringList relative;
        for (const QString &path : commandLinePaths(line.arguments, here)) {
            EXPECT_TRUE(path.startsWith(here + u'/')) << path.toStdString();
            relative.append(path.mid(here.size() + 1));
        }
        EXPECT_EQ(action == A::Error ? line.badOption : relative.join(u'|'),
                  QString::fromUtf8(text));
    }
    // Absolute paths stay as written; the spaces of a one-string command line go.
    const QString z = writeBytes(dir.filePath(u"sub/z.mid"_s), "MThd");
    EXPECT_EQ(commandLinePaths({u"  "_s + z}, u"/elsewhere"_s), QStringList{z});
}

TEST(WindowPlatform, XWaylandWhereThereIsAnXServerAndTheUserChoseNothing)
{
    // The arguments, $QT_QPA_PLATFORM, $DISPLAY, the platform asked for.
    const std::tuple<QStringList, const char *, const char *, const char *> table[] = {
        {{}, "", ":0", "xcb;wayland"},
        {{}, "", "", ""}, // no X server: the toolkit's own choice
        {{}, "wayland", ":0", ""},
        {{u"-platform"_s, u"wayland"_s}, "", ":0", ""},
        {{u"a.mid"_s, u"--platform"_s, u"offscreen"_s}, "", ":0", ""},
        {{u"--"_s, u"-platform"_s}, "", ":0", "xcb;wayland"}, // a file's name
    };
    for (const auto &[arguments, chosen, display, expected] : table) {
        SCOPED_TRACE(arguments.join(u' ').toStdString() + " / " + chosen + " / " + display);
        EXPECT_EQ(preferredWindowPlatform(arguments, chosen, display), QByteArray(expected));
    }
}

TEST(CommandLineEndToEnd, OptionsPrintAndEndTouchingNothing)
{
    ProgramRun run;
    const QByteArray playlist = "/music/a.mid\r\n/music/b.mid\r\n";
    writeBytes(run.defaultAlbum(), playlist);
    // Something listens where a running player would: no option may reach it.
    QLocalServer player;
    ASSERT_TRUE(player.listen(InstanceLink::socketPath(run.runtimeDir())));
    // Help and version need no display: no X server is named here.
    run.environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    run.environment.remove(u"DISPLAY"_s);
    run.environment.remove(u"WAYLAND_DISPLAY"_s);

    // The arguments, the exit status, text that standard output and error hold.
    const std::tuple<QStringList, int, const char *, const char *> table[] = {
        {{u"--help"_s}, 0, "SONABEL_OUTPUT", ""},
        {{u"-h"_s, u"/music/c.mid"_s}, 0, "--version", ""},
        {{u"--version"_s}, 0, "sonabel 1.", ""},
        // Unknown options are refused before the display is needed too.
        {{u"--bogus"_s, u"/music/c.mid"_s}, 2, "", "'--bogus'"},
    };
    int row = 0;
    for (const auto &[arguments, status, stdoutHas, stderrHas] : table) {
        SCOPED_TRACE(arguments.join(u' ').toStdString());
        run.errorFile = run.scratch(u"stderr%1"_s.arg(++row));
        QProcess *process = run.start(arguments);
        ASSERT_TRUE(process->waitForFinished(Patience));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), status);
        EXPECT_TRUE(process->readAllStandardOutput().contains(stdoutHas));
        EXPECT_TRUE(readBytes(run.errorFile).contains(stderrHas));
    }
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
    EXPECT_TRUE(readLines(entry).contains(u"Exec="_s + run.program() + u" %F"_s))
        << readBytes(entry).toStdString();
    ASSERT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(IniSettingsStore(run.iniFile()).read(u"Backup"_s), u"audio/midi=\naudio/x-midi="_s);
}

// ---- files that ship with the program ----

TEST(ProgramFilesTest, BesideTheProgramFirstThenTheInstalledTree)
{
    QTemporaryDir root;
    const QString bin = root.filePath(u"usr/bin"_s), share = root.filePath(u"usr/share/sonabel"_s);
    QDir().mkpath(bin);
    EXPECT_EQ(programDataFile(bin, u"GM.MID"_s), bin + u"/GM.MID"_s); // nowhere: beside
    EXPECT_FALSE(isInstalledProgram(bin));
    writeBytes(share + u"/GM.MID"_s, "x");
    EXPECT_EQ(programDataFile(bin, u"GM.MID"_s), share + u"/GM.MID"_s);
    EXPECT_EQ(programDataFile(bin, u"GS.MID"_s), bin + u"/GS.MID"_s);
    EXPECT_TRUE(isInstalledProgram(bin));
    writeBytes(bin + u"/GM.MID"_s, "x"); // a build folder: everything beside
    EXPECT_EQ(programDataFile(bin, u"GM.MID"_s), bin + u"/GM.MID"_s);
    EXPECT_FALSE(isInstalledProgram(bin));
}

} // namespace
