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
#include <sys/resource.h>
#include <unistd.h>

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
// partly on a screen is kept.
TEST_F(StartupTest, SavedSettingsSetTheControls)
{
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
    }
    EXPECT_EQ(store.writes, 0); // no first-run write-back
}

TEST_F(StartupTest, DefaultAlbumIsReadAndItsFirstSongPlaysAfterTheReset)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s);
    album(u"default.mal"_s, {a, b});
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.lstPlay.paths(), (QStringList{a, b}));
    EXPECT_EQ(w.playIndex(), 0);
    EXPECT_EQ(device.opened(), (QStringList{dir.filePath(u"GM.MID"_s), a}));
    EXPECT_TRUE(device.log.contains(u"Prelude "_s + dir.filePath(u"GM.MID"_s)));
    EXPECT_EQ(w.Global.AlbumList[1], u"Empty"_s);
}

TEST_F(StartupTest, CurrentAlbumOneSkipsDefaultAlbumAndChecksFirstItem)
{
    album(u"default.mal"_s, {song(u"a.mid"_s)});
    store.values.insert(u"CurrentAlbum"_s, u"1"_s);
    store.values.insert(u"Album1"_s, u"/albums/Party.mal"_s);
    frmMain &w = window();
    w.Form_Load();
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_TRUE(w.mnuA[1]->isVisible() && w.mnuA[1]->isChecked());
    EXPECT_EQ(w.mnuA[1]->text(), u"Party"_s);
}

TEST_F(StartupTest, ArgumentReplacesTheDefaultAlbumOnlyWhenItNamesSomethingPlayable)
{
    const QString a = song(u"a.mid"_s), z = song(u"z.mid"_s);
    album(u"default.mal"_s, {a, a, a});
    frmMain &w = window();
    w.Form_Load();
    // Neither a MIDI file nor an album: the playlist empties, the song goes on.
    TakeArgument(w, {file(u"notes.txt"_s)});
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_EQ(device.openFile(), a);
    EXPECT_TRUE(device.isPlaying() && !w.isStopped());
    TakeArgument(w, {z});
    EXPECT_EQ(w.lstPlay.paths(), QStringList{z});
    EXPECT_EQ(device.openFile(), z);
}

// ---- the close ----

TEST_F(StartupTest, EmptyPlaylistRemovesDefaultAlbumAndTouchesNothingElse)
{
    album(u"default.mal"_s, {u"/gone.mid"_s});
    frmMain &w = window();
    w.Form_Load();
    w.Form_QueryUnload();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"default.mal"_s)));
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    frmMain again(services());
    again.Form_QueryUnload();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    EXPECT_EQ(device.log.last(), u"Close"_s);
}

// A default album too big for the memory left: said, the playlist starts
// empty, and the file stays as it was at the close instead of being replaced
// by less (or removed as the empty playlist would have it).
TEST_F(StartupTest, DefaultAlbumTooBigForTheMemoryIsKept)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve address space of their own";
#endif
    const QString a = song(u"a.mid"_s);
    const QString path = album(u"default.mal"_s, {a, a});
    const qint64 size = qint64(1) << 30;
    ASSERT_TRUE(QFile::resize(path, size)); // the rest a hole: no disk taken
    QFile statm(u"/proc/self/statm"_s);
    ASSERT_TRUE(statm.open(QIODevice::ReadOnly));
    const qint64 used = statm.readAll().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_AS, &saved), 0);
    const rlimit tight{rlim_t(used + (256 << 20)), saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_AS, &tight), 0);
    // Read while the limit holds, without a progress window.
    const AlbumLoadsAs waitedFor({0, std::chrono::seconds(30)});
    frmMain &w = window();
    w.Form_Load();
    ::setrlimit(RLIMIT_AS, &saved);
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_EQ(dialogs.messages.size(), 1);
    w.Form_QueryUnload();
    EXPECT_EQ(QFileInfo(path).size(), size);
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.read(1000).left(2 * (a.size() + 2)), ((a + u"\r\n"_s).repeated(2)).toUtf8());
}

