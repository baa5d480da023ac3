// New entries from a drop, the command line or a later start: folders are
// scanned, albums read, MIDI files appended, under the policy for new entries.
#include "playlist/NewEntries.h"

#include "playlist/AlbumFile.h"
#include "playlist/FolderScan.h"
#include "playlist/PlaylistModel.h"
#include "playlist/frmEnumDir.h"
#include "ui/frmMain.h"

#include <QTimer>

bool NotAFile(const QString &Path)
{
    return !albumLineNamesFile(Path);
}

// DataList holds the entries from its first element on (the first start's
// argument, the handed-over string, or the dropped paths in drop order).
void frmMain::UpdateOLE(const QStringList &DataList, bool ForceClear)
{
    if (m_enumDir && m_enumDir->isScanning()) {
        // A scan or an album load lets events through so that it can be
        // stopped; entries that come meanwhile (a later start's text) wait
        // until it is done, and then follow what it found.
        QTimer::singleShot(20, this,
                           [this, DataList, ForceClear] { UpdateOLE(DataList, ForceClear); });
        return;
    }
    if (ForceClear) {
        lstPlay.clear();
    }
    if (DataList.isEmpty())
        return;
    const bool WasEmpty = lstPlay.isEmpty();

    // Paths with a line break cannot stand in an album (each line is a path):
    // they are refused like files that cannot be found.
    m_refusedEntries = 0;
    const auto reportRefused = [this] {
        if (m_refusedEntries != 0)
            dlg->MsgBox(QString::number(m_refusedEntries) +
                        QStringLiteral(" files could not be found and skipped"));
        m_refusedEntries = 0;
    };
    int refusedHere = 0;
    for (const QString &entry : DataList) {
        if (entry.contains(u'\n') || entry.contains(u'\r')) {
            ++m_refusedEntries;
            ++refusedHere;
        } else if (NotAFile(entry)) {
            // Folders, and paths that name nothing (scanned as empty folders).
            DirEntry(entry);
        } else if (hasAlbumExtension(entry)) {
            // An album is read on its own terms, policy included; the entries
            // after it are dropped.
            reportRefused();
            AddPlayList(entry, true);
            return;
        } else if (hasMidiExtension(entry)) {
            lstPlay.append(entry);
        }
    }

    const bool onlyRefused = refusedHere == static_cast<int>(DataList.size());
    reportRefused();
    if (onlyRefused)
        return; // nothing was taken, nothing to play

    if (WasEmpty && optInterrupt[1]->isChecked())
        markStopped();
    // The interrupt policy acts only on a single entry that is a file; any
    // other intake switches it to adding, for good.
    if ((DataList.size() > 1 || NotAFile(DataList.first())) && optInterrupt[1]->isChecked())
        optInterrupt[0]->setChecked(true);

    if (optInterrupt[1]->isChecked()) {
        // The new file plays at once, outside the playlist, whatever its name.
        lstPlay.clear();
        UpdateMIDIMenu();
        Global.CurrentAlbum = 0;
        mnuA[1]->setChecked(false);
        playNow(DataList.first());
    } else {
        UpdateMIDI();
        if (WasEmpty && isStopped())
            MCI_Done(0);
        // The playlist no longer equals the stored album, even when nothing
        // was appended.
        Global.CurrentAlbum = 0;
        mnuA[1]->setChecked(false);
    }
}

void frmMain::lstMIDI_OLEDragDrop(const QStringList &paths)
{
    // Only drops of local files and folders arrive here, never an empty one.
    UpdateOLE(paths, false);
}

frmEnumDir &frmMain::enumDir()
{
    if (!m_enumDir) {
        m_enumDir = new frmEnumDir(this);
        connect(m_enumDir, &frmEnumDir::unloaded, this, [this] { m_enumDir = nullptr; });
    }
    return *m_enumDir;
}

void frmMain::DirEntry(const QString &DirPath)
{
    // The window may unload itself at the end of the scan (closed by the
    // user); it is deleted only later.
    frmEnumDir *scan = &enumDir();
    const int before = scan->refused;
    scan->DirEntry(DirPath);
    m_refusedEntries += scan->refused - before;
}
