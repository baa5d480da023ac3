// The media player on the session bus; see MprisService.h.
#include "mpris/MprisService.h"

#include "engine/Lyrics.h"
#include "engine/SoundChoice.h"
#include "mpris/MprisAdaptors.h"
#include "player/Player.h"
#include "playlist/FileTitle.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>
#include <cstdio>

namespace {

const QString ServiceName = QStringLiteral("org.mpris.MediaPlayer2.sonabel");
const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

} // namespace

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service)
{}

QStringList MprisRootAdaptor::SupportedMimeTypes() const
{
    return QStringLiteral(SONABEL_MIME_TYPES).split(u',', Qt::SkipEmptyParts);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service)
{
    connect(service, &MprisService::seeked, this, &MprisPlayerAdaptor::Seeked);
}

MprisService::MprisService(Player &player, QObject *parent) : QObject(parent), m_player(player)
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    connect(&m_player, &Player::stateChanged, this, &MprisService::refresh);
    connect(&m_player, &Player::trackChanged, this, &MprisService::refresh);
    connect(&m_player, &Player::volumeChanged, this, &MprisService::refresh);
    // Once a second: a song that has opened meanwhile shows its length.
    connect(&m_player, &Player::positionChanged, this, &MprisService::refresh);
    connect(&m_player, &Player::seeked, this, [this](qint32 ms) {
        Q_EMIT seeked(qlonglong(ms) * 1000);
        refresh();
    });
}

MprisService::~MprisService()
{
    if (m_registered) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(ServiceName);
        bus.unregisterObject(ObjectPath);
    }
}

bool MprisService::start()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "sonabel: no D-Bus session bus, so media keys and desktop player "
                             "widgets cannot reach the player\n");
        return false;
    }
    if (!bus.registerObject(ObjectPath, this) || !bus.registerService(ServiceName)) {
        std::fprintf(stderr,
                     "sonabel: cannot take the D-Bus name %s (%s), so media keys cannot "
                     "reach the player\n",
                     qPrintable(ServiceName), qPrintable(bus.lastError().message()));
        bus.unregisterObject(ObjectPath);
        return false;
    }
    m_registered = true;
    m_last = snapshot();
    return true;
}

// ---- what is asked ----

QString MprisService::playbackStatus() const
{
    switch (m_player.state()) {
    case Player::State::Stopped:
        return QStringLiteral("Stopped");
    case Player::State::Paused:
        return QStringLiteral("Paused");
    case Player::State::Opening:
    case Player::State::Playing:
        break;
    }
    return QStringLiteral("Playing");
}

QString MprisService::trackId() const
{
    // One id for each song started, so an id held from an earlier song (the
    // same entry too) no longer matches.
    if (m_player.file().isEmpty())
        return NoTrack;
    return QStringLiteral("/org/sonabel/track/") + QString::number(m_player.songNumber());
}

QVariantMap MprisService::metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
    if (m_player.file().isEmpty())
        return map;
    const qint32 length = m_player.isStopped() ? 0 : m_player.lengthMs();
    if (length > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(length) * 1000);
    map.insert(QStringLiteral("xesam:title"), FileTitle(m_player.file()));
    // A URI proper: absolute, and with what a URI cannot hold (blanks,
    // letters beyond ASCII) percent-encoded.
    const QString path = QFileInfo(m_player.file()).absoluteFilePath();
    map.insert(QStringLiteral("xesam:url"),
               QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded()));
    const QString words = lyricsText();
    if (!words.isEmpty())
        map.insert(QStringLiteral("xesam:asText"), words);
    return map;
}

QString MprisService::lyricsText() const
{
    // Metadata is read at every refresh, once a second: the text is made
    // once for each song's words.
    const std::shared_ptr<const Lyrics> lyrics =
        m_player.state() == Player::State::Opening ? nullptr : m_player.lyrics();
    if (lyrics != m_lyrics) {
        m_lyrics = lyrics;
        m_lyricsText = lyrics ? QString::fromStdString(lyrics->text()) : QString();
    }
    return m_lyricsText;
}

