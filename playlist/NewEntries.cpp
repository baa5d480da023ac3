// New entries from a drop, the command line or a later start: folders are
// scanned, albums read, MIDI files appended, under the policy for new entries.
#include "playlist/NewEntries.h"

#include "playback/SequencerDevice.h"
#include "playlist/AlbumFile.h"
#include "ui/frmMain.h"

#include <QDirIterator>

bool NotAFile(const QString &Path)
{
    return !albumLineNamesFile(Path);
}

namespace {

bool endsWithExtension(const QString &path, QLatin1String extension)
{
    return path.right(4).toUpper() == extension;
}

} // namespace

void frmMain::UpdateOLE(const QStringList &DataList, bool ForceClear)
{
    if (ForceClear) {
        lstPlay.clear();
        lstMIDI->Clear();
    }
    if (DataList.isEmpty())
        return;
    const bool WasEmpty = lstPlay.isEmpty();

    for (const QString &entry : DataList) {
        if (NotAFile(entry)) {
            DirEntry(entry);
        } else if (endsWithExtension(entry, QLatin1String(".MAL"))) {
            // An album is read on its own terms; later entries are dropped.
            AddPlayList(entry, true);
            return;
        } else if (endsWithExtension(entry, QLatin1String(".MID"))) {
            lstPlay.append(entry);
        }
    }

    if (WasEmpty && optInterrupt[1]->isChecked())
        Stopped = true;
    // The interrupt policy acts only on a single entry that is a file.
    if ((DataList.size() > 1 || NotAFile(DataList.first())) && optInterrupt[1]->isChecked())
        optInterrupt[0]->setChecked(true);

    if (optInterrupt[1]->isChecked()) {
        lstPlay.clear();
        lstMIDI->Clear();
        UpdateMIDIMenu();
        Global.CurrentAlbum = 0;
        mnuA[1]->setChecked(false);
        MCI->Command(QStringLiteral("Close"));
        if (Global.ResetMode != 0)
            ResetMIDI();
        PlayIndex = -1;
        PlayFile = DataList.first();
        Stopped = true;
        imgControls_Click(1);
    } else {
        UpdateMIDI();
        if (WasEmpty && Stopped)
            MCI_Done(0);
        Global.CurrentAlbum = 0;
        mnuA[1]->setChecked(false);
    }
}

void frmMain::lstMIDI_OLEDragDrop(const QStringList &paths)
{
    UpdateOLE(paths, false);
}

void frmMain::DirEntry(const QString &DirPath)
{
    QStringList found;
    QDirIterator it(DirPath, {QStringLiteral("*.mid")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        found.append(it.next());
    found.sort(Qt::CaseInsensitive);
    lstPlay.append(found);
    UpdateMIDI();
}
