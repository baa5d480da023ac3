// Editing the playlist on the window: what each command does to the entries,
// the current song, the current-album mark and the play menu, and that the
// song that plays is never touched.
#include "support/WindowFixture.h"
#include "ui/SongMenu.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class PlaylistEditingTest : public WindowFixture
{
protected:
    // Playlist a b c d e (or the titles given); the entry at `playing` plays,
    // and the playlist is marked as the current album.
    frmMain &playlist(int playing,
                      const QStringList &titles = {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s})
    {
        frmMain &w = window();
        if (!m_tester) // every change the model announces is checked for consistency
            m_tester = std::make_unique<QAbstractItemModelTester>(
                w.lstMIDI->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        w.btnClear_Click();
        w.Global.ResetMode = 0;
        for (const QString &t : titles)
            w.lstPlay.append(song(t + u".mid"_s));
        w.setPlayIndex(playing - 1);
        w.MCI_Done(0);
        w.Global.CurrentAlbum = 1;
        w.mnuA[1]->setChecked(true);
        device.log.clear();
        return w;
    }
    // Selects these rows only, the focus on `focus` (-1: none).
    static void select(frmMain &w, const std::vector<int> &rows, int focus)
    {
        w.lstMIDI->clearSelection();
        w.lstMIDI->selectionModel()->setCurrentIndex(w.lstMIDI->model()->index(focus, 0),
                                                     QItemSelectionModel::NoUpdate);
        for (int row : rows)
            w.lstMIDI->setSelected(row, true);
    }
    static QString selectedRows(frmMain &w)
    {
        QStringList rows;
        for (int i = 0; i < w.lstMIDI->ListCount(); ++i) {
            if (w.lstMIDI->Selected(i))
                rows.append(QString::number(i));
        }
        return rows.join(u' ');
    }
    // Nothing reached the device, and the play menu shows the playlist with
    // the current song marked.
    void expectSongUntouchedAndMenuInStep(frmMain &w)
    {
        EXPECT_TRUE(device.log.isEmpty()) << device.log.join(u", ").toStdString();
        w.songMenu->build();
        EXPECT_EQ(w.songMenu->captions(), w.lstPlay.titles());
        EXPECT_EQ(w.songMenu->checkedRow(), w.playIndex() < w.lstPlay.count() ? w.playIndex() : -1);
    }

private:
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

TEST_F(PlaylistEditingTest, RemoveTakesTheSelectionAndKeepsTheCurrentSong)
{
    // The rows selected, the focus, the titles left, the place of the current
    // song, the current album and what the next advance plays.
    const std::tuple<std::vector<int>, int, const char *, int, quint8, const char *> cases[] = {
        {{1, 2}, 2, "a d e", 0, 0, "d"}, // the playing song and the one before it
        {{3, 4}, 3, "a b c", 2, 0, "a"},
        {{}, 0, "a b c d e", 2, 0, "d"},   // focus, nothing selected: only the mark goes
        {{1}, -1, "a b c d e", 2, 1, "d"}, // no focus: nothing at all
        {{0, 1, 2, 3, 4}, 4, "", -1, 0, nullptr},
    };
    for (const auto &[selected, focus, left, playIndex, currentAlbum, next] : cases) {
        SCOPED_TRACE(left);
        frmMain &w = playlist(2);
        select(w, selected, focus);
        w.btnRemove_Click();
        EXPECT_EQ(w.lstPlay.titles().join(u' '), QLatin1String(left));
        EXPECT_EQ(w.playIndex(), playIndex);
        EXPECT_EQ(w.Global.CurrentAlbum, currentAlbum);
        EXPECT_EQ(w.mnuA[1]->isChecked(), currentAlbum == 1);
        expectSongUntouchedAndMenuInStep(w);
        if (next) {
            w.MCI_Done(0);
            EXPECT_EQ(device.openFile(), dir.filePath(QLatin1String(next) + u".mid"_s));
        }
    }
}

TEST_F(PlaylistEditingTest, TheDeleteKeyRemovesScatteredRowsOfALongList)
{
    QStringList titles, expected;
    std::vector<int> rows;
    for (int i = 0; i < 300; ++i) {
        titles.append(u"s%1"_s.arg(i));
        // Every third row: far more runs than are removed one by one.
        i % 3 == 0 ? rows.push_back(i) : expected.append(titles.last());
    }
    frmMain &w = playlist(100, titles);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w, 5000));
    w.lstMIDI->setFocus();
    select(w, rows, 150);
    QTest::keyClick(w.lstMIDI, Qt::Key_Delete);
    EXPECT_EQ(w.lstPlay.titles(), expected);
    EXPECT_EQ(w.lstPlay.at(w.playIndex()), dir.filePath(u"s100.mid"_s));
    EXPECT_EQ(w.lstMIDI->ListIndex(), 100); // on s151, which followed the focused s150
    EXPECT_EQ(selectedRows(w), QString());
    expectSongUntouchedAndMenuInStep(w);
}

