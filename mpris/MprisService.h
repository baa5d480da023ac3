// The player on the session bus as org.mpris.MediaPlayer2.sonabel, so media
// keys and the desktop's player widgets reach it: the MediaPlayer2 and
// MediaPlayer2.Player interfaces at /org/mpris/MediaPlayer2.
//
// It calls and observes the Player only, with the transport's own rules (a
// seek past the song's end goes to the next song, Previous restarts first).
// What the bus asks of the window (Raise, Quit, OpenUri) it only asks for,
// through signals that the program wires to the window. Changes are announced
// with PropertiesChanged when the Player says something changed, and every
// seek the Player makes (the window's bar and keys too) with Seeked.
//
// Threads: the window's. Qt D-Bus delivers calls to this object's thread.
#pragma once

#include <QObject>
#include <QVariantMap>
#include <memory>

class Lyrics;
class Player;

class MprisService : public QObject
{
    Q_OBJECT
public:
    explicit MprisService(Player &player, QObject *parent = nullptr);
    ~MprisService() override;

    // Registers on the session bus. Without a bus (or when the name is taken)
    // the player runs on without it, after one line on stderr; false then.
    bool start();

    // ---- what the adaptors ask and do ----
    QString playbackStatus() const;
    QVariantMap metadata() const;
    qlonglong positionUs() const;
    bool canGoNext() const;
    bool canPlay() const;
    bool canPause() const;
    bool canSeek() const;
    // The Sound dialog's volume, 0 to 1 for its slider's range (the gain up
    // to SoundChoice::MaxGain); what is set is kept within it.
    double volume() const;
    void setVolume(double volume);

    // Asked of the window (raiseRequested, quitRequested).
    void raise();
    void quit();
    void play();
    void pause();
    void playPause();
    void stop();
    void next();
    void previous();
    void seek(qlonglong offsetUs);
    void setPosition(const QString &trackId, qlonglong positionUs);
    void openUri(const QString &uri);

    // Sends PropertiesChanged for what differs from the last time.
    void refresh();

Q_SIGNALS:
    void seeked(qlonglong positionUs);
    // What the bus asks of the window.
    void raiseRequested();
    void quitRequested();
    void openRequested(const QString &path);

private:
    QString trackId() const;
    QVariantMap snapshot() const;
    // The whole words of the song, lines separated by newlines; empty when
    // it has none.
    QString lyricsText() const;

    Player &m_player;
    QVariantMap m_last;
    bool m_registered = false;
    mutable std::shared_ptr<const Lyrics> m_lyrics; // whose text m_lyricsText is
    mutable QString m_lyricsText;
};
