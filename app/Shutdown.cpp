// Closing the player: settings saved first, the device closed, then the
// playlist kept in "default.mal" for the next start (or that file removed
// when the playlist is empty).
#include "engine/SequencerDevice.h"
#include "playlist/AlbumFile.h"
#include "playlist/PlaylistModel.h"
#include "playlist/frmEnumDir.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <cstdio>

void frmMain::Form_QueryUnload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;

    SaveSettings();
    MCI->Command(QStringLiteral("Close"));

    // The playlist proper decides: the visible list may lag behind it inside
    // a handler (a message box open before UpdateMIDI).
    const QString path = defaultAlbumPath();
    if (m_keepDefaultAlbum) {
        std::fprintf(stderr,
                     "sonabel: %s did not fit in memory at the start, so it is left as it was; "
                     "this session's playlist is not kept\n",
                     qPrintable(path));
    } else if (lstPlay.isEmpty()) {
        const QFileInfo info(path);
        if ((info.exists() || info.isSymLink()) && !QFile::remove(path))
            std::fprintf(stderr, "sonabel: could not remove %s\n", qPrintable(path));
    } else {
        // The per-user data folder that stands in for a read-only program
        // folder may not exist yet.
        QDir().mkpath(QFileInfo(path).path());
        QString error;
        // Streamed from the playlist itself: no second copy of a long list.
        if (!writeAlbum(
                path, lstPlay.size(), [this](qsizetype i) { return lstPlay.at(i); }, &error))
            std::fprintf(stderr, "sonabel: the playlist could not be kept in %s: %s\n",
                         qPrintable(path), qPrintable(error));
    }
}

void frmMain::mnuClose_Click()
{
    Form_QueryUnload();
    hide();
    Q_EMIT closed();
}

void frmMain::img1_DblClick()
{
    mnuClose_Click();
}

void frmMain::requestClose()
{
    m_closeRequested = true;
    // A box or dialog answered as cancelled; a popup menu closed; a scan stops
    // by itself once it sees the request (keeping what it found).
    dlg->CloseAll();
    for (int i = 0; i < 8 && QApplication::activePopupWidget(); ++i)
        QApplication::activePopupWidget()->close();
    QTimer::singleShot(0, this, &frmMain::finishRequestedClose);
}

void frmMain::finishRequestedClose()
{
    if (m_unloaded || !m_eventLoopRunning)
        return; // closed already, or Main closes once the window is loaded
    // Inside a nested loop or a scan the handler that opened it has not yet
    // finished its work on the playlist; close once it has.
    if (QThread::currentThread()->loopLevel() > 1 || (m_enumDir && m_enumDir->isScanning())) {
        QTimer::singleShot(10, this, &frmMain::finishRequestedClose);
        return;
    }
    mnuClose_Click();
}
