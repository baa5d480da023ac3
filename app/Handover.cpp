// New entries handed over by a later start, and the policy for new entries.
#include "ui/frmMain.h"

void frmMain::Form_LinkExecute(const QString &CmdStr)
{
    UpdateOLE(QStringList{CmdStr}, false);
}

void frmMain::optInterrupt_Click(int Index)
{
    mnuNewList->setChecked(Index == 0);
    mnuNewPlay->setChecked(Index == 1);
    Global.OnNewEntry = static_cast<quint8>(Index);
}

void frmMain::mnuNewList_Click()
{
    // A click on the option already selected changes nothing, so the menu
    // item's own toggle is put right here.
    optInterrupt[0]->setChecked(true);
    optInterrupt_Click(optInterrupt[1]->isChecked() ? 1 : 0);
}

void frmMain::mnuNewPlay_Click()
{
    optInterrupt[1]->setChecked(true);
    optInterrupt_Click(optInterrupt[1]->isChecked() ? 1 : 0);
}