// A default album whose load is cancelled, with its window's button or by the
// player closing meanwhile, stays as it was at the close.
TEST_F(StartupTest, DefaultAlbumWhoseLoadIsCancelledIsKept)
{
    const AlbumLoadsAs onWorker;
    const QString a = song(u"a.mid"_s);
    const QString path = album(u"default.mal"_s, QStringList(20000, a));
    const QByteArray bytes = readBytes(path);
    {
        frmMain w(services());
        w.Form_Load();
        ASSERT_TRUE(w.albumLoading() && w.enumDirForm());
        w.enumDirForm()->cancelButton()->click();
        ASSERT_TRUE(ProgramRun::waitFor([&] { return !w.albumLoading(); }, 20000));
        EXPECT_TRUE(w.lstPlay.isEmpty());
        w.lstPlay.append(a);
        w.Form_QueryUnload();
        EXPECT_EQ(readBytes(path), bytes);
    }
    frmMain w(services());
    w.Form_Load();
    ASSERT_TRUE(w.albumLoading());
    w.Form_QueryUnload();
    EXPECT_EQ(readBytes(path), bytes);
}

TEST_F(StartupTest, PlaylistIsWrittenLineForLineOnceIntoAFolderMadeForIt)
{
    MainWindowServices s = services();
    s.dataFolder = dir.filePath(u"data/Sonabel"_s); // does not exist yet
    frmMain w(s);
    w.Form_Load();
    const QStringList songs = {song(u"c.mid"_s), song(u"a.mid"_s), song(u"b c.mid"_s)};
    w.lstPlay.append(songs);
    w.UpdateMIDI();
    w.Global.CurrentAlbum = 1; // still written, though not read at the next start
    w.mnuClose_Click();
    const QString album = s.dataFolder + u"/default.mal"_s;
    EXPECT_EQ(readBytes(album), (songs.join(u"\r\n"_s) + u"\r\n"_s).toUtf8());
    EXPECT_EQ(store.values.value(u"CurrentAlbum"_s), u"1"_s);
    // The window system closing the window afterwards changes nothing.
    QFile::remove(album);
    const int writes = store.writes;
    w.close();
    EXPECT_EQ(store.writes, writes);
    EXPECT_FALSE(QFileInfo::exists(album));
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

// The defaults themselves are checked on the window, above, and that a store
// with the marker is not written: SavedSettingsSetTheControls.
TEST(SettingsTest, DefaultsAreWrittenBackUntilTheMarkerIsThere)
{
    MemoryStore store;
    Settings s;
    int associations = 0;
    LoadSettings(s, store, Screen, [&](bool enable) {
        EXPECT_FALSE(enable);
        ++associations;
    });
    EXPECT_FALSE(store.values.contains(QString())); // the marker is never written
    EXPECT_EQ(associations, 1);
    const int writes = store.writes;
    LoadSettings(s, store, Screen, {});
    EXPECT_EQ(store.writes, 2 * writes);
}

TEST(SettingsTest, DecodingOfStoredTexts)
{
    // Booleans are true exactly when the text reads as the number 1.
    const std::pair<const char *, bool> booleans[] = {{"1", true},  {"1.0", true}, {" 1 ", true},
                                                      {"2", false}, {"-1", false}, {"0", false}};
    for (const auto &[text, value] : booleans)
        EXPECT_EQ(decodeBoolean(QLatin1String(text), !value), value) << text;
    EXPECT_TRUE(decodeBoolean(u"yes"_s, true)); // unreadable: the fallback
    const std::pair<const char *, int> bytes[] = {{"255", 255}, {"256", 7}, {"-1", 7},
                                                  {"2.5", 2},   {"nan", 7}, {"two", 7}};
    for (const auto &[text, value] : bytes)
        EXPECT_EQ(decodeByte(QLatin1String(text), 7), value) << text;
    EXPECT_EQ(decodeSingle(u"-300"_s, 0), -300.0f);
    EXPECT_EQ(decodeSingle(u"12.5"_s, 0), 12.5f);
    EXPECT_EQ(decodeSingle(u"1e400"_s, 3), 3.0f);
    EXPECT_EQ(encodeSingle(6485), u"6485"_s);
    EXPECT_EQ(encodeSingle(12.5f), u"12.5"_s);
}

TEST(SettingsTest, GarbledValuesAndFilesFallBackToTheirDefaults)
{
    MemoryStore store;
    store.values = {{QString(), u"x"_s},         {u"Default"_s, u"2"_s},
                    {u"Snap"_s, u"banana"_s},    {u"onTop"_s, u"0"_s},
                    {u"onNew"_s, u"5"_s},        {u"Reset"_s, u"300"_s},
                    {u"X"_s, u"left"_s},         {u"Y"_s, u""_s},
                    {u"CurrentAlbum"_s, u"9"_s}, {u"Album1"_s, u"/a/one.mal"_s}};
    Settings s;
    LoadSettings(s, store, Screen, {});
    EXPECT_FALSE(s.DefaultPlayer);
    EXPECT_TRUE(s.SnapToScreen);
    EXPECT_FALSE(s.OnTop);
    EXPECT_EQ(s.OnNewEntry, 0);
    EXPECT_EQ(s.ResetMode, 1);
    EXPECT_EQ(s.WindowX, 6485.0f);
    EXPECT_EQ(s.WindowY, 0.0f);
    EXPECT_EQ(s.CurrentAlbum, 0);
    // Only slot 1 stored: the others are free.
    EXPECT_EQ(s.AlbumList, (std::array<QString, 5>{QString(), u"/a/one.mal"_s, u"Empty"_s,
                                                   u"Empty"_s, u"Empty"_s}));

    QTemporaryDir dir;
    const QString file =
        writeBytes(dir.filePath(u"Sonabel.ini"_s),
                   QByteArray("[General\nReset=\x01\x02\n=\n[[[\n") + QByteArray(5000, '\xa7'));
    IniSettingsStore garbled(file);
    Settings fromFile;
    LoadSettings(fromFile, garbled, Screen, {});
    EXPECT_EQ(fromFile.ResetMode, 1);
    EXPECT_TRUE(fromFile.OnTop);
    EXPECT_EQ(fromFile.AlbumList[1], u"Empty"_s);
}

TEST(SettingsTest, IniStoreGivesBackEveryValueExactly)
{
    // Every value differs from its default; album paths carry what INI files
    // treat specially.
    Settings saved;
    saved.DefaultPlayer = true;
    saved.SnapToScreen = saved.OnTop = saved.ShadeMode = false;
    saved.OnNewEntry = saved.CurrentAlbum = 1;
    saved.ResetMode = 2;
    saved.WindowX = -300;
    saved.WindowY = 12345;
    saved.AlbumList = {QString(), u"/home/me/My, Album; #1 = \"best\".mal "_s,
                       u"@Variant(odd)\\back\\slash"_s, u"  Ünïcödé ♪ [section].mal"_s, u"Empty"_s};
    QTemporaryDir dir;
    const QString file = dir.filePath(u"Sonabel.ini"_s);
    {
        IniSettingsStore ini(file);
        SaveSettings(saved, ini, {});
        EXPECT_TRUE(ini.flush());
    }
    IniSettingsStore ini(file);
    ini.write(QString(), u"x"_s); // as if the first-run marker were there
    Settings loaded;
    LoadSettings(loaded, ini, Screen, {});
    // Saved again, the loaded settings give exactly the texts the first save gave.
    MemoryStore before, after;
    SaveSettings(saved, before, {});
    SaveSettings(loaded, after, {});
    EXPECT_EQ(after.values, before.values);
}

} // namespace
