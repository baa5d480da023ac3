// The playlist on the main window: its model, reading albums into it, and the
// recent-album list with its menu items.
#include "playlist/AlbumFile.h"
#include "playlist/AlbumLoad.h"
#include "playlist/FileTitle.h"
#include "playlist/PlaylistModel.h"
#include "playlist/frmEnumDir.h"
#include "ui/frmMain.h"

#include <QTimer>
#include <memory>
#include <new>

namespace {

const QString Empty = QStringLiteral("Empty");

} // namespace

namespace {

// The rest of AddPlayList once the album is read: the policy for new entries
// (interrupt captured as the read began), the count of missing lines, the
// entries in, playing, the recent albums.
AlbumEnd takeAlbumIn(frmMain &w, const QString &FPath, bool Update, bool interrupt,
                     AlbumLoad::Outcome outcome)
{
    const auto outOfMemory = [&] {
        w.dlg->MsgBox(frmMain::tr("There is not enough memory to load the album %1; the "
                                  "playlist stays as it was.")
                          .arg(FPath));
        return AlbumEnd::OutOfMemory;
    };
    // The entries were made before the playlist is touched: an album that does
    // not fit in memory leaves the playlist as it was, also when it would
    // replace it.
    if (outcome.read.outOfMemory)
        return outOfMemory();

    bool PlayAfter = w.lstPlay.isEmpty();
    if (interrupt) {
        w.lstPlay.clear();
        PlayAfter = true;
    }
    if (outcome.read.missing != 0)
        w.dlg->MsgBox(QString::number(outcome.read.missing) +
                      QStringLiteral(" files could not be found and skipped"));
    AlbumEnd end = AlbumEnd::Loaded;
    if (!outcome.read.complete) {
        end = AlbumEnd::Partial;
        w.dlg->MsgBox(frmMain::tr("The album %1 could not be read to its end: %2")
                          .arg(FPath, outcome.read.error));
    }
    // The new entries show only once the messages are closed. Into the list
    // emptied above they go without fail; onto a long one they may not fit.
    try {
        w.lstPlay.append(std::move(outcome.entries));
    } catch (const std::bad_alloc &) {
        return outOfMemory();
    }
    w.UpdateMIDI();
    if (PlayAfter) {
        w.setPlayIndex(-1);
        w.MCI_Done(0);
    }
    if (Update)
        w.UpdateAlbum(FPath);
    return end;
}

} // namespace

bool frmMain::AddPlayList(const QString &FPath, bool Update,
                          const std::function<void(AlbumEnd)> &then)
{
    if (m_enumDir && m_enumDir->isScanning()) {
        // One scan or load at a time: this album waits for the one running.
        QTimer::singleShot(20, this,
                           [this, FPath, Update, then] { AddPlayList(FPath, Update, then); });
        return true;
    }
    auto reader = std::make_unique<AlbumReader>(FPath);
    if (!reader->opened())
        return false;
    const bool interrupt = optInterrupt[1]->isChecked();
    const auto finish = [this, FPath, Update, interrupt, then](AlbumLoad::Outcome outcome) {
        const AlbumEnd end = takeAlbumIn(*this, FPath, Update, interrupt, std::move(outcome));
        if (then)
            then(end);
    };

    const AlbumLoadPolicy &policy = albumLoadPolicy();
    if (reader->size() <= policy.inlineUpTo) {
        // A few thousand lines: read before anything could flicker.
        while (reader->readSome()) {
        }
        AlbumLoad::Outcome outcome;
        outcome.read = reader->take();
        outcome.entries = takeAlbumEntries(outcome.read);
        finish(std::move(outcome));
        return true;
    }
    auto load = std::make_unique<AlbumLoad>(std::move(reader));
    if (load->waitFinished(policy.quietWait)) {
        finish(load->take());
        return true;
    }
    enumDir().LoadAlbum(FPath, std::move(load), [finish, then](AlbumLoad &done) {
        if (!done.cancelled())
            finish(done.take());
        else if (then)
            then(AlbumEnd::Cancelled);
    });
    return true;
}

bool frmMain::albumLoading() const
{
    return m_enumDir && m_enumDir->isLoadingAlbum();
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
