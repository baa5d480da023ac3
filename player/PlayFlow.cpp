// The window's play handlers: the transport images, the play actions of the
// playlist, the reset options. Each hands its event to the Player, which
// decides what plays.
#include "platform/ProgramFiles.h"
#include "player/Player.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

namespace {

constexpr qint32 SeekStepMs = 5000;

} // namespace

Player &frmMain::createPlayer(SequencerDevice &device)
{
    return *new Player(device, lstPlay, this);
}

void frmMain::connectPlayer()
{
    connect(&player, &Player::positionChanged, this, &frmMain::MCI_StatusUpdate);
    // The check mark of the play menu follows the song started.
    connect(&player, &Player::trackChanged, this, &frmMain::UpdateMIDIMenu);
    connect(&player, &Player::volumeChanged, this, &frmMain::keepVolume);
    connectLyrics();
}

void frmMain::MCI_Done(int NotifyCode)
{
    if (NotifyCode == 0)
        player.advance();
    else
        player.deviceDone(NotifyCode);
}

void frmMain::imgControls_Click(int Index)
{
    switch (Index) {
    case 0:
        player.previous();
        break;
    case 1:
        player.play();
        break;
    case 2:
        player.pause();
        break;
    case 3:
        player.stop();
        break;
    case 4:
        player.advance();
        break;
    default:
        break;
    }
}

void frmMain::imgControls_DblClick(int Index)
{
    if (Index == 0)
        player.back();
}

void frmMain::btnPlay_Click()
{
    player.playEntry(lstMIDI->ListIndex());
}

void frmMain::lstMIDI_DblClick()
{
    btnPlay_Click();
}

void frmMain::mnuMID_Click(int Index)
{
    player.playEntry(Index);
}

qint32 frmMain::playIndex() const
{
    return player.index();
}

void frmMain::setPlayIndex(qint32 index)
{
    player.setIndex(index);
}

bool frmMain::isStopped() const
{
    return player.isStopped();
}

void frmMain::markStopped()
{
    player.markStopped();
}

void frmMain::playNow(const QString &path)
{
    player.playFile(path);
}

void frmMain::optReset_Click(int Index)
{
    Global.ResetMode = static_cast<quint8>(Index);
    QString file = player.resetFile();
    if (Index == 1)
        file = programDataFile(programFolder(), QStringLiteral("GM.MID"));
    else if (Index == 2)
        file = programDataFile(programFolder(), QStringLiteral("GS.MID"));
    player.setReset(Index, file);
}

// ---- the play keys ----

void frmMain::playPauseKey()
{
    // Pause on a paused song resumes it.
    imgControls_Click(player.isStopped() ? 1 : 2);
}

void frmMain::seekBackKey()
{
    player.seekBy(-SeekStepMs);
}

void frmMain::seekForwardKey()
{
    player.seekBy(SeekStepMs);
}

void frmMain::previousSongKey()
{
    imgControls_DblClick(0);
}

void frmMain::nextSongKey()
{
    imgControls_Click(4);
}
