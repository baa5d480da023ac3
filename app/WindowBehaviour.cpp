// The borderless window's own behaviour: drag by the title, shade to the top
// strip, snap to the top screen edge, stay on top, and the popup menu.
#include "platform/WindowSystem.h"
#include "ui/frmDummy.h"
#include "ui/frmMain.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace {

constexpr int ShadeHeight = 195;
constexpr int SnapThreshold = 100;

} // namespace

void frmMain::setCompositorPlacesWindows(bool places)
{
    m_compositorPlacesWindows = places;
    const QString why =
        places ? tr("On Wayland the desktop places the window: keep it on top or snap it with "
                    "the desktop's own window menu.")
               : QString();
    for (QCheckBox *box : {chkSnap, chkTop}) {
        box->setEnabled(!places);
        box->setToolTip(why);
    }
    mnuTop->setEnabled(!places);
    mnuSnap->setEnabled(!places);
    mnuTop->setText(places ? tr("Always on top: set by the desktop") : tr("Always on top"));
    mnuSnap->setText(places ? tr("Snap to top screen: set by the desktop")
                            : tr("Snap to top screen"));
}

void frmMain::placeWindow()
{
    if (m_compositorPlacesWindows)
        return;
    const QRect wanted(px(Global.WindowX), px(Global.WindowY), width(), height());
    if (!onAnyScreen(wanted)) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const double screenWidth = screen ? twips(screen->geometry().width()) : 0;
        Global.WindowX = static_cast<float>(screenWidth - MainWindowWidth - 1000);
        Global.WindowY = 0;
    }
    move(px(Global.WindowX), px(Global.WindowY));
}

void frmMain::img1_MouseUp(Qt::MouseButton Button)
{
    if (Button == Qt::RightButton)
        mnuMenu->popup(QCursor::pos());
}

void frmMain::img1_KeyMenu()
{
    mnuMenu->popup(img1->mapToGlobal(QPoint(0, img1->height())));
}

void frmMain::lblSongName_MouseDown(Qt::MouseButton Button, QPointF Pos)
{
    if (Button == Qt::LeftButton && m_compositorPlacesWindows) {
        // The compositor moves the window while the button is held.
        if (QWindow *handle = windowHandle())
            handle->startSystemMove();
    } else if (Button == Qt::LeftButton) {
        refreshWindowPosition(this);
        Dragging = true;
        DragStart = Pos;
    } else if (Button == Qt::RightButton) {
        mnuPlay->popup(QCursor::pos());
    }
}

void frmMain::lblSongName_MouseMove(QPointF Pos)
{
    if (!Dragging)
        return;
    move(x() + qRound(Pos.x() - DragStart.x()), y());
    move(x(), y() + qRound(Pos.y() - DragStart.y()));
}

void frmMain::lblSongName_KeyMenu()
{
    mnuPlay->popup(lblSongName->mapToGlobal(QPoint(0, lblSongName->height())));
}

void frmMain::lblSongName_MouseUp()
{
    if (m_compositorPlacesWindows) {
        // Where the window is now is the compositor's secret: the saved
        // position stays for a session that can place the window.
        Dragging = false;
        return;
    }
    refreshWindowPosition(this);
    if (chkSnap->isChecked() && Dragging && twips(y()) < SnapThreshold)
        move(x(), 0);
    Dragging = false;
    Global.WindowX = static_cast<float>(twips(x()));
    Global.WindowY = static_cast<float>(twips(y()));
}

void frmMain::lblSongName_DblClick()
{
    if (heightTwips() > ShadeHeight) {
        m_shadeRestoreHeight = heightTwips();
        setHeightTwips(ShadeHeight);
        mnuShade->setChecked(true);
    } else {
        setHeightTwips(static_cast<int>(m_shadeRestoreHeight));
        mnuShade->setChecked(false);
    }
}

void frmMain::mnuShade_Click()
{
    lblSongName_DblClick();
}

void frmMain::chkShadeMode_Click()
{
    Global.ShadeMode = chkShadeMode->isChecked();
}

void frmMain::chkSnap_Click()
{
    mnuSnap->setChecked(chkSnap->isChecked());
    Global.SnapToScreen = mnuSnap->isChecked();
}

void frmMain::mnuSnap_Click()
{
    chkSnap->setChecked(!chkSnap->isChecked());
}

void frmMain::chkTop_Click()
{
    mnuTop->setChecked(chkTop->isChecked());
    setStayOnTop(this, chkTop->isChecked());
    Global.OnTop = mnuTop->isChecked();
}

void frmMain::mnuTop_Click()
{
    chkTop->setChecked(!chkTop->isChecked());
}

void frmMain::mnuMinimize_Click()
{
    frmDummy *dummy = dummyForm();
    dummy->move(refreshWindowPosition(this));
    dummy->setWindowTitle(lblSongName->text());
    dummy->setWindowState(Qt::WindowMinimized);
    dummy->show();
    // Hidden, not iconified: the placeholder is what the taskbar shows.
    hide();
}

void frmMain::bringToFront()
{
    // Minimised: the placeholder gives the window back and leaves the taskbar.
    if (m_dummy && m_dummy->isVisible())
        m_dummy->restoreMainWindow();
    if (mnuShade->isChecked())
        mnuShade_Click();
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void frmMain::Form_MouseMove()
{
    ClearUnderline();
    lblHelp->hide();
}
