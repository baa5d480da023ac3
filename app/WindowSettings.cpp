// The window's settings: loading and saving them, and the default-player box.
#include "settings/Association.h"
#include "ui/frmMain.h"

#include <QGuiApplication>
#include <QScreen>

void frmMain::chkDefault_Click()
{
    Global.DefaultPlayer = chkDefault->isChecked();
    SetDefaultPlayer(Global.DefaultPlayer, *store, m_services.association);
}

void frmMain::LoadSettings()
{
    double width = m_services.screenWidthTwips;
    if (width <= 0) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        width = screen ? twips(screen->geometry().width()) : 0;
    }
    ::LoadSettings(Global, *store, width, [this](bool Enable) {
        SetDefaultPlayer(Enable, *store, m_services.association);
    });
}

void frmMain::SaveSettings()
{
    ::SaveSettings(Global, *store, [this](bool Enable) {
        SetDefaultPlayer(Enable, *store, m_services.association);
    });
}
