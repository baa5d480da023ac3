// Closing the player: settings saved first, the device closed, then the
// playlist kept in "default.mal" for the next start (or that file removed
// when the playlist is empty).
#include "app/Main.h"
#include "engine/SequencerDevice.h"
#include "playlist/AlbumFile.h"
#include "playlist/PlaylistModel.h"
#include "playlist/frmEnumDir.h"
#include "ui/frmDummy.h"
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
    // An album still loading is dropped: the playlist stays as it was.
    if (m_enumDir)
        m_enumDir->cancelAlbumLoad();

    SaveSettings();
    MCI->Command(QStringLiteral("Close"));

    // The playlist proper decides: the visible list may lag behind it inside
    // a handler (a message box open before UpdateMIDI).
    const QString path = defaultAlbumPath();
    if (m_keepDefaultAlbum) {
        std::fprintf(stderr,
                     "sonabel: %s was not read whole at the start (out of memory, cancelled or "
                     "a failed read), so it is left as it was; this session's playlist is "
                     "not kept\n",
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

namespace {

// The application's quit request (the session manager's at logout, or any
// QCoreApplication::quit()) taken as "Close player". Left to Qt, the request
// first asks every window to close and is dropped when one refuses: the main
// window closes only once its handlers are done, and the taskbar placeholder
// restores the window instead, so a minimised player went on running.
class QuitRequests : public QObject
{
public:
    explicit QuitRequests(frmMain &window) : QObject(&window), m_window(window) {}

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != QCoreApplication::instance() || event->type() != QEvent::Quit)
            return false;
        m_window.requestClose();
        return true;
    }

private:
    frmMain &m_window;
};

} // namespace

void connectShutdown(QCoreApplication &app, frmMain &window)
{
    // Once the player has closed nothing may keep it: exit(), unlike quit(),
    // asks no window.
    QObject::connect(&window, &frmMain::closed, &app, [] { QCoreApplication::exit(0); });
    app.installEventFilter(new QuitRequests(window));
    // An event loop ended some other way still runs the shutdown.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, &frmMain::Form_QueryUnload);
}

void frmMain::mnuClose_Click()
{
    // Inside a box's event loop or a folder scan the handler that opened it
    // has not finished its work on the playlist: close once it has.
    if (insideAnotherHandler()) {
        requestClose();
        return;
    }
    Form_QueryUnload();
    hide();
    if (m_dummy)
        m_dummy->hide();
    Q_EMIT closed();
}

bool frmMain::insideAnotherHandler() const
{
    return QThread::currentThread()->loopLevel() > 1 || (m_enumDir && m_enumDir->isScanning());
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
    if (insideAnotherHandler()) {
        QTimer::singleShot(10, this, &frmMain::finishRequestedClose);
        return;
    }
    mnuClose_Click();
}
