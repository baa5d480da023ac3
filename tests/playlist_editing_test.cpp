// Editing the playlist on the window: what each command does to the entries,
// the current song, the current-album mark and the play menu, and that the
// song that plays is never touched.
#include "support/WindowFixture.h"
#include "ui/SongMenu.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>

using namespace Qt::StringLiterals;

namespace {

class PlaylistEditingTest : public WindowFixture
{
protected:
    // The playlist of these titles, the entry at `playing` playing and the
    // playlist marked as the current album; these rows selected, the focus on
    // `focus` (-1: none).
    frmMain &playlist(const QString &titles, int playing, const std::vector<int> &rows, int focus)
    {
        frmMain &w = window();
        if (!m_tester) // every change the model announces is checked for consistency
            m_tester = std::make_unique<QAbstractItemModelTester>(
                w.lstMIDI->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        w.btnClear_Click();
        w.Global.ResetMode = 0;
        for (const QString &t : titles.split(u' '))
            w.lstPlay.append(song(t + u".mid"_s));
        w.setPlayIndex(playing - 1);
        w.MCI_Done(0);
        w.Global.CurrentAlbum = 1;
        w.mnuA[1]->setChecked(true);
        device.log.clear();
        w.lstMIDI->clearSelection();
        w.lstMIDI->selectionModel()->setCurrentIndex(w.lstMIDI->model()->index(focus, 0),
                                                     QItemSelectionModel::NoUpdate);
        for (int row : rows)
            w.lstMIDI->setSelected(row, true);
        return w;
    }
    // Nothing reached the device, the place and the album mark are as given,
    // and the play menu shows the playlist with the current song marked.
    void expectSongUntouched(frmMain &w, int playIndex, bool albumKept)
    {
        EXPECT_EQ(w.playIndex(), playIndex); // the place, whatever now stands there
        EXPECT_EQ(w.Global.CurrentAlbum, albumKept ? 1 : 0);
        EXPECT_EQ(w.mnuA[1]->isChecked(), albumKept);
        EXPECT_TRUE(device.log.isEmpty()) << device.log.join(u", ").toStdString();
        w.songMenu->build();
        EXPECT_EQ(w.songMenu->captions(), w.lstPlay.titles());
        EXPECT_EQ(w.songMenu->checkedRow(), w.playIndex() < w.lstPlay.count() ? w.playIndex() : -1);
    }

private:
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

TEST_F(PlaylistEditingTest, EditsFollowTheSelectionAndKeepTheCurrentSong)
{
    struct Edit
    {
        void (frmMain::*command)();
        std::vector<int> selected;
        int focus; // -1: none
        const char *titles, *selectedAfter;
        int focusAfter, playIndex;
        bool albumKept;
        const char *next; // what the next advance plays
    };
    // On a b c d e with c playing, each command twice: Up and Down move on,
    // as the focus follows the song; the second Remove finds nothing selected.
    // Remove hands the focus to the entry that followed the focused one.
    const Edit edits[] = {
        {&frmMain::btnRemove_Click, {1, 2}, 2, "a d e", "", 1, 0, false, "d"}, // c plays
        {&frmMain::btnRemove_Click, {0, 3}, 3, "b c e", "", 2, 1, false, "e"}, // two runs
        {&frmMain::btnRemove_Click, {3, 4}, 3, "a b c", "", 2, 2, false, "a"},
        {&frmMain::btnRemove_Click, {}, 0, "a b c d e", "", 0, 2, false, "d"},    // only the mark
        {&frmMain::btnRemove_Click, {1}, -1, "a b c d e", "1", -1, 2, true, "d"}, // nothing
        {&frmMain::btnRemove_Click, {0, 1, 2, 3, 4}, 4, "", "", -1, -1, false, nullptr},
        {&frmMain::btnUp_Click, {2}, 2, "c a b d e", "0", 0, 2, true, "d"},
        {&frmMain::btnDn_Click, {2}, 2, "a b d e c", "4", 4, 2, true, "e"},
        {&frmMain::btnUp_Click, {0}, 0, "a b c d e", "0", 0, 2, true, "d"},
        {&frmMain::btnDn_Click, {4}, 4, "a b c d e", "4", 4, 2, true, "d"},
        {&frmMain::btnUp_Click, {}, -1, "a b c d e", "", -1, 2, true, "d"},
        {&frmMain::btnClear_Click, {1, 2}, 2, "", "", -1, -1, false, nullptr},
    };
    for (const Edit &e : edits) {
        SCOPED_TRACE(e.titles);
        frmMain &w = playlist(u"a b c d e"_s, 2, e.selected, e.focus);
        (w.*e.command)();
        (w.*e.command)();
        EXPECT_EQ(w.lstPlay.titles().join(u' '), QLatin1String(e.titles));
        QStringList rows;
        for (const QModelIndex &index : w.lstMIDI->selectionModel()->selectedRows())
            rows.append(QString::number(index.row()));
        EXPECT_EQ(rows.join(u' '), QLatin1String(e.selectedAfter));
        EXPECT_EQ(w.lstMIDI->ListIndex(), e.focusAfter);
        expectSongUntouched(w, e.playIndex, e.albumKept);
        if (e.next) {
            w.MCI_Done(0);
            EXPECT_EQ(device.openFile(), dir.filePath(QLatin1String(e.next) + u".mid"_s));
        }
    }

    // Sort and shuffle keep the place and the album mark.
    frmMain &w = playlist(u"Delta alpha Charlie bravo"_s, 1, {1, 2}, 2);
    w.btnSort_Click();
    EXPECT_EQ(w.lstPlay.titles().join(u' '), u"alpha bravo Charlie Delta"_s);
    EXPECT_FALSE(w.lstMIDI->selectionModel()->hasSelection());
    w.btnRn_Click();
    QStringList titles = w.lstPlay.titles();
    titles.sort(Qt::CaseInsensitive);
    EXPECT_EQ(titles.join(u' '), u"alpha bravo Charlie Delta"_s);
    expectSongUntouched(w, 1, true);
}

} // namespace
