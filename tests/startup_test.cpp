// Start and close on fakes: the window's first state from the settings, what
// plays first, and at the close the settings and the playlist kept in
// "default.mal" or that file removed; the settings codec and the INI store:
// the first-run write-back, exact round trips, and values or files that
// cannot be read.
#include "app/Main.h"
#include "platform/SettingsStore.h"
#include "playlist/frmEnumDir.h"
#include "settings/Settings.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

using StartupTest = WindowFixture;

TEST_F(StartupTest, FirstStartWithEmptyStoreUsesDefaultsAndWritesThem)
{
    store.values.clear();
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.heightTwips(), 195); // starts shaded
    EXPECT_TRUE(w.mnuShade->isChecked());
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.mnuTop->isChecked() && w.mnuSnap->isChecked());
    EXPECT_EQ(w.pos(), QPoint(px(12000 - 4515 - 1000), 0));
    EXPECT_TRUE(w.optReset[1]->isChecked());
    EXPECT_TRUE(w.optInterrupt[0]->isChecked() && w.mnuNewList->isChecked());
    EXPECT_EQ(w.player.resetFile(), dir.filePath(u"GM.MID"_s));
    const QMap<QString, QString> defaults = {
        {u"Default"_s, u"0"_s},    {u"Snap"_s, u"1"_s},       {u"onTop"_s, u"1"_s},
        {u"Shade"_s, u"1"_s},      {u"onNew"_s, u"0"_s},      {u"Reset"_s, u"1"_s},
        {u"X"_s, u"6485"_s},       {u"Y"_s, u"0"_s},          {u"CurrentAlbum"_s, u"0"_s},
        {u"Album1"_s, u"Empty"_s}, {u"Album2"_s, u"Empty"_s}, {u"Album3"_s, u"Empty"_s},
        {u"Album4"_s, u"Empty"_s}};
    EXPECT_EQ(store.values, defaults); // written back at once
}

// A position wholly off every screen falls back to the first-run place; one
// partly on a screen is kept. With album 1 current, the default album is
// skipped and the album's menu item checked.
TEST_F(StartupTest, SavedSettingsSetTheControls)
{
    album(u"default.mal"_s, {song(u"a.mid"_s)});
    store.values.insert(u"CurrentAlbum"_s, u"1"_s);
    store.values.insert(u"Album1"_s, u"/albums/Party.mal"_s);
    for (const char *key : {"onTop", "Snap"})
        store.values.insert(QLatin1String(key), u"0"_s);
    store.values.insert(u"onNew"_s, u"1"_s);
    store.values.insert(u"Reset"_s, u"2"_s);
    const std::tuple<const char *, const char *, QPoint> places[] = {
        {"1500", "750", QPoint(100, 50)},
        {"-3000", "-1500", QPoint(-200, -100)},
        {"-90000", "45000", QPoint(px(12000 - 4515 - 1000), 0)}};
    for (const auto &[x, y, expected] : places) {
        store.values.insert(u"X"_s, QLatin1String(x));
        store.values.insert(u"Y"_s, QLatin1String(y));
        frmMain w(services());
        w.Form_Load();
        EXPECT_EQ(w.pos(), expected) << x;
        EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint || w.mnuSnap->isChecked());
        EXPECT_TRUE(w.optInterrupt[1]->isChecked() && w.mnuNewPlay->isChecked());
        EXPECT_FALSE(w.mnuNewList->isChecked());
        EXPECT_EQ(w.player.resetFile(), dir.filePath(u"GS.MID"_s));
        EXPECT_TRUE(w.lstPlay.isEmpty());
        EXPECT_TRUE(w.mnuA[1]->isVisible() && w.mnuA[1]->isChecked());
        EXPECT_EQ(w.mnuA[1]->text(), u"Party"_s);
    }
    EXPECT_EQ(store.writes, 0); // no first-run write-back
}

// Its first song plays after the reset; an argument that names neither a MIDI
// file nor an album empties the playlist and lets the song go on.
TEST_F(StartupTest, DefaultAlbumPlaysUntilAPlayableArgumentReplacesIt)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s), z = song(u"z.mid"_s);
    album(u"default.mal"_s, {a, b});
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.lstPlay.paths(), (QStringList{a, b}));
    EXPECT_EQ(w.playIndex(), 0);
    EXPECT_EQ(device.opened(), (QStringList{dir.filePath(u"GM.MID"_s), a}));
    EXPECT_TRUE(device.log.contains(u"Prelude "_s + dir.filePath(u"GM.MID"_s)));
    TakeArgument(w, {file(u"notes.txt"_s)});
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_EQ(device.openFile(), a);
    EXPECT_TRUE(device.isPlaying() && !w.isStopped());
    TakeArgument(w, {z});
    EXPECT_EQ(w.lstPlay.paths(), QStringList{z});
    EXPECT_EQ(device.openFile(), z);
}

// ---- the close ----

// A default album whose load is cancelled, with its window's button or by the
// player closing meanwhile, stays as it was at the close.
TEST_F(StartupTest, DefaultAlbumWhoseLoadIsCancelledIsKept)
{
    const AlbumLoadsAs onWorker;
    const QString a = song(u"a.mid"_s);
    const QString path = album(u"default.mal"_s, QStringList(20000, a));
    const QByteArray bytes = readBytes(path);
    for (const bool button : {true, false}) {
        SCOPED_TRACE(button ? "cancelled with the button" : "closed while loading");
        frmMain w(services());
        w.Form_Load();
        ASSERT_TRUE(w.albumLoading() && w.enumDirForm());
        if (button) {
            w.enumDirForm()->cancelButton()->click();
            ASSERT_TRUE(ProgramRun::waitFor([&] { return !w.albumLoading(); }, 20000));
            EXPECT_TRUE(w.lstPlay.isEmpty());
            w.lstPlay.append(a);
        }
        w.Form_QueryUnload();
        EXPECT_EQ(readBytes(path), bytes);
    }
}

