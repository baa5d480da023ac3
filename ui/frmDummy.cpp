// The taskbar placeholder.
#include "ui/frmDummy.h"

#include "ui/Controls.h"
#include "ui/frmMain.h"

#include <QCloseEvent>

frmDummy::frmDummy(QWidget *mainWindow) : QWidget(nullptr, Qt::Window), m_main(mainWindow)
{
    // No parent: a window owned by another is kept off the taskbar and goes
    // down with it, and this one must stand alone while the main window hides.
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(programIcon());
    resize(px(4680), px(3195));
}

void frmDummy::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmDummy::Form_Resize()
{
    if (isVisible() && !(windowState() & Qt::WindowMinimized))
        restoreMainWindow();
}

void frmDummy::closeEvent(QCloseEvent *event)
{
    event->ignore();
    restoreMainWindow();
}

void frmDummy::restoreMainWindow()
{
    m_main->show();
    hide();
    setWindowState(Qt::WindowMinimized);
}

frmDummy *frmMain::dummyForm()
{
    if (!m_dummy)
        m_dummy = new frmDummy(this);
    return m_dummy;
}
