// A scripted sequencer device for tests.
#include "support/FakeSequencer.h"

#include <QMetaObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

void FakeSequencer::finish(bool ringOut)
{
    m_position = Length();
    m_state = Idle;
    m_ringing = ringOut;
    if (!ringOut)
        endPendingPlay(NotifySuccessful);
}

void FakeSequencer::endRingOut()
{
    if (!m_ringing)
        return;
    endPendingPlay(NotifySuccessful);
    postStatusUpdate();
}

QStringList FakeSequencer::opened() const
{
    QStringList files = log.filter(QRegularExpression(u"^(Open|Prelude) "_s));
    return files.replaceInStrings(QRegularExpression(u"^\\w+ "_s), QString());
}

void FakeSequencer::endPendingPlay(int code)
{
    m_ringing = false; // every command cuts a ring-out
    if (std::exchange(m_notifyPending, false))
        postDone(code);
}

void FakeSequencer::open(const QString &fileName, const QString &prelude)
{
    if (!prelude.isEmpty())
        log.append(u"Prelude "_s + prelude);
    log.append(u"Open "_s + fileName);
    endPendingPlay(NotifyAborted); // as a close, which is not a command of its own
    const bool ok = m_lengths.contains(fileName);
    m_file = ok ? fileName : QString();
    m_position = 0;
    m_state = Idle;
    QMetaObject::invokeMethod(
        this, [this, ok] { Q_EMIT Opened(ok); }, Qt::QueuedConnection);
}

void FakeSequencer::play(std::optional<qint32> from, bool wait, bool notify)
{
    log.append(wait ? u"Play wait"_s : from ? u"Play from %1"_s.arg(*from) : u"Play"_s);
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
    log.append(m_state == Paused ? u"Resume"_s : u"Pause"_s);
    if (m_state == Paused) {
        m_state = Playing;
        m_notifyPending = notify;
    } else {
        m_state = m_state == Playing ? Paused : Idle;
        endPendingPlay(NotifyAborted); // a ring-out, or nothing when idle
    }
}

void FakeSequencer::stop()
{
    log.append(u"Stop"_s);
    m_state = Idle;
    m_position = 0;
    endPendingPlay(NotifyAborted);
}

void FakeSequencer::close()
{
    log.append(u"Close"_s);
    endPendingPlay(NotifyAborted);
    m_file.clear();
    m_state = Idle;
}
