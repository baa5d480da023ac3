// Closing the player: settings saved first, the device closed, then the
// playlist kept in "default.mal" for the next start (or that file removed
// when the playlist is empty).
#include "engine/SequencerDevice.h"
#include "playlist/AlbumFile.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

void frmMain::Form_QueryUnload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;

    SaveSettings();
    MCI->Command(QStringLiteral("Close"));

    const QString path = defaultAlbumPath();
    if (lstMIDI->ListCount() == 0) {
        const QFileInfo info(path);
        if ((info.exists() || info.isSymLink()) && !QFile::remove(path))
            std::fprintf(stderr, "sonabel: could not remove %s\n", qPrintable(path));
    } else {
        // The per-user data folder that stands in for a read-only program
        // folder may not exist yet.
        QDir().mkpath(QFileInfo(path).path());
        QString error;
        if (!writeAlbum(path, lstPlay.paths(), &error))
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
