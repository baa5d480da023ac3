// The playlist on the main window: its model, reading albums into it, and the
// recent-album list with its menu items.
#include "playlist/AlbumFile.h"
#include "playlist/FileTitle.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <new>

namespace {

const QString Empty = QStringLiteral("Empty");

} // namespace

bool frmMain::AddPlayList(const QString &FPath, bool Update)
{
    bool PlayAfter = lstPlay.isEmpty();

    // The album is read, and its entries made, before the playlist is touched:
    // an album that cannot be opened, or that does not fit in memory, leaves
    // the playlist as it was, also when it would replace it.
    AlbumReadResult album = readAlbum(FPath);
    if (!album.opened)
        return false;
    PlaylistModel::Batch entries;
    m_albumOutOfMemory = album.outOfMemory;
    if (!m_albumOutOfMemory) {
        try {
            entries.reserve(album.entries.size());
            album.entries.forEach([&](const QString &path) { entries.add(path); });
        } catch (const std::bad_alloc &) {
            m_albumOutOfMemory = true;
        }
    }
    album.entries = AlbumEntries();
    if (m_albumOutOfMemory) {
        entries = PlaylistModel::Batch();
        dlg->MsgBox(tr("There is not enough memory to load the album %1; the playlist stays as "
                       "it was.")
                        .arg(FPath));
        return true;
    }

    if (optInterrupt[1]->isChecked()) {
        lstPlay.clear();
        PlayAfter = true;
    }
    if (album.missing != 0)
        dlg->MsgBox(tr("%n files could not be found and skipped", "", int(album.missing)));
    // The new entries show only once the message is closed. Into the list
    // emptied above they go without fail; onto a long one they may not fit.
    try {
        lstPlay.append(std::move(entries));
    } catch (const std::bad_alloc &) {
        m_albumOutOfMemory = true;
        dlg->MsgBox(tr("There is not enough memory to load the album %1; the playlist stays as "
                       "it was.")
                        .arg(FPath));
        return true;
    }
    UpdateMIDI();
    if (PlayAfter) {
        setPlayIndex(-1);
        MCI_Done(0);
    }
    if (Update)
        UpdateAlbum(FPath);
    return true;
}

PlaylistModel &frmMain::createPlaylist()
{
    return *new PlaylistModel(this);
}

QAbstractItemModel *frmMain::playlistItems() const
{
    return &lstPlay;
}

void frmMain::UpdateMIDI()
{
    // The list shows the model's titles as entries come and go; what is left
    // to bring up to date is the play menu.
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
