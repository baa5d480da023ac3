// The player on the session bus as org.mpris.MediaPlayer2.sonabel, so media
// keys and the desktop's player widgets reach it: the MediaPlayer2 and
// MediaPlayer2.Player interfaces at /org/mpris/MediaPlayer2.
//
// Every call does what the window's own controls do (the transport images, the
// bar, "Close player", a dropped file); nothing here plays by itself. Changes
// are announced with PropertiesChanged when they are seen: after each call, and
// at each of the device's status updates and notifications.
//
// Threads: the window's. Qt D-Bus delivers calls to this object's thread.
#pragma once

#include <QObject>
#include <QVariantMap>

class frmMain;

class MprisService : public QObject
{
    Q_OBJECT
public:
    explicit MprisService(frmMain &window, QObject *parent = nullptr);
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

private:
    QString trackId() const;
    void jumpTo(qint64 ms);
    QVariantMap snapshot() const;

    frmMain &m_window;
    QVariantMap m_last;
    bool m_registered = false;
};