// At the close the playlist is written line for line, once, into a folder
// made for it; an empty one removes the file and touches nothing else.
TEST_F(StartupTest, PlaylistIsKeptAtTheCloseOnceAndAnEmptyOneRemovesTheFile)
{
    MainWindowServices s = services();
    s.dataFolder = dir.filePath(u"data/Sonabel"_s); // does not exist yet
    const QString album = s.dataFolder + u"/default.mal"_s;
    frmMain w(s);
    w.Form_Load();
    const QStringList songs = {song(u"c.mid"_s), song(u"a.mid"_s), song(u"b c.mid"_s)};
    w.lstPlay.append(songs);
    w.UpdateMIDI();
    w.Global.CurrentAlbum = 1; // still written, though not read at the next start
    w.mnuClose_Click();
    EXPECT_EQ(readBytes(album), (songs.join(u"\r\n"_s) + u"\r\n"_s).toUtf8());
    EXPECT_EQ(store.values.value(u"CurrentAlbum"_s), u"1"_s);
    // The window system closing the window afterwards changes nothing.
    writeBytes(album, "/gone.mid\r\n");
    const int writes = store.writes;
    w.close();
    EXPECT_EQ(store.writes, writes);
    EXPECT_EQ(readBytes(album), QByteArray("/gone.mid\r\n"));

    store.values.insert(u"CurrentAlbum"_s, u"0"_s);
    frmMain next(s);
    next.Form_Load();
    next.Form_QueryUnload();
    EXPECT_FALSE(QFileInfo::exists(album));
    const QStringList before = QDir(s.dataFolder).entryList(QDir::AllEntries | QDir::Hidden);
    frmMain again(s);
    again.Form_QueryUnload();
    EXPECT_EQ(QDir(s.dataFolder).entryList(QDir::AllEntries | QDir::Hidden), before);
    EXPECT_EQ(device.log.last(), u"Close"_s);
}

// The application's own quit request, which is what the session manager sends
// at logout, closes the player as "Close player" does and ends the event
// loop, also while the window is minimised to its taskbar placeholder.
TEST_F(StartupTest, QuitRequestClosesThePlayerAlsoWhenMinimised)
{
    const QString a = song(u"a.mid"_s);
    frmMain &w = window();
    w.Form_Load();
    w.lstPlay.append(a);
    w.show();
    w.mnuMinimize_Click();
    connectShutdown(*qApp, w);
    w.setEventLoopRunning(true);
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(readLines(dir.filePath(u"default.mal"_s)), QStringList{a});
}

// ---- the settings codec and store ----

constexpr double Screen = 12000; // twips

// A stored text as the next save writes it, read through the INI file:
// booleans are true exactly when the text reads as the number 1; unreadable
// texts and options without a button take their defaults; album slots not
// stored are free, and album paths come back exactly, whatever INI files treat
// specially. (The defaults themselves, and that they are written back only at
// the first start, are checked on the window, above.)
TEST(SettingsTest, StoredTextsComeBackAsTheyRead)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"Sonabel.ini"_s);
    // The text saved after the stored one was loaded from the INI file.
    const auto savedAfter = [&](const QString &key, const QString &text) {
        QFile::remove(file);
        {
            IniSettingsStore ini(file);
            ini.write(QString(), u"x"_s); // not a first start
            ini.write(key, text);
            EXPECT_TRUE(ini.flush());
        }
        IniSettingsStore ini(file);
        Settings s;
        LoadSettings(s, ini, Screen, {});
        MemoryStore saved;
        SaveSettings(s, saved, {});
        EXPECT_EQ(saved.values.value(u"Album4"_s), u"Empty"_s);
        return saved.values.value(key);
    };
    // The key, its stored text, the text saved after loading it ("": the same).
    const std::tuple<const char *, const char *, const char *> table[] = {
        {"Default", "1", ""},      {"Default", "2", "0"},     {"Snap", "1.0", "1"},
        {"Snap", " 1 ", "1"},      {"Snap", "banana", "1"},   {"onTop", "0", ""},
        {"Shade", "-1", "0"},      {"onNew", "1", ""},        {"onNew", "5", "0"},
        {"Reset", "2.5", "2"},     {"Reset", "3", "1"},       {"Reset", "256", "1"},
        {"Reset", "nan", "1"},     {"X", "-300", ""},         {"X", "12.5", ""},
        {"X", "1e400", "6485"},    {"Y", "12345", ""},        {"Y", "left", "0"},
        {"CurrentAlbum", "1", ""}, {"CurrentAlbum", "9", "0"}};
    for (const auto &[key, text, expected] : table) {
        EXPECT_EQ(savedAfter(QLatin1String(key), QLatin1String(text)),
                  QLatin1String(*expected ? expected : text))
            << key << '=' << text;
    }
    for (const QString &path :
         {u"/a, b; #1 = \"c\".mal "_s, u"@Variant(x)\\b\\s"_s, u"  \u00dc \u266a [s].mal"_s})
        EXPECT_EQ(savedAfter(u"Album1"_s, path), path);
    writeBytes(file, QByteArray("[General\nReset=\x01\x02\n=\n[[[\n") + QByteArray(5000, '\xa7'));
    IniSettingsStore garbled(file);
    Settings fromFile;
    LoadSettings(fromFile, garbled, Screen, {});
    EXPECT_EQ(fromFile.ResetMode, 1);
    EXPECT_TRUE(fromFile.OnTop);
    EXPECT_EQ(fromFile.AlbumList[1], u"Empty"_s);
}

} // namespace
