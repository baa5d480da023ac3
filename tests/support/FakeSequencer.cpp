// A scripted sequencer device for tests.
#include "support/FakeSequencer.h"

void FakeSequencer::finish()
{
    m_position = Length();
    m_state = Idle;
    endPendingPlay(NotifySuccessful);
}

QStringList FakeSequencer::opened() const
{
    QStringList files;
    for (const QString &entry : log) {
        if (entry.startsWith(QLatin1String("Open ")))
            files.append(entry.mid(5));
    }
    return files;
}

void FakeSequencer::endPendingPlay(int code)
{
    if (m_notifyPending)
        postDone(code);
    m_notifyPending = false;
}

void FakeSequencer::open(const QString &fileName)
{
    log.append(QStringLiteral("Open ") + fileName);
    if (m_file.isEmpty() && m_lengths.contains(fileName)) {
        m_file = fileName;
        m_position = 0;
        m_state = Idle;
    }
}

void FakeSequencer::play(std::optional<qint32> from, bool wait, bool notify)
{
    log.append(wait   ? QStringLiteral("Play wait")
               : from ? QStringLiteral("Play from %1").arg(*from)
                      : QStringLiteral("Play"));
    if (m_file.isEmpty())
        return;
    endPendingPlay(NotifySuperseded);
    if (from)
        m_position = std::clamp(*from, 0, Length());
    m_state = Playing;
    m_notifyPending = notify;
    if (wait)
        finish();
}

void FakeSequencer::pause(bool notify)
{
    log.append(m_state == Paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    if (m_state == Paused) {
        m_state = Playing;
        m_notifyPending = notify;
    } else if (m_state == Playing) {
        m_state = Paused;
        endPendingPlay(NotifyAborted);
    }
}

void FakeSequencer::stop()
{
    log.append(QStringLiteral("Stop"));
    m_state = Idle;
    m_position = 0;
    endPendingPlay(NotifyAborted);
}

void FakeSequencer::close()
{
    log.append(QStringLiteral("Close"));
    endPendingPlay(NotifyAborted);
    m_file.clear();
    m_state = Idle;
}
