// The media player on the session bus; see MprisService.h.
#include "mpris/MprisService.h"

#include "engine/SequencerDevice.h"
#include "mpris/MprisAdaptors.h"
#include "player/Player.h"
#include "playlist/FileTitle.h"
#include "playlist/PlaylistModel.h"
#include "ui/frmMain.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTimer>
#include <QUrl>
#include <cstdio>

namespace {

const QString ServiceName = QStringLiteral("org.mpris.MediaPlayer2.sonabel");
const QString ObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString PlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString NoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// Image indexes of the transport row.
enum Transport { Previous = 0, Play = 1, Pause = 2, Stop = 3, Next = 4 };

} // namespace

MprisRootAdaptor::MprisRootAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service)
{}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService *service)
    : QDBusAbstractAdaptor(service), m_service(service)
{
    connect(service, &MprisService::seeked, this, &MprisPlayerAdaptor::Seeked);
}

MprisService::MprisService(frmMain &window, QObject *parent) : QObject(parent), m_window(window)
{
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    // After the window's own handlers, which were connected first.
    connect(window.MCI, &SequencerDevice::StatusUpdate, this, &MprisService::refresh);
    connect(window.MCI, &SequencerDevice::Done, this, &MprisService::refresh);
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
    if (m_window.player.isStopped())
        return QStringLiteral("Stopped");
    return m_window.MCI->isPaused() ? QStringLiteral("Paused") : QStringLiteral("Playing");
}

QString MprisService::trackId() const
{
    if (m_window.player.file().isEmpty())
        return NoTrack;
    return QStringLiteral("/org/sonabel/track/") +
           QString::number(qMax(m_window.player.index(), 0));
}

QVariantMap MprisService::metadata() const
{
    QVariantMap map;
    map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(trackId())));
    if (m_window.player.file().isEmpty())
        return map;
    const qint32 length = m_window.player.isStopped() ? 0 : m_window.MCI->Length();
    if (length > 0)
        map.insert(QStringLiteral("mpris:length"), qlonglong(length) * 1000);
    map.insert(QStringLiteral("xesam:title"), FileTitle(m_window.player.file()));
    map.insert(QStringLiteral("xesam:url"), QUrl::fromLocalFile(m_window.player.file()).toString());
    return map;
}

qlonglong MprisService::positionUs() const
{
    return m_window.player.isStopped() ? 0 : qlonglong(m_window.MCI->Position()) * 1000;
}

bool MprisService::canGoNext() const
{
    return !m_window.lstPlay.isEmpty();
}

bool MprisService::canPlay() const
{
    return !m_window.lstPlay.isEmpty() || !m_window.player.file().isEmpty();
}

bool MprisService::canPause() const
{
    return !m_window.player.isStopped();
}

bool MprisService::canSeek() const
{
    return !m_window.player.isStopped() && m_window.MCI->Length() > 0;
}

// ---- what is done: each as the window's own control does it ----

void MprisService::raise()
{
    if (m_window.mnuShade->isChecked())
        m_window.mnuShade_Click();
    if (m_window.isMinimized())
        m_window.showNormal();
    m_window.show();
    m_window.raise();
    m_window.activateWindow();
}

void MprisService::quit()
{
    // After the reply has gone: "Close player" ends the program.
    QTimer::singleShot(0, &m_window, &frmMain::mnuClose_Click);
}

void MprisService::play()
{
    if (m_window.player.isStopped())
        m_window.imgControls_Click(Play);
    else if (m_window.MCI->isPaused())
        m_window.imgControls_Click(Pause); // the pause image resumes
    refresh();
}

void MprisService::pause()
{
    if (!m_window.player.isStopped() && !m_window.MCI->isPaused())
        m_window.imgControls_Click(Pause);
    refresh();
}

void MprisService::playPause()
{
    m_window.imgControls_Click(m_window.player.isStopped() ? Play : Pause);
    refresh();
}

void MprisService::stop()
{
    m_window.imgControls_Click(Stop);
    refresh();
}

void MprisService::next()
{
    m_window.imgControls_Click(Next);
    refresh();
}

void MprisService::previous()
{
    // As the image: the first press starts the song again, a second one within
    // half a second goes back a song.
    m_window.imgControls_Click(Previous);
    if (!m_window.player.isStopped())
        Q_EMIT seeked(positionUs());
    refresh();
}

void MprisService::jumpTo(qint64 ms)
{
    // As a release on the bar: play from there.
    m_window.MCI->setFrom(static_cast<qint32>(ms));
    m_window.MCI->Command(QStringLiteral("Play"));
    Q_EMIT seeked(ms * 1000);
    refresh();
}

void MprisService::seek(qlonglong offsetUs)
{
    if (m_window.player.isStopped())
        return;
    const qint64 length = m_window.MCI->Length();
    const qint64 target = qint64(m_window.MCI->Position()) + offsetUs / 1000;
    if (target > length) {
        next();
        return;
    }
    jumpTo(qMax<qint64>(target, 0));
}

void MprisService::setPosition(const QString &track, qlonglong positionUs)
{
    if (m_window.player.isStopped() || track != trackId() || positionUs < 0 ||
        positionUs > qlonglong(m_window.MCI->Length()) * 1000)
        return;
    jumpTo(positionUs / 1000);
}

void MprisService::openUri(const QString &uri)
{
    const QUrl url(uri);
    if (!url.isLocalFile())
        return;
    // As a file dropped on the window: added, or played at once, by the option.
    m_window.UpdateOLE(QStringList{url.toLocalFile()}, false);
    refresh();
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
