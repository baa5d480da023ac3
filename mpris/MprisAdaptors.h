// The two D-Bus interfaces of the media player, as thin Qt D-Bus adaptors on
// an MprisService: org.mpris.MediaPlayer2 and org.mpris.MediaPlayer2.Player.
// Qt D-Bus exports their properties, public slots and signals as they stand.
#pragma once

#include "mpris/MprisService.h"

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QStringList>
#include <QVariantMap>

class MprisRootAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
    Q_PROPERTY(bool CanQuit READ CanQuit)
    Q_PROPERTY(bool CanRaise READ CanRaise)
    Q_PROPERTY(bool HasTrackList READ HasTrackList)
    Q_PROPERTY(QString Identity READ Identity)
    Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
    Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
    Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)
public:
    explicit MprisRootAdaptor(MprisService *service);

    bool CanQuit() const { return true; }
    bool CanRaise() const { return true; }
    bool HasTrackList() const { return false; }
    QString Identity() const { return QStringLiteral("Sonabel"); }
    QString DesktopEntry() const { return QStringLiteral("sonabel"); }
    QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
    // What the desktop entry opens (dist/sonabel.desktop).
    QStringList SupportedMimeTypes() const;

public Q_SLOTS:
    void Raise() { m_service->raise(); }
    void Quit() { m_service->quit(); }

private:
    MprisService *m_service;
};

class MprisPlayerAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
    Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
    Q_PROPERTY(QVariantMap Metadata READ Metadata)
    Q_PROPERTY(qlonglong Position READ Position)
    Q_PROPERTY(double Rate READ Rate WRITE setRate)
    Q_PROPERTY(double MinimumRate READ Rate)
    Q_PROPERTY(double MaximumRate READ Rate)
    Q_PROPERTY(double Volume READ Volume WRITE setVolume)
    Q_PROPERTY(bool CanGoNext READ CanGoNext)
    Q_PROPERTY(bool CanGoPrevious READ CanGoNext)
    Q_PROPERTY(bool CanPlay READ CanPlay)
    Q_PROPERTY(bool CanPause READ CanPause)
    Q_PROPERTY(bool CanSeek READ CanSeek)
    Q_PROPERTY(bool CanControl READ CanControl)
public:
    explicit MprisPlayerAdaptor(MprisService *service);

    QString PlaybackStatus() const { return m_service->playbackStatus(); }
    QVariantMap Metadata() const { return m_service->metadata(); }
    qlonglong Position() const { return m_service->positionUs(); }
    // Songs play at their own tempo: the rate is fixed, and writes are ignored.
    double Rate() const { return 1.0; }
    void setRate(double) {}
    double Volume() const { return m_service->volume(); }
    void setVolume(double volume) { m_service->setVolume(volume); }
    bool CanGoNext() const { return m_service->canGoNext(); }
    bool CanPlay() const { return m_service->canPlay(); }
    bool CanPause() const { return m_service->canPause(); }
    bool CanSeek() const { return m_service->canSeek(); }
    bool CanControl() const { return true; }

public Q_SLOTS:
    void Play() { m_service->play(); }
    void Pause() { m_service->pause(); }
    void PlayPause() { m_service->playPause(); }
    void Stop() { m_service->stop(); }
    void Next() { m_service->next(); }
    void Previous() { m_service->previous(); }
    void Seek(qlonglong Offset) { m_service->seek(Offset); }
    void SetPosition(const QDBusObjectPath &TrackId, qlonglong Position)
    {
        m_service->setPosition(TrackId.path(), Position);
    }
    void OpenUri(const QString &Uri) { m_service->openUri(Uri); }

Q_SIGNALS:
    void Seeked(qlonglong Position);

private:
    MprisService *m_service;
};
