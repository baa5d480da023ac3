// Command dispatch and queued events shared by every sequencer device.
#include "engine/SequencerDevice.h"

#include <QMetaObject>
#include <utility>

SequencerDevice::SequencerDevice(QObject *parent) : QObject(parent)
{}

SequencerDevice::~SequencerDevice() = default;

std::shared_ptr<const Lyrics> SequencerDevice::lyrics() const
{
    static const auto none = std::make_shared<const Lyrics>();
    return none;
}

void SequencerDevice::Command(const QString &command)
{
    // From belongs to the command that follows it, whatever that command is.
    const std::optional<qint32> from = m_from;
    m_from.reset();

    if (command.compare(QLatin1String("Open"), Qt::CaseInsensitive) == 0) {
        // The prelude belongs to this "Open" only.
        open(m_fileName, std::exchange(m_prelude, QString()));
    } else if (command.compare(QLatin1String("Play"), Qt::CaseInsensitive) == 0) {
        play(from, m_wait, m_notify);
    } else if (command.compare(QLatin1String("Pause"), Qt::CaseInsensitive) == 0) {
        pause(m_notify);
    } else if (command.compare(QLatin1String("Stop"), Qt::CaseInsensitive) == 0) {
        stop();
    } else if (command.compare(QLatin1String("Close"), Qt::CaseInsensitive) == 0) {
        close();
    }
}

void SequencerDevice::postDone(int code)
{
    QMetaObject::invokeMethod(
        this, [this, code] { Q_EMIT Done(code); }, Qt::QueuedConnection);
}

void SequencerDevice::postStatusUpdate()
{
    QMetaObject::invokeMethod(
        this, [this] { Q_EMIT StatusUpdate(); }, Qt::QueuedConnection);
}
