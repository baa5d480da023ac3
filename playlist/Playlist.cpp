// The playlist on the main window: reading albums into it, keeping the
// display list in step, and the recent-album list with its menu items.
#include "playlist/AlbumFile.h"
#include "playlist/FileTitle.h"
#include "ui/frmMain.h"

namespace {

const QString Empty = QStringLiteral("Empty");

} // namespace

bool frmMain::AddPlayList(const QString &FPath, bool Update)
{
    bool PlayAfter = lstPlay.isEmpty();

    // The album is read before the playlist is touched: an album that cannot
    // be opened leaves the playlist as it was, also when it would replace it.
    AlbumReadResult album = readAlbum(FPath);
    if (!album.opened)
        return false;

    if (optInterrupt[1]->isChecked()) {
        lstPlay.clear();
        lstMIDI->Clear();
        PlayAfter = true;
    }
    lstPlay.append(std::move(album.entries));

    if (album.missing != 0)
        dlg->MsgBox(QString::number(album.missing) +
                    QStringLiteral(" files could not be found and skipped"));
    UpdateMIDI();
    if (PlayAfter) {
        PlayIndex = -1;
        MCI_Done(0);
    }
    if (Update)
        UpdateAlbum(FPath);
    return true;
}

void frmMain::UpdateMIDI()
{
    const int from = lstMIDI->ListCount();
    const int to = static_cast<int>(lstPlay.size());
    QStringList titles;
    titles.reserve(std::max(0, to - from));
    for (int i = from; i < to; ++i)
        titles.append(FileTitle(lstPlay.at(i)));
    lstMIDI->AddItems(titles);
    UpdateMIDIMenu();
}

void frmMain::UpdateAlbum(const QString &AlbumName)
{
    std::array<QString, 5> &AlbumList = Global.AlbumList;
    if (!AlbumName.isEmpty()) {
        const QString name = AlbumName; // the argument may refer into AlbumList
        int k = 1;
        while (k <= 4 && AlbumList[k] != name)
            ++k;
        for (int j = k + 1; j <= 4; ++j)
            AlbumList[j - 1] = AlbumList[j];
        for (int j = 4; j >= 2; --j)
            AlbumList[j] = AlbumList[j - 1];
        AlbumList[1] = name;
    }

    for (int i = 2; i <= 4; ++i)
        mnuA[i]->setVisible(false);
    if (AlbumList[1] != Empty) {
        sep4->setVisible(true);
        for (int i = 1; i <= 4; ++i) {
            if (AlbumList[i] == Empty)
                break;
            mnuA[i]->setText(menuCaption(FileTitle(AlbumList[i])));
            mnuA[i]->setVisible(true);
            mnuA[i]->setChecked(false);
        }
        mnuA[1]->setChecked(true);
    } else {
        sep4->setVisible(false);
        mnuA[1]->setVisible(false);
    }
}
