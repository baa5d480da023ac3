// Editing the playlist in place: remove, clear, move, shuffle, sort. None of
// them stops the song that plays; the playing index and the current-album
// mark change as each handler says.
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QItemSelectionModel>
#include <QRandomGenerator>
#include <random>

namespace {

// The playlist is no longer exactly the album in the first recent slot.
void leaveCurrentAlbum(frmMain &w)
{
    w.Global.CurrentAlbum = 0;
    w.mnuA[1]->setChecked(false);
}

// Moves the focused entry one place by step (-1 up, +1 down); the selection
// and the focus follow it. The first entry does not move up, nor the last down.
void moveFocusedEntry(frmMain &w, int step)
{
    const int from = w.lstMIDI->ListIndex();
    if (from < 0)
        return;
    const int to = from + step;
    if (to < 0 || to >= w.lstPlay.count())
        return;
    w.lstPlay.swapEntries(from, to);
    w.lstMIDI->setSelected(from, false);
    w.lstMIDI->setSelected(to, true);
    // The focus follows too, so repeated clicks keep moving the same song.
    const QModelIndex target = w.lstMIDI->model()->index(to, 0);
    w.lstMIDI->selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    w.lstMIDI->scrollTo(target);
    w.UpdateMIDIMenu();
}

} // namespace

void frmMain::btnRemove_Click()
{
    const int focused = lstMIDI->ListIndex();
    if (focused == -1)
        return;
    const int count = lstPlay.count();
    // The selection as one flag per row, read from its ranges: asking row by
    // row would cost a pass over the ranges for every row.
    std::vector<bool> selected(static_cast<std::size_t>(count), false);
    const QItemSelection selection = lstMIDI->selectionModel()->selection();
    for (const QItemSelectionRange &range : selection) {
        const int last = std::min(range.bottom(), count - 1);
        for (int row = std::max(range.top(), 0); row <= last; ++row)
            selected[static_cast<std::size_t>(row)] = true;
    }

    // The current song moves back by the entries removed at or before it;
    // when it goes itself, the next advance plays the entry that followed it.
    // The focus and the top row of the list move back by the entries removed
    // before them: a removed focused entry hands the focus to the next one left.
    const int topRow = lstMIDI->indexAt(QPoint(0, 0)).row();
    const int playing = playIndex();
    int removed = 0, playingAfter = playing, focusAfter = focused, topAfter = topRow;
    for (int i = 0; i < count; ++i) {
        if (!selected[static_cast<std::size_t>(i)])
            continue;
        ++removed;
        if (i <= playing)
            --playingAfter;
        if (i < focused)
            --focusAfter;
        if (i < topRow)
            --topAfter;
    }
    setPlayIndex(playingAfter);

    if (removed > 0) {
        // Every selected entry goes, so nothing stays selected. The selection
        // is dropped without signals first: a selection of many separate rows
        // would otherwise be updated range by range as each run of rows goes.
        lstMIDI->selectionModel()->reset();
        lstMIDI->viewport()->update();
        lstPlay.removeFlagged(selected);
        const int left = lstPlay.count();
        if (left > 0) {
            QAbstractItemModel *rows = lstMIDI->model();
            if (topAfter >= 0)
                lstMIDI->scrollTo(rows->index(std::min(topAfter, left - 1), 0),
                                  QAbstractItemView::PositionAtTop);
            const QModelIndex focus = rows->index(std::min(focusAfter, left - 1), 0);
            lstMIDI->selectionModel()->setCurrentIndex(focus, QItemSelectionModel::NoUpdate);
            lstMIDI->scrollTo(focus);
        }
    }
    UpdateMIDIMenu();
    leaveCurrentAlbum(*this);
}

void frmMain::btnClear_Click()
{
    lstPlay.clear();
    setPlayIndex(-1);
    UpdateMIDIMenu();
    leaveCurrentAlbum(*this);
}

void frmMain::btnUp_Click()
{
    moveFocusedEntry(*this, -1);
}

void frmMain::btnDn_Click()
{
    moveFocusedEntry(*this, +1);
}

void frmMain::btnRn_Click()
{
    std::mt19937_64 generator(QRandomGenerator::global()->generate64());
    lstPlay.shuffle(generator);
    UpdateMIDI();
}

void frmMain::btnSort_Click()
{
    lstPlay.sortByPath();
    UpdateMIDI();
}
