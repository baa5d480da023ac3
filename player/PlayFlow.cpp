// Which song plays: the advance with wrap-round, the transport images, the
// play actions of the playlist and the MIDI reset played before a song.
// Runs on the window's thread; the device is driven only through its commands.
#include "engine/SequencerDevice.h"
#include "platform/ProgramFiles.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

void frmMain::MCI_Done(int NotifyCode)
{
    if (NotifyCode != 0) {
        // Device notifications matter only for a song played outside the
        // playlist; with a playlist the status update finds the song's end.
        if (lstMIDI->ListCount() != 0)
            return;
        if (NotifyCode == SequencerDevice::NotifySuccessful)
            imgControls_Click(1);
        else if (NotifyCode == SequencerDevice::NotifyAborted)
            MCI_StatusUpdate();
        return;
    }

    Stopped = true;
    if (lstPlay.isEmpty())
        return;
    MCI->Command(QStringLiteral("Close"));
    if (Global.ResetMode != 0)
        ResetMIDI();
    const int count = static_cast<int>(lstPlay.size());
    PlayIndex = PlayIndex >= count - 1 ? 0 : PlayIndex + 1;
    // An index before the first entry (previous pressed before any song) yields
    // no file; the open then fails and the next status update moves on.
    PlayFile = PlayIndex >= 0 ? lstPlay.at(PlayIndex) : QString();
    imgControls_Click(1);
    UpdateMIDIMenu();
}

void frmMain::ResetMIDI()
{
    MCI->setFileName(ResetFile);
    MCI->Command(QStringLiteral("Open"));
    MCI->setWait(true);
    MCI->setNotify(false);
    MCI->Command(QStringLiteral("Play"));
    MCI->Command(QStringLiteral("Close"));
    MCI->setWait(false);
    MCI->setNotify(true);
}

void frmMain::imgControls_Click(int Index)
{
    switch (Index) {
    case 0:
        if (PrevClicked) {
            imgControls_DblClick(0);
        } else {
            MCI->setFrom(0);
            MCI->Command(QStringLiteral("Play"));
            tme->start(500);
            PrevClicked = true;
        }
        break;
    case 1:
        if (Stopped) {
            MCI->Command(QStringLiteral("Close"));
            MCI->setFileName(PlayFile);
            MCI->Command(QStringLiteral("Open"));
            MCI->setTimeFormat(0);
            MCI->setNotify(true);
            MCI->Command(QStringLiteral("Play"));
            Stopped = false;
        }
        break;
    case 2:
        MCI->Command(QStringLiteral("Pause"));
        break;
    case 3:
        MCI->Command(QStringLiteral("Stop"));
        Stopped = true;
        MCI->Command(QStringLiteral("Close"));
        break;
    case 4:
        MCI_Done(0);
        break;
    default:
        break;
    }
}

void frmMain::imgControls_DblClick(int Index)
{
    if (Index != 0)
        return;
    // Back one song: from the first song the advance wraps round to it again.
    PlayIndex -= 2;
    if (PlayIndex == -2)
        PlayIndex = static_cast<qint32>(lstPlay.size());
    MCI_Done(0);
}

void frmMain::tme_Timer()
{
    PrevClicked = false;
    tme->stop();
}

void frmMain::btnPlay_Click()
{
    PlayIndex = lstMIDI->ListIndex() - 1;
    MCI_Done(0);
}

void frmMain::lstMIDI_DblClick()
{
    btnPlay_Click();
}

void frmMain::mnuMID_Click(int Index)
{
    PlayIndex = Index - 1;
    MCI_Done(0);
}

void frmMain::optReset_Click(int Index)
{
    Global.ResetMode = static_cast<quint8>(Index);
    if (Index == 1)
        ResetFile = programDataFile(programFolder(), QStringLiteral("GM.MID"));
    else if (Index == 2)
        ResetFile = programDataFile(programFolder(), QStringLiteral("GS.MID"));
}