TEST_F(PlaylistEditingTest, UpAndDownMoveTheFocusedSongWithItsSelection)
{
    // The command, the focus, the titles after, the rows selected after. Each
    // command twice: the focus follows the song, so it moves on.
    const std::tuple<void (frmMain::*)(), int, const char *, const char *> cases[] = {
        {&frmMain::btnUp_Click, 2, "c a b d e", "0"}, {&frmMain::btnDn_Click, 2, "a b d e c", "4"},
        {&frmMain::btnUp_Click, 0, "a b c d e", "0"}, {&frmMain::btnDn_Click, 4, "a b c d e", "4"},
        {&frmMain::btnUp_Click, -1, "a b c d e", ""},
    };
    for (const auto &[command, focus, after, selected] : cases) {
        SCOPED_TRACE(after);
        frmMain &w = playlist(2);
        select(w, focus < 0 ? std::vector<int>{} : std::vector<int>{focus}, focus);
        (w.*command)();
        (w.*command)();
        EXPECT_EQ(w.lstPlay.titles().join(u' '), QLatin1String(after));
        EXPECT_EQ(selectedRows(w), QLatin1String(selected));
        EXPECT_EQ(w.playIndex(), 2); // the place, whatever now stands there
        EXPECT_EQ(w.Global.CurrentAlbum, 1);
        expectSongUntouchedAndMenuInStep(w);
    }
}

TEST_F(PlaylistEditingTest, ClearShuffleAndSort)
{
    frmMain &w = playlist(1, {u"Delta"_s, u"alpha"_s, u"Charlie"_s, u"bravo"_s});
    select(w, {1, 2}, 2);
    w.btnSort_Click();
    EXPECT_EQ(w.lstPlay.titles().join(u' '), u"alpha bravo Charlie Delta"_s);
    EXPECT_EQ(selectedRows(w), QString());
    w.btnRn_Click();
    QStringList titles = w.lstPlay.titles();
    titles.sort(Qt::CaseInsensitive);
    EXPECT_EQ(titles.join(u' '), u"alpha bravo Charlie Delta"_s);
    // Both keep the place and the album mark.
    EXPECT_EQ(w.playIndex(), 1);
    EXPECT_EQ(w.Global.CurrentAlbum, 1);
    EXPECT_TRUE(w.mnuA[1]->isChecked());
    expectSongUntouchedAndMenuInStep(w);

    w.btnClear_Click();
    EXPECT_EQ(w.lstMIDI->ListCount(), 0);
    EXPECT_EQ(w.playIndex(), -1);
    EXPECT_EQ(w.Global.CurrentAlbum, 0);
    EXPECT_FALSE(w.mnuA[1]->isChecked());
    EXPECT_TRUE(device.isPlaying());
    expectSongUntouchedAndMenuInStep(w);
}

} // namespace
