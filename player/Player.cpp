// The player: the play state and the transport, on the sequencer device.
#include "player/Player.h"

#include "engine/SequencerDevice.h"
#include "engine/SoundChoice.h"
#include "playlist/PlaylistModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int PreviousWindowMs = 500;

qint32 clampToInt32(qint64 value)
{
    return static_cast<qint32>(std::clamp<qint64>(value, std::numeric_limits<qint32>::min(),
                                                  std::numeric_limits<qint32>::max()));
}

} // namespace

Player::Player(SequencerDevice &device, const PlaylistModel &playlist, QObject *parent)
    : QObject(parent), m_device(device), m_playlist(playlist), m_volume(SoundChoice::DefaultGain)
{
    m_previousWindow.setSingleShot(true);
    m_previousWindow.setInterval(PreviousWindowMs);
    connect(&m_device, &SequencerDevice::Done, this, &Player::deviceDone);
    connect(&m_device, &SequencerDevice::StatusUpdate, this, &Player::statusUpdate);
    connect(&m_device, &SequencerDevice::Opened, this, &Player::noteState);
}

Player::State Player::state() const
{
    if (m_stopped)
        return State::Stopped;
    if (m_device.isOpening())
        return State::Opening;
    return m_device.isPaused() ? State::Paused : State::Playing;
}

qint32 Player::lengthMs() const
{
    return m_device.Length();
}

qint32 Player::positionMs() const
{
    return m_device.Position();
}

std::shared_ptr<const Lyrics> Player::lyrics() const
{
    return m_device.lyrics();
}

int Player::entryCount() const
{
    return m_playlist.count();
}

void Player::setReset(int mode, const QString &file)
{
    m_resetMode = mode;
    m_resetFile = file;
}

void Player::noteState()
{
    const State now = state();
    if (now == m_told)
        return;
    m_told = now;
    Q_EMIT stateChanged(now);
}

void Player::openAndPlay(bool withReset)
{
    // Nothing here waits: the device opens the file on a worker, cuts the
    // old song's sound and plays the reset on its playback thread, and starts
    // the song when it is ready.
    m_device.Command(QStringLiteral("Close"));
    m_device.setFileName(m_file);
    m_device.setPrelude(withReset ? m_resetFile : QString());
    m_device.Command(QStringLiteral("Open"));
    m_device.setTimeFormat(0);
    m_device.setNotify(true);
    m_device.Command(QStringLiteral("Play"));
    // Whether or not the file opened: a failed open is found by the next
    // status update, which moves on.
    m_stopped = false;
    ++m_songNumber;
    Q_EMIT trackChanged();
    noteState();
}

void Player::advance()
{
    m_stopped = true;
    if (m_playlist.isEmpty()) {
        noteState();
        return;
    }
    m_device.Command(QStringLiteral("Close"));
    const qint32 count = m_playlist.count();
    m_index = m_index >= count - 1 ? 0 : m_index + 1;
    // An index before the first entry (previous pressed before any song) has
    // no file; the open then fails and the next status update moves on.
    m_file = m_index >= 0 ? m_playlist.at(m_index) : QString();
    openAndPlay(m_resetMode != 0);
}

void Player::playEntry(qint32 k)
{
    m_index = k - 1;
    advance();
}

void Player::playFromStart()
{
    playEntry(0);
    // With an empty playlist the advance only stopped: what plays goes on.
    m_stopped = false;
    noteState();
}

void Player::playFile(const QString &path)
{
    m_index = -1;
    m_file = path;
    m_stopped = true;
    openAndPlay(m_resetMode != 0);
}

void Player::play()
{
    if (m_stopped)
        openAndPlay(false);
}

void Player::pause()
{
    m_device.Command(QStringLiteral("Pause"));
    noteState();
}

void Player::stop()
{
    m_device.Command(QStringLiteral("Stop"));
    m_stopped = true;
    m_device.Command(QStringLiteral("Close"));
    noteState();
}

void Player::previous()
{
    if (m_previousWindow.isActive()) {
        back();
        return;
    }
    // Also from pause; on a closed device it does nothing.
    m_device.setFrom(0);
    m_device.Command(QStringLiteral("Play"));
    m_previousWindow.start();
    if (!m_stopped)
        Q_EMIT seeked(0);
    noteState();
}

void Player::back()
{
    m_index -= 2;
    if (m_index == -2)
        m_index = m_playlist.count();
    advance();
}

void Player::seek(qint64 ms)
{
    m_device.setFrom(clampToInt32(ms));
    m_device.Command(QStringLiteral("Play"));
    if (!m_stopped)
        Q_EMIT seeked(std::clamp<qint32>(clampToInt32(ms), 0, std::max(lengthMs(), 0)));
    noteState();
}

void Player::seekBy(qint32 deltaMs)
{
    const qint64 length = lengthMs();
    if (m_stopped || length <= 0)
        return;
    seek(std::clamp<qint64>(positionMs() + qint64(deltaMs), 0, length));
}

void Player::setVolume(double gain)
{
    if (std::isnan(gain))
        return;
    gain = std::clamp(gain, 0.0, SoundChoice::MaxGain);
    if (gain == m_volume)
        return;
    m_volume = gain;
    m_device.setGain(gain);
    Q_EMIT volumeChanged(gain);
}

void Player::setIndex(qint32 index)
{
    m_index = index;
}

void Player::markStopped()
{
    m_stopped = true;
    noteState();
}

void Player::deviceDone(int code)
{
    // With a playlist the status update finds a song's end; the device's
    // notices matter only for a song played outside it.
    if (m_playlist.isEmpty()) {
        if (code == SequencerDevice::NotifySuccessful)
            play();
        else if (code == SequencerDevice::NotifyAborted)
            statusUpdate();
    }
    noteState();
}

void Player::statusUpdate()
{
    Q_EMIT positionChanged(positionMs());
    if (!m_stopped && !m_device.isOpening()) {
        // The next song once this one has played to its end and its last
        // notes have rung out (the device raises a status update the moment
        // they have; meanwhile the position holds the length), or at once
        // when it has no length. With a playlist the advance happens here,
        // not on the device's end-of-song notice.
        const qint32 length = lengthMs();
        if (length == 0 || (positionMs() >= length && !m_device.isRingingOut()))
            advance();
    }
    noteState();
}
