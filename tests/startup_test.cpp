// Start-up: the window's first state from the settings, what plays first,
// and the controls and menus the window is built with.
#include "app/Main.h"
#include "support/WindowFixture.h"

using namespace Qt::StringLiterals;

namespace {

class StartupTest : public WindowFixture
{};

TEST_F(StartupTest, FirstStartWithEmptyStoreUsesDefaults)
{
    store.values.clear();
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.heightTwips(), 195); // starts shaded
    EXPECT_TRUE(w.mnuShade->isChecked());
    EXPECT_TRUE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(w.mnuTop->isChecked() && w.mnuSnap->isChecked());
    EXPECT_EQ(w.x(), px(12000 - 4515 - 1000));
    EXPECT_EQ(w.y(), 0);
    EXPECT_TRUE(w.optReset[1]->isChecked());
    EXPECT_TRUE(w.optInterrupt[0]->isChecked() && w.mnuNewList->isChecked());
    EXPECT_EQ(w.ResetFile, dir.filePath(u"GM.MID"_s));
    EXPECT_EQ(store.values.size(), 13); // written back at once
}

TEST_F(StartupTest, SavedSettingsSetTheControls)
{
    store.values.insert(u"Shade"_s, u"0"_s);
    store.values.insert(u"onTop"_s, u"0"_s);
    store.values.insert(u"Snap"_s, u"0"_s);
    store.values.insert(u"onNew"_s, u"1"_s);
    store.values.insert(u"Reset"_s, u"2"_s);
    store.values.insert(u"X"_s, u"1500"_s);
    store.values.insert(u"Y"_s, u"750"_s);
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.heightTwips(), 3150);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(w.mnuSnap->isChecked());
    EXPECT_TRUE(w.optInterrupt[1]->isChecked() && w.mnuNewPlay->isChecked());
    EXPECT_FALSE(w.mnuNewList->isChecked());
    EXPECT_EQ(w.ResetFile, dir.filePath(u"GS.MID"_s));
    EXPECT_EQ(w.pos(), QPoint(100, 50));
    EXPECT_EQ(store.writes, 0); // no first-run write-back
}

TEST_F(StartupTest, PositionOffEveryScreenFallsBackToFirstRunPosition)
{
    // Partly on the screen is kept; wholly off it is not.
    const struct
    {
        const char *x, *y;
        QPoint expected;
    } cases[] = {{"-3000", "-1500", QPoint(-200, -100)},
                 {"-90000", "45000", QPoint(px(12000 - 4515 - 1000), 0)}};
    for (const auto &c : cases) {
        store.values.insert(u"X"_s, QLatin1String(c.x));
        store.values.insert(u"Y"_s, QLatin1String(c.y));
        frmMain w(services());
        w.Form_Load();
        EXPECT_EQ(w.pos(), c.expected) << c.x;
    }
}

TEST_F(StartupTest, DefaultAlbumIsReadAndItsFirstSongPlays)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s);
    album(u"default.mal"_s, {a, b});
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.lstPlay.paths(), (QStringList{a, b}));
    EXPECT_EQ(w.PlayIndex, 0);
    // The reset file was played before the song, to its end.
    EXPECT_EQ(device.opened(), (QStringList{dir.filePath(u"GM.MID"_s), a}));
    EXPECT_TRUE(device.log.contains(u"Play wait"_s));
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
    EXPECT_TRUE(w.mnuA[1]->isVisible());
    EXPECT_EQ(w.mnuA[1]->text(), u"Party"_s);
    EXPECT_TRUE(w.mnuA[1]->isChecked());
}

TEST_F(StartupTest, ArgumentReplacesTheDefaultAlbumOnlyWhenItNamesSomethingPlayable)
{
    const QString a = song(u"a.mid"_s), z = song(u"z.mid"_s);
    album(u"default.mal"_s, {a, a, a});
    frmMain &w = window();
    w.Form_Load();
    // Neither a MIDI file nor an album: the playlist empties, the song goes on.
    TakeArgument(w, file(u"notes.txt"_s));
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_EQ(device.openFile(), a);
    EXPECT_TRUE(device.isPlaying());
    EXPECT_FALSE(w.Stopped);
    TakeArgument(w, u"  "_s + z);
    EXPECT_EQ(w.lstPlay.paths(), QStringList{z});
    EXPECT_EQ(device.openFile(), z);
}

} // namespace
