// Editing the playlist on the window: what each command does to the entries,
// the current song, the current-album mark and the play menu, and that the
// song that plays is never touched.
#include "support/WindowFixture.h"
#include "ui/SongMenu.h"

#include <QItemSelectionModel>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class PlaylistEditingTest : public WindowFixture
{
protected:
    // Playlist a b c d e (or the titles given), the entry at `playing` current
    // and playing, the playlist marked as the current album.
    frmMain &playlist(int playing,
                      const QStringList &titles = {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s})
    {
        frmMain &w = window();
        w.Global.ResetMode = 0;
        for (const QString &t : titles)
            w.lstPlay.append(song(t + u".mid"_s));
        w.PlayIndex = playing - 1;
        w.MCI_Done(0);
        w.Global.CurrentAlbum = 1;
        w.mnuA[1]->setChecked(true);
        device.log.clear();
        return w;
    }
    // Selects these rows only and puts the focus on `focus` (-1: no focus).
    static void select(frmMain &w, const std::vector<int> &rows, int focus)
    {
        w.lstMIDI->clearSelection();
        w.lstMIDI->selectionModel()->setCurrentIndex(
            focus < 0 ? QModelIndex() : w.lstMIDI->model()->index(focus, 0),
            QItemSelectionModel::NoUpdate);
        for (int row : rows)
            w.lstMIDI->setSelected(row, true);
    }
    static QStringList selectedRows(frmMain &w)
    {
        QStringList rows;
        for (int i = 0; i < w.lstMIDI->ListCount(); ++i) {
            if (w.lstMIDI->Selected(i))
                rows.append(QString::number(i));
        }
        return rows;
    }
    // The play menu shows the playlist and marks the current song.
    static void expectMenuInStep(frmMain &w)
    {
        w.songMenu->build();
        QStringList titles = w.lstPlay.titles();
        EXPECT_EQ(w.songMenu->captions(), titles);
        EXPECT_EQ(w.songMenu->checkedRow(), w.PlayIndex < w.lstPlay.count() ? w.PlayIndex : -1);
    }
};

struct RemoveCase
{
    const char *name;
    std::vector<int> selected;
    int focus;
    const char *left;
    int playIndex;
    quint8 currentAlbum;
    const char *next; // the song the next advance plays
};

TEST_F(PlaylistEditingTest, RemoveTakesTheSelectionAndKeepsTheCurrentSong)
{
    const RemoveCase cases[] = {
        {"the playing song and the one before it", {1, 2}, 2, "a d e", 0, 0, "d"},
        {"songs after the playing one", {3, 4}, 3, "a b c", 2, 0, "a"},
        {"focus but nothing selected", {}, 0, "a b c d e", 2, 0, "d"},
        {"no focus", {1}, -1, "a b c d e", 2, 1, "d"},
        {"everything", {0, 1, 2, 3, 4}, 4, "", -1, 0, nullptr},
    };
    for (const RemoveCase &c : cases) {
        SCOPED_TRACE(c.name);
        frmMain &w = playlist(2);
        select(w, c.selected, c.focus);
        w.btnRemove_Click();
        EXPECT_EQ(w.lstPlay.titles().join(u' '), QLatin1String(c.left));
        EXPECT_EQ(w.PlayIndex, c.playIndex);
        EXPECT_EQ(w.Global.CurrentAlbum, c.currentAlbum);
        EXPECT_EQ(w.mnuA[1]->isChecked(), c.currentAlbum == 1);
        EXPECT_TRUE(device.log.isEmpty()) << device.log.join(u", ").toStdString();
        if (c.focus >= 0) {
            EXPECT_TRUE(selectedRows(w).isEmpty());
        }
        expectMenuInStep(w);
        if (c.next) {
            w.MCI_Done(0);
            EXPECT_EQ(device.openFile(), dir.filePath(QLatin1String(c.next) + u".mid"_s));
        }
        w.btnClear_Click();
    }
}

TEST_F(PlaylistEditingTest, RemovingScatteredRowsOfALongListAndTheDeleteKey)
{
    QStringList titles;
    for (int i = 0; i < 300; ++i)
        titles.append(u"s%1"_s.arg(i));
    frmMain &w = playlist(100, titles); // s100 plays
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 5000));
    w.lstMIDI->setFocus();
    // Every third row: far more runs than are removed one by one.
    std::vector<int> rows;
    QStringList expected;
    for (int i = 0; i < 300; ++i) {
        if (i % 3 == 0)
            rows.push_back(i);
        else
            expected.append(titles.at(i));
    }
    select(w, rows, 150);
    QTest::keyClick(w.lstMIDI, Qt::Key_Delete);
    EXPECT_EQ(w.lstPlay.titles(), expected);
    EXPECT_EQ(w.PlayIndex, 100 - 34); // 0, 3, ... 99 went before s100
    EXPECT_EQ(w.lstPlay.at(w.PlayIndex), dir.filePath(u"s100.mid"_s));
    EXPECT_EQ(w.lstMIDI->ListIndex(), 100); // on s151, which followed the focused s150
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_EQ(w.Global.CurrentAlbum, 0);
    // Delete with the focus elsewhere does nothing.
    select(w, {0}, 0);
    w.btnLoad->setFocus();
    QTest::keyClick(w.btnLoad, Qt::Key_Delete);
    EXPECT_EQ(w.lstPlay.count(), 200);
}

