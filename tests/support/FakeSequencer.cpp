// A scripted sequencer device for tests.
#include "support/FakeSequencer.h"

void FakeSequencer::finish()
{
    if (!m_open)
        return;
    m_position = m_length;
    m_playing = false;
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
    if (m_notifyPending) {
        m_notifyPending = false;
        postDone(code);
    }
}

void FakeSequencer::open(const QString &fileName)
{
    log.append(QStringLiteral("Open ") + fileName);
    if (m_open)
        return;
    const auto it = m_lengths.constFind(fileName);
    if (it == m_lengths.constEnd())
        return;
    m_open = true;
    m_file = fileName;
    m_length = *it;
    m_position = 0;
    m_playing = m_paused = false;
}

void FakeSequencer::play(std::optional<qint32> from, bool wait, bool notify)
{
    if (wait)
        log.append(QStringLiteral("Play wait"));
    else if (from)
        log.append(QStringLiteral("Play from %1").arg(*from));
    else
        log.append(QStringLiteral("Play"));
    if (!m_open)
        return;
    endPendingPlay(NotifySuperseded);
    if (from)
        m_position = std::clamp(*from, 0, m_length);
    if (wait) {
        m_position = m_length;
        m_playing = m_paused = false;
        if (notify)
            postDone(NotifySuccessful);
        return;
    }
    m_playing = true;
    m_paused = false;
    m_notifyPending = notify;
}

void FakeSequencer::pause(bool notify)
{
    if (!m_open) {
        log.append(QStringLiteral("Pause"));
        return;
    }
    if (m_paused) {
        log.append(QStringLiteral("Resume"));
        m_paused = false;
        m_playing = true;
        m_notifyPending = notify;
    } else if (m_playing) {
        log.append(QStringLiteral("Pause"));
        m_paused = true;
        m_playing = false;
        endPendingPlay(NotifyAborted);
    } else {
        log.append(QStringLiteral("Pause"));
    }
}

void FakeSequencer::stop()
{
    log.append(QStringLiteral("Stop"));
    if (!m_open)
        return;
    m_playing = m_paused = false;
    m_position = 0;
    endPendingPlay(NotifyAborted);
}

void FakeSequencer::close()
{
    log.append(QStringLiteral("Close"));
    if (!m_open)
        return;
    endPendingPlay(NotifyAborted);
    m_open = false;
    m_playing = m_paused = false;
    m_file.clear();
    m_length = m_position = 0;
}
