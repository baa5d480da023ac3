// The album commands: add, load, save, and the recent albums.
//
// Add and Load force the policy for new entries (add to the playlist, or
// interrupt and replace it) and leave it so. A cancelled dialog changes
// nothing. An album that cannot be read or written is reported by name and
// changes nothing either: not the playlist, not the policy, not the recent list.
#include "playlist/AlbumFile.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QCoreApplication>
#include <QDir>

namespace {

FileDialogSetup albumDialog(const frmMain &w, const QString &title)
{
    FileDialogSetup setup;
    setup.DialogTitle = title;
    setup.Filter = QCoreApplication::translate("frmMain", "MIDI Album") + QStringLiteral("|*.mal");
    setup.DefaultExt = QStringLiteral(".mal");
    setup.FileName = QStringLiteral("*.mal");
    // The dialogs start in the albums folder, made the first time it is needed.
    setup.InitDir = w.albumsFolder();
    QDir().mkpath(setup.InitDir);
    return setup;
}

QString notOpened(const QString &path)
{
    return QCoreApplication::translate("frmMain", "The album %1 could not be opened.")
        .arg(QDir::toNativeSeparators(path));
}

// Reads an album under the given policy for new entries (0 add, 1 interrupt),
// which stays selected; an album that cannot be opened is reported by name
// and the policy goes back to what it was.
bool addAlbumWithPolicy(frmMain &w, const QString &path, int policy)
{
    const int before = w.optInterrupt[1]->isChecked() ? 1 : 0;
    w.optInterrupt[policy]->setChecked(true);
    if (w.AddPlayList(path, true))
        return true;
    w.optInterrupt[before]->setChecked(true);
    w.dlg->MsgBox(notOpened(path));
    return false;
}

} // namespace

void frmMain::btnLoad_Click()
{
    FileDialogSetup setup = albumDialog(*this, tr("Open MIDI Album"));
    setup.FileMustExist = true;
    const std::optional<QString> chosen = dlg->ShowOpen(setup);
    if (!chosen)
        return;
    if (!addAlbumWithPolicy(*this, *chosen, 0))
        return;
    // The playlist is now a mixture, not the album itself.
    Global.CurrentAlbum = 0;
    mnuA[1]->setChecked(false);
}

void frmMain::mnuLoad_Click()
{
    FileDialogSetup setup = albumDialog(*this, tr("Open MIDI Album"));
    setup.FileMustExist = true;
    const std::optional<QString> chosen = dlg->ShowOpen(setup);
    if (!chosen)
        return;
    if (addAlbumWithPolicy(*this, *chosen, 1))
        Global.CurrentAlbum = 1;
}

void frmMain::btnSave_Click()
{
    FileDialogSetup setup = albumDialog(*this, tr("Save this album to"));
    setup.ConfirmOverwrite = true;
    const std::optional<QString> chosen = dlg->ShowSave(setup);
    if (!chosen)
        return;
    QString error;
    if (!writeAlbum(
            *chosen, lstPlay.size(), [this](qsizetype i) { return lstPlay.at(i); }, &error)) {
        // Nothing was written: the recent list gets no album that is not there.
        dlg->MsgBox(tr("The album could not be saved to %1: %2")
                        .arg(QDir::toNativeSeparators(*chosen), error));
        return;
    }
    UpdateAlbum(*chosen);
    Global.CurrentAlbum = 1;
}

void frmMain::mnuSave_Click()
{
    btnSave_Click();
}

void frmMain::mnuA_Click(int Index)
{
    if (Index < 1 || Index > 4)
        return;
    // The path is read at the moment of the click; the item holds only a caption.
    const QString path = Global.AlbumList[static_cast<std::size_t>(Index)];
    if (addAlbumWithPolicy(*this, path, 1)) {
        Global.CurrentAlbum = 1;
        return;
    }
    // The item toggled its own check mark on the click; put the marks right.
    for (int i = 1; i <= 4; ++i)
        mnuA[i]->setChecked(i == 1 && Global.CurrentAlbum == 1);
}
