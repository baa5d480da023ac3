// Start-up: the window's first state from the settings, what plays first,
// and the controls and menus the window is built with.
#include "app/Main.h"
#include "support/WindowFixture.h"

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
    EXPECT_EQ(w.ResetFile, dir.filePath(QStringLiteral("GM.MID")));
    EXPECT_EQ(store.values.size(), 13); // written back at once
}

TEST_F(StartupTest, SavedSettingsSetTheControls)
{
    store.values.insert(QStringLiteral("Shade"), QStringLiteral("0"));
    store.values.insert(QStringLiteral("onTop"), QStringLiteral("0"));
    store.values.insert(QStringLiteral("Snap"), QStringLiteral("0"));
    store.values.insert(QStringLiteral("onNew"), QStringLiteral("1"));
    store.values.insert(QStringLiteral("Reset"), QStringLiteral("2"));
    store.values.insert(QStringLiteral("X"), QStringLiteral("1500"));
    store.values.insert(QStringLiteral("Y"), QStringLiteral("750"));
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.heightTwips(), 3150);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(w.mnuSnap->isChecked());
    EXPECT_TRUE(w.optInterrupt[1]->isChecked() && w.mnuNewPlay->isChecked());
    EXPECT_FALSE(w.mnuNewList->isChecked());
    EXPECT_EQ(w.ResetFile, dir.filePath(QStringLiteral("GS.MID")));
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
        store.values.insert(QStringLiteral("X"), QLatin1String(c.x));
        store.values.insert(QStringLiteral("Y"), QLatin1String(c.y));
        frmMain w(services());
        w.Form_Load();
        EXPECT_EQ(w.pos(), c.expected) << c.x;
    }
}

TEST_F(StartupTest, DefaultAlbumIsReadAndItsFirstSongPlays)
{
    const QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b.mid"));
    album(QStringLiteral("default.mal"), {a, b});
    frmMain &w = window();
    w.Form_Load();
    EXPECT_EQ(w.lstPlay, (QStringList{a, b}));
    EXPECT_EQ(device.openFile(), a);
    EXPECT_EQ(w.PlayIndex, 0);
    // The reset file was played before the song, to its end.
    EXPECT_EQ(device.opened(), (QStringList{dir.filePath(QStringLiteral("GM.MID")), a}));
    EXPECT_TRUE(device.log.contains(QStringLiteral("Play wait")));
    EXPECT_EQ(w.Global.AlbumList[1], QStringLiteral("Empty"));
}

TEST_F(StartupTest, CurrentAlbumOneSkipsDefaultAlbumAndChecksFirstItem)
{
    album(QStringLiteral("default.mal"), {song(QStringLiteral("a.mid"))});
    store.values.insert(QStringLiteral("CurrentAlbum"), QStringLiteral("1"));
    store.values.insert(QStringLiteral("Album1"), QStringLiteral("/albums/Party.mal"));
    frmMain &w = window();
    w.Form_Load();
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_TRUE(w.mnuA[1]->isVisible());
    EXPECT_EQ(w.mnuA[1]->text(), QStringLiteral("Party"));
    EXPECT_TRUE(w.mnuA[1]->isChecked());
}

TEST_F(StartupTest, ArgumentReplacesTheDefaultAlbumAndPlays)
{
    const QString a = song(QStringLiteral("a.mid")), z = song(QStringLiteral("z.mid"));
    album(QStringLiteral("default.mal"), {a, a, a});
    frmMain &w = window();
    w.Form_Load();
    TakeArgument(w, QStringLiteral("  ") + z);
    EXPECT_EQ(w.lstPlay, QStringList{z});
    EXPECT_EQ(device.openFile(), z);
    EXPECT_EQ(w.PlayIndex, 0);
    EXPECT_FALSE(w.Stopped);
}

TEST_F(StartupTest, ArgumentNamingNothingPlayableKeepsTheDefaultSongPlaying)
{
    const QString a = song(QStringLiteral("a.mid"));
    album(QStringLiteral("default.mal"), {a});
    const QString text = file(QStringLiteral("notes.txt"));
    frmMain &w = window();
    w.Form_Load();
    TakeArgument(w, text);
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_EQ(device.openFile(), a);
    EXPECT_TRUE(device.isPlaying());
    EXPECT_FALSE(w.Stopped);
}

TEST_F(StartupTest, ControlsStandWhereTheirTwipsSay)
{
    frmMain &w = window();
    EXPECT_EQ(w.size(), QSize(301, 210));
    EXPECT_EQ(w.lstMIDI->geometry(), QRect(3, 18, 166, 188));
    EXPECT_EQ(w.btnLoad->geometry(), QRect(193, 36, 104, 16));
    EXPECT_EQ(w.fraConfig->geometry().top(), 210); // cut off until the panel opens
    EXPECT_EQ(w.imgControls[0]->x(), 225);
    EXPECT_EQ(w.imgControls[4]->geometry().right() + 1, 304);
    QStringList menu;
    for (QAction *a : w.mnuMenu->actions())
        menu.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(menu.join(u'|'), QStringLiteral("Always on top|Shade Mode|Snap to top screen|-|"
                                              "New entry to playlist|New entry to play "
                                              "immediately|-|Minimize|Close player|-|About ..."));
}

} // namespace