TEST_F(PlaylistEditingTest, ClearEmptiesThePlaylistWhileTheSongPlaysOn)
{
    frmMain &w = playlist(2);
    w.btnClear_Click();
    EXPECT_TRUE(w.lstPlay.isEmpty());
    EXPECT_EQ(w.lstMIDI->ListCount(), 0);
    EXPECT_EQ(w.PlayIndex, -1);
    EXPECT_EQ(w.Global.CurrentAlbum, 0);
    EXPECT_FALSE(w.mnuA[1]->isChecked());
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_TRUE(device.isPlaying());
    expectMenuInStep(w);
    EXPECT_FALSE(w.songMenu->separatorVisible());
    w.btnClear_Click(); // on an empty playlist: still empty, no failure
    EXPECT_TRUE(w.lstPlay.isEmpty());
}

struct MoveCase
{
    const char *name;
    bool up;
    int focus;
    const char *after;
    const char *selected; // rows selected afterwards
    int focusAfter;
};

TEST_F(PlaylistEditingTest, UpAndDownMoveTheFocusedSongWithItsSelection)
{
    const MoveCase cases[] = {
        {"up from the third", true, 2, "a c b d e", "1", 1},
        {"down from the third", false, 2, "a b d c e", "3", 3},
        {"up on the first", true, 0, "a b c d e", "0", 0},
        {"down on the last", false, 4, "a b c d e", "4", 4},
        {"no focus", true, -1, "a b c d e", "", -1},
    };
    for (const MoveCase &c : cases) {
        SCOPED_TRACE(c.name);
        frmMain &w = playlist(2);
        select(w, c.focus < 0 ? std::vector<int>{} : std::vector<int>{c.focus}, c.focus);
        c.up ? w.btnUp_Click() : w.btnDn_Click();
        EXPECT_EQ(w.lstPlay.titles().join(u' '), QLatin1String(c.after));
        EXPECT_EQ(selectedRows(w).join(u' '), QLatin1String(c.selected));
        EXPECT_EQ(w.lstMIDI->ListIndex(), c.focusAfter);
        EXPECT_EQ(w.PlayIndex, 2); // the place, whatever now stands there
        EXPECT_EQ(w.Global.CurrentAlbum, 1);
        EXPECT_TRUE(device.log.isEmpty());
        expectMenuInStep(w);
        w.btnClear_Click();
    }
    // Clicked again and again, the same song keeps climbing, up to the top.
    frmMain &w = playlist(1);
    select(w, {4}, 4);
    for (int i = 0; i < 6; ++i)
        w.btnUp_Click();
    EXPECT_EQ(w.lstPlay.titles().join(u' '), u"e a b c d"_s);
}

TEST_F(PlaylistEditingTest, ShuffleAndSortReorderButKeepPlaceAndAlbumMark)
{
    frmMain &w = playlist(1, {u"Delta"_s, u"alpha"_s, u"Charlie"_s, u"bravo"_s});
    select(w, {1, 2}, 2);
    w.btnSort_Click();
    EXPECT_EQ(w.lstPlay.titles().join(u' '), u"alpha bravo Charlie Delta"_s);
    EXPECT_EQ(w.PlayIndex, 1);
    EXPECT_EQ(w.Global.CurrentAlbum, 1);
    EXPECT_TRUE(w.mnuA[1]->isChecked());
    EXPECT_TRUE(selectedRows(w).isEmpty());
    expectMenuInStep(w);

    w.btnRn_Click();
    QStringList titles = w.lstPlay.titles();
    titles.sort(Qt::CaseInsensitive);
    EXPECT_EQ(titles.join(u' '), u"alpha bravo Charlie Delta"_s);
    EXPECT_EQ(w.PlayIndex, 1);
    EXPECT_EQ(w.Global.CurrentAlbum, 1);
    expectMenuInStep(w);
    // The next advance plays what now follows the current place.
    const QString next = w.lstPlay.at(2);
    w.MCI_Done(0);
    EXPECT_EQ(device.openFile(), next);
}

} // namespace
