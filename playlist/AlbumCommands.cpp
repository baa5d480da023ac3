// The album commands: add, load, save, and the recent albums.
//
// Add and Load force the policy for new entries (add to the playlist, or
// interrupt and replace it) and leave it so. A cancelled dialog changes
// nothing. An album that cannot be read or written is reported by name and
// changes nothing either: not the playlist, not the policy, not the recent
// list; nor does a long album whose load is cancelled, or one too big for
// the memory left. A long album's load ends after the handler has returned.
#include "playlist/AlbumFile.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QDir>
#include <functional>

namespace {

FileDialogSetup albumDialog(const frmMain &w, const QString &title)
{
    FileDialogSetup setup;
    setup.DialogTitle = title;
    setup.Filter = QStringLiteral("MIDI Album|*.mal");
    setup.DefaultExt = QStringLiteral(".mal");
    setup.FileName = QStringLiteral("*.mal");
    // The dialogs start in the albums folder, made the first time it is needed.
    setup.InitDir = w.albumsFolder();
    QDir().mkpath(setup.InitDir);
    return setup;
}

QString notOpened(const QString &path)
{
    return QStringLiteral("The album %1 could not be opened.").arg(QDir::toNativeSeparators(path));
}

// Reads an album under the given policy for new entries (0 add, 1 interrupt),
// which stays selected, then runs done(true). An album that cannot be opened
// is reported by name; one whose load was cancelled or did not fit in memory
// changes nothing either. Then the policy goes back to what it was and
// done(false) runs. done may run later, once a long album is in.
void addAlbumWithPolicy(frmMain &w, const QString &path, int policy,
                        const std::function<void(bool loaded)> &done)
{
    const int before = w.optInterrupt[1]->isChecked() ? 1 : 0;
    w.optInterrupt[policy]->setChecked(true);
    const bool opened = w.AddPlayList(path, true, [&w, before, done](AlbumEnd end) {
        const bool loaded = end == AlbumEnd::Loaded || end == AlbumEnd::Partial;
        if (!loaded)
            w.optInterrupt[before]->setChecked(true);
        done(loaded);
    });
    if (opened)
        return;
    w.optInterrupt[before]->setChecked(true);
    w.dlg->MsgBox(notOpened(path));
    done(false);
}

} // namespace

void frmMain::btnLoad_Click()
{
    FileDialogSetup setup = albumDialog(*this, QStringLiteral("Open MIDI Album"));
    setup.FileMustExist = true;
    const std::optional<QString> chosen = dlg->ShowOpen(setup);
    if (!chosen)
        return;
    addAlbumWithPolicy(*this, *chosen, 0, [this](bool loaded) {
        if (!loaded)
            return;
        // The playlist is now a mixture, not the album itself.
        Global.CurrentAlbum = 0;
        mnuA[1]->setChecked(false);
    });
}

void frmMain::mnuLoad_Click()
{
    FileDialogSetup setup = albumDialog(*this, QStringLiteral("Open MIDI Album"));
    setup.FileMustExist = true;
    const std::optional<QString> chosen = dlg->ShowOpen(setup);
    if (!chosen)
        return;
    addAlbumWithPolicy(*this, *chosen, 1, [this](bool loaded) {
        if (loaded)
            Global.CurrentAlbum = 1;
    });
}

void frmMain::btnSave_Click()
{
    FileDialogSetup setup = albumDialog(*this, QStringLiteral("Save this album to"));
    setup.ConfirmOverwrite = true;
    const std::optional<QString> chosen = dlg->ShowSave(setup);
    if (!chosen)
        return;
    QString error;
    if (!writeAlbum(
            *chosen, lstPlay.size(), [this](qsizetype i) { return lstPlay.at(i); }, &error)) {
        // Nothing was written: the recent list gets no album that is not there.
        dlg->MsgBox(QStringLiteral("The album could not be saved to %1: %2")
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
    addAlbumWithPolicy(*this, path, 1, [this](bool loaded) {
        if (loaded) {
            Global.CurrentAlbum = 1;
            return;
        }
        // The item toggled its own check mark on the click; put the marks right.
        for (int i = 1; i <= 4; ++i)
            mnuA[i]->setChecked(i == 1 && Global.CurrentAlbum == 1);
    });
}
