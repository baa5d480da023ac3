// New entries handed over by a later start, and the policy for new entries:
// the option group on the panel, the two menu items and OnNewEntry kept in step.
#include "ui/frmMain.h"

void frmMain::Form_LinkExecute(const QStringList &CmdStr)
{
    // The paths are taken as they came, untrimmed, in their order, as a drop
    // of several files is; they are always accepted, also when UpdateOLE finds
    // nothing in them. The link answers once this returns.
    UpdateOLE(CmdStr, false);
}

void frmMain::optInterrupt_Click(int Index)
{
    mnuNewList->setChecked(Index == 0);
    mnuNewPlay->setChecked(Index == 1);
    Global.OnNewEntry = static_cast<quint8>(Index);
}

void frmMain::mnuNewList_Click()
{
    // Selecting the option raises optInterrupt_Click. When it is selected
    // already nothing is raised, but the menu item has toggled its own check
    // mark on the click, so the marks are put right here.
    if (optInterrupt[0]->isChecked())
        optInterrupt_Click(0);
    else
        optInterrupt[0]->setChecked(true);
}

void frmMain::mnuNewPlay_Click()
{
    if (optInterrupt[1]->isChecked())
        optInterrupt_Click(1);
    else
        optInterrupt[1]->setChecked(true);
}