qlonglong MprisService::positionUs() const
{
    return m_player.isStopped() ? 0 : qlonglong(m_player.positionMs()) * 1000;
}

bool MprisService::canGoNext() const
{
    return m_player.entryCount() > 0;
}

bool MprisService::canPlay() const
{
    return m_player.entryCount() > 0 || !m_player.file().isEmpty();
}

bool MprisService::canPause() const
{
    return !m_player.isStopped();
}

bool MprisService::canSeek() const
{
    return !m_player.isStopped() && m_player.lengthMs() > 0;
}

double MprisService::volume() const
{
    return m_player.volume() / SoundChoice::MaxGain;
}

void MprisService::setVolume(double volume)
{
    m_player.setVolume(std::clamp(volume, 0.0, 1.0) * SoundChoice::MaxGain);
}

// ---- what is done: each by the transport's own rules ----

void MprisService::raise()
{
    Q_EMIT raiseRequested();
}

void MprisService::quit()
{
    // The window closes once control is back in its event loop, after the
    // reply has gone.
    Q_EMIT quitRequested();
}

void MprisService::play()
{
    if (m_player.isStopped())
        m_player.play();
    else if (m_player.state() == Player::State::Paused)
        m_player.pause(); // pause on a paused song resumes it
}

void MprisService::pause()
{
    if (m_player.state() == Player::State::Playing)
        m_player.pause();
}

void MprisService::playPause()
{
    if (m_player.isStopped())
        m_player.play();
    else
        m_player.pause();
}

void MprisService::stop()
{
    m_player.stop();
}

void MprisService::next()
{
    m_player.advance();
}

void MprisService::previous()
{
    // As the image: the first press starts the song again, a second one within
    // half a second goes back a song.
    m_player.previous();
}

void MprisService::seek(qlonglong offsetUs)
{
    if (m_player.isStopped())
        return;
    const qint64 target = qint64(m_player.positionMs()) + offsetUs / 1000;
    if (target > m_player.lengthMs())
        next();
    else
        m_player.seek(qMax<qint64>(target, 0));
}

void MprisService::setPosition(const QString &track, qlonglong positionUs)
{
    if (m_player.isStopped() || track != trackId() || positionUs < 0 ||
        positionUs > qlonglong(m_player.lengthMs()) * 1000)
        return;
    m_player.seek(positionUs / 1000);
}

void MprisService::openUri(const QString &uri)
{
    const QUrl url(uri);
    // As a file dropped on the window: added, or played at once, by the option.
    if (url.isLocalFile())
        Q_EMIT openRequested(url.toLocalFile());
}

// ---- what changed ----

QVariantMap MprisService::snapshot() const
{
    QVariantMap map;
    map.insert(QStringLiteral("PlaybackStatus"), playbackStatus());
    map.insert(QStringLiteral("Metadata"), metadata());
    map.insert(QStringLiteral("CanGoNext"), canGoNext());
    map.insert(QStringLiteral("CanGoPrevious"), canGoNext());
    map.insert(QStringLiteral("CanPlay"), canPlay());
    map.insert(QStringLiteral("CanPause"), canPause());
    map.insert(QStringLiteral("CanSeek"), canSeek());
    map.insert(QStringLiteral("Volume"), volume());
    return map;
}

void MprisService::refresh()
{
    if (!m_registered)
        return;
    const QVariantMap now = snapshot();
    QVariantMap changed;
    for (auto it = now.cbegin(); it != now.cend(); ++it) {
        if (m_last.value(it.key()) != it.value())
            changed.insert(it.key(), it.value());
    }
    m_last = now;
    if (changed.isEmpty())
        return;
    QDBusMessage signal =
        QDBusMessage::createSignal(ObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << PlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}
