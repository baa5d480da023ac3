// The file association and the settings of the main window.
#include "settings/Association.h"

#include "ui/frmMain.h"

#include <QGuiApplication>
#include <QScreen>

void SetDefaultPlayer(bool Enable)
{
    // The association is not handled yet: the choice is only remembered.
    Q_UNUSED(Enable);
}

void frmMain::chkDefault_Click()
{
    Global.DefaultPlayer = chkDefault->isChecked();
    SetDefaultPlayer(Global.DefaultPlayer);
}

void frmMain::LoadSettings()
{
    double width = m_services.screenWidthTwips;
    if (width <= 0) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        width = screen ? twips(screen->geometry().width()) : 0;
    }
    ::LoadSettings(Global, *store, width, SetDefaultPlayer);
}

void frmMain::SaveSettings()
{
    ::SaveSettings(Global, *store, SetDefaultPlayer);
}
