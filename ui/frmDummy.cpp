// The taskbar placeholder.
#include "ui/frmDummy.h"

#include "ui/Controls.h"
#include "ui/frmMain.h"

frmDummy::frmDummy(QWidget *mainWindow) : QWidget(mainWindow, Qt::Window)
{
    setWindowTitle(QStringLiteral("Form1"));
    setWindowIcon(programIcon());
    resize(px(4680), px(3195));
}

frmDummy *frmMain::dummyForm()
{
    if (!m_dummy)
        m_dummy = new frmDummy(this);
    return m_dummy;
}
