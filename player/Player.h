// The one object that owns playback: which entry of the playlist is the
// current song, whether the player is stopped, opening, playing or paused,
// the reset played before a song, the position and the volume. The window's
// handlers, its keys, the media bus and the start-up path ask it and call it;
// it says what changed through its signals. It holds no widget.
//
// The transport keeps the player's design: choosing song k is "index k - 1,
// then advance"; the play action opens and plays file() only while stopped;
// a song that fails to open is skipped by the next status update; with an
// empty playlist the device's own end-of-song notice restarts a song that was
// played outside the playlist.
//
// Threads: the window's. The device raises its events here as queued events,
// so no handler runs inside another one's command.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <memory>

class Lyrics;
class PlaylistModel;
class SequencerDevice;

class Player : public QObject
{
    Q_OBJECT
public:
    enum class State { Stopped, Opening, Playing, Paused };
    Q_ENUM(State)

    // The device is driven only through its commands; the playlist is read.
    Player(SequencerDevice &device, const PlaylistModel &playlist, QObject *parent = nullptr);

    // ---- what plays ----
    State state() const;
    // The play action must open and start file() anew. True at the start,
    // after Stop and from the start of every advance until the song is sent
    // to the device; an advance that finds the playlist empty leaves it true
    // while whatever sounds goes on.
    bool isStopped() const { return m_stopped; }
    // The current entry of the playlist; -1 before the first and while a
    // file plays outside the playlist.
    qint32 index() const { return m_index; }
    // The song the play action opens: the current entry's path, or a file
    // played outside the playlist.
    QString file() const { return m_file; }
    // Counts the songs started: every start (a restart of the same entry
    // too) has a number of its own.
    quint64 songNumber() const { return m_songNumber; }
    qint32 lengthMs() const;
    qint32 positionMs() const;
    // How many entries the playlist has.
    int entryCount() const;
    // The synthesizer's gain, 0 to SoundChoice::MaxGain (the Sound dialog's
    // volume, and the bus's).
    double volume() const { return m_volume; }
    // The words of the open song: empty while nothing is open or it is still
    // opening. Never null; immutable, so safe to keep.
    std::shared_ptr<const Lyrics> lyrics() const;

    // The reset played before each song an advance starts and before a file
    // played at once: mode 0 none (the file is kept, not played), 1 General
    // MIDI, 2 Roland GS, each with its file.
    void setReset(int mode, const QString &file);
    int resetMode() const { return m_resetMode; }
    QString resetFile() const { return m_resetFile; }

    // ---- the transport ----
    // The next entry, wrapping round to the first; an index before the first
    // entry gives no file, which the next status update skips. With an empty
    // playlist it only stops: what sounds goes on.
    void advance();
    // Entry k of the playlist (the current one restarts).
    void playEntry(qint32 k);
    // The playlist from its first entry; with an empty playlist what sounds
    // goes on and counts as playing.
    void playFromStart();
    // A file outside the playlist, at once, after the reset.
    void playFile(const QString &path);
    // While stopped: opens and plays file(). Otherwise nothing.
    void play();
    // Pauses; on a paused song it resumes.
    void pause();
    void stop();
    // The first press restarts the song and opens a 500 ms window; a press
    // within the window goes back one song, and keeps the window open.
    void previous();
    // Back one song; from the first one the advance wraps round to it again.
    void back();
    // Plays the current song from ms (the device keeps it within the song).
    // Raises seeked() unless stopped.
    void seek(qint64 ms);
    // Plays from deltaMs on or back, kept within the song; nothing while
    // stopped or while the song has no length (the seek keys).
    void seekBy(qint32 deltaMs);
    // The sound follows at once, the output staying open; clamped to 0 to
    // SoundChoice::MaxGain. Raises volumeChanged() when it changed.
    void setVolume(double gain);

    // ---- the playlist changed around the current song ----
    // The current song's entry moved to index (or went: -1).
    void setIndex(qint32 index);
    // Stops without touching the device: the play action opens file() anew.
    void markStopped();

    // ---- the device's events (connected to the device; tests call them) ----
    // A notifying play ended with a device notify code (SequencerDevice::NotifyCode).
    void deviceDone(int code);
    // Once a second, and the moment a song's ring-out ends: positionChanged(),
    // then the next song once this one has played to its end and its last
    // notes have died away, or has no length (it failed to open). A song
    // still opening is waited for.
    void statusUpdate();

Q_SIGNALS:
    void stateChanged(Player::State state);
    // A song was started: index(), file() and songNumber() are the new ones.
    void trackChanged();
    // Once a second, whatever the state.
    void positionChanged(qint32 ms);
    // The song was moved to ms by a seek or a restart.
    void seeked(qint32 ms);
    void volumeChanged(double gain);

private:
    // Opens and plays file(), after the reset when withReset.
    void openAndPlay(bool withReset);
    // Raises stateChanged when the state differs from the one last told
    // (also when the device has opened a song).
    void noteState();

    SequencerDevice &m_device;
    const PlaylistModel &m_playlist;
    bool m_stopped = true;
    qint32 m_index = -1;
    QString m_file;
    int m_resetMode = 0;
    QString m_resetFile;
    quint64 m_songNumber = 0;
    double m_volume;
    State m_told = State::Stopped;
    QTimer m_previousWindow;
};
