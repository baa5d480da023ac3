// The play menu and the playlist cues: the window's handlers.
#include "player/Player.h"
#include "ui/SongMenu.h"
#include "ui/frmMain.h"

void frmMain::UpdateMIDIMenu()
{
    songMenu->invalidate(player.index());
}

void frmMain::lstMIDI_MouseMove()
{
    lblHelp->setText(tr("Drag any folder or MIDI files here"));
    lblHelp->setVisible(true);
}

void frmMain::lstMIDI_GotFocus()
{
    QFont bold = btnPlay->font();
    bold.setBold(true);
    btnPlay->setFont(bold);
}

void frmMain::lstMIDI_LostFocus()
{
    QFont plain = btnPlay->font();
    plain.setBold(false);
    btnPlay->setFont(plain);
}
