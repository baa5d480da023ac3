// The real sequencer device; the thread model is in MidiSequencer.h.
#include "engine/MidiSequencer.h"

#include "engine/DeviceFactory.h"
#include "engine/Timeline.h"

#include <QFile>
#include <algorithm>
#include <limits>
#include <utility>

namespace {

// How long the window waits beyond a song's end for a play with Wait, for a
// playback thread to end, and for a new output to open (so that its status is
// known): bounds for an output stuck in a sound server that never answers.
constexpr std::int64_t WaitSlackMs = 1000;
constexpr std::int64_t RetireMs = 1000;
constexpr std::int64_t OpenWaitMs = 2000;

qint32 toMs(std::int64_t us)
{
    return qint32(std::min<std::int64_t>((us + 500) / 1000, std::numeric_limits<qint32>::max()));
}

std::filesystem::path localPath(const QString &fileName)
{
    return std::filesystem::path(QFile::encodeName(fileName).toStdString());
}

} // namespace

MidiSequencer::MidiSequencer(std::shared_ptr<MidiOutput> output, std::shared_ptr<Clock> clock,
                             QObject *parent)
    : SequencerDevice(parent),
      m_probe(std::make_shared<std::function<void(std::int64_t, std::int64_t)>>()),
      m_output(std::move(output)), m_clock(std::move(clock))
{
    m_scheduler = makeScheduler();
    // Read songs come back as queued events; none once this device is gone
    // (the opener's destructor waits for a delivery in progress).
    m_opener = std::make_unique<SongOpener>([this](SongOpener::Result result) {
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { songRead(result); }, Qt::QueuedConnection);
    });
}

std::unique_ptr<Scheduler> MidiSequencer::makeScheduler()
{
    Scheduler::Callbacks callbacks;
    callbacks.done = [this](int code) {
        postDone(code);
    };
    callbacks.status = [this] {
        postStatusUpdate();
    };
    // The probe is fixed before any song plays (setDispatchProbe), so reading it
    // on the playback thread needs no lock.
    callbacks.dispatched = [probe = m_probe](std::int64_t due, std::int64_t sent) {
        if (*probe)
            (*probe)(due, sent);
    };
    // What the output found while opening reaches the window as queued events;
    // they are dropped when this device is gone by then.
    callbacks.opened = [this, output = m_output] {
        for (const std::string &problem : output->problems()) {
            const QString text = QString::fromStdString(problem);
            QMetaObject::invokeMethod(
                this, [this, text] { Q_EMIT SoundProblem(text); }, Qt::QueuedConnection);
        }
    };
    return std::make_unique<Scheduler>(m_output, m_clock, callbacks);
}

MidiSequencer::~MidiSequencer()
{
    // A song still being read is left to the worker, which drops it.
    m_opener.reset();
    // Bounded: an output stuck in a sound server that never answers must not
    // keep the program from ending.
    Scheduler::retire(std::move(m_scheduler), RetireMs);
}

void MidiSequencer::setDispatchProbe(std::function<void(std::int64_t, std::int64_t)> probe)
{
    *m_probe = std::move(probe);
}

qint32 MidiSequencer::Length() const
{
    return toMs(m_scheduler->lengthUs());
}

qint32 MidiSequencer::Position() const
{
    return toMs(m_scheduler->positionUs());
}

bool MidiSequencer::isPaused() const
{
    if (m_opening != 0)
        return m_pending.play && m_pending.paused;
    return m_scheduler->mode() == Scheduler::Mode::Paused;
}

bool MidiSequencer::isRingingOut() const
{
    return m_scheduler->ringingOut();
}

QString MidiSequencer::outputDescription() const
{
    return QString::fromStdString(m_output->status());
}

void MidiSequencer::setSound(const SoundChoice &choice)
{
    replaceOutput(makeOutput(choice));
}

void MidiSequencer::replaceOutput(std::shared_ptr<MidiOutput> output)
{
    const Scheduler::Mode mode = m_scheduler->mode();
    const std::int64_t at = m_scheduler->positionUs();
    const bool notify = m_scheduler->notifyPending();
    const bool ringing = m_scheduler->ringingOut();
    // The old scheduler silences what sounds and closes its output; it raises
    // no Done, so a notified play carries over to the new one, and one whose
    // song was ringing out ends here, its last notes cut.
    Scheduler::retire(std::move(m_scheduler), RetireMs);
    if (ringing) {
        if (notify)
            postDone(NotifySuccessful);
        postStatusUpdate();
    }
    m_output = std::move(output);
    m_scheduler = makeScheduler();
    m_scheduler->waitOutputOpen(OpenWaitMs);
    if (mode == Scheduler::Mode::Closed || !m_song)
        return;
    m_scheduler->load(m_song);
    if (mode == Scheduler::Mode::Playing)
        m_scheduler->play(at, notify);
    else
        m_scheduler->cue(at, mode == Scheduler::Mode::Paused);
}

std::shared_ptr<const Lyrics> MidiSequencer::lyrics() const
{
    return m_lyrics ? m_lyrics : SequencerDevice::lyrics();
}

QString MidiSequencer::outputStatus() const
{
    return QString::fromStdString(m_scheduler->status());
}

void MidiSequencer::open(const QString &fileName, const QString &prelude)
{
    close();
    m_error.clear();
    m_opening = m_opener->request(localPath(fileName),
                                  prelude.isEmpty() ? std::filesystem::path() : localPath(prelude));
}

void MidiSequencer::songRead(const SongOpener::Result &result)
{
    if (result.id == 0 || result.id != m_opening)
        return; // cancelled, or taken already by a waiting "Play"
    m_opening = 0;
    const Pending pending = std::exchange(m_pending, Pending());
    const bool ok = result.song != nullptr;
    if (ok) {
        m_song = result.song;
        m_lyrics = result.lyrics;
        m_scheduler->load(m_song, result.prelude);
    } else {
        m_error = QString::fromStdString(result.error);
    }
    if (pending.play && pending.paused) {
        if (ok)
            m_scheduler->cue(std::int64_t(std::max<qint32>(0, pending.from.value_or(0))) * 1000,
                             true);
    } else if (pending.play) {
        play(pending.from, false, pending.notify); // with nothing open: Done 8
    }
    QMetaObject::invokeMethod(
        this, [this, ok] { Q_EMIT Opened(ok); }, Qt::QueuedConnection);
}

void MidiSequencer::endPending(int code)
{
    if (m_pending.notify)
        postDone(code);
    m_pending.notify = false;
}

void MidiSequencer::play(std::optional<qint32> from, bool wait, bool notify)
{
    if (m_opening != 0 && wait) {
        // Waits for the file, then plays it to its end below.
        if (std::optional<SongOpener::Result> result = m_opener->waitFor(m_opening))
            songRead(*result);
    }
    if (m_opening != 0) {
        // Starts once the file is open; a From given earlier still holds.
        endPending(NotifySuperseded);
        m_pending.play = true;
        m_pending.paused = false;
        m_pending.notify = notify;
        if (from)
            m_pending.from = from;
        return;
    }
    std::optional<std::int64_t> fromUs;
    if (from)
        fromUs = std::int64_t(std::max<qint32>(0, *from)) * 1000;
    const std::uint64_t id = m_scheduler->play(fromUs, notify);
    if (wait && id != 0) {
        // As long as the song has left to play, and a little more: a playback
        // thread stuck in its output must not hold the window for good.
        const std::int64_t leftUs =
            m_scheduler->lengthUs() - fromUs.value_or(m_scheduler->positionUs());
        m_scheduler->waitFinished(id, std::max<std::int64_t>(leftUs, 0) / 1000 + WaitSlackMs);
    }
}

void MidiSequencer::pause(bool notify)
{
    if (m_opening != 0) {
        if (!m_pending.play)
            return;
        if (m_pending.paused) { // resumes: a play again for Notify
            m_pending.paused = false;
            m_pending.notify = notify;
        } else {
            endPending(NotifyAborted);
            m_pending.paused = true;
        }
        return;
    }
    if (m_scheduler->mode() == Scheduler::Mode::Paused)
        m_scheduler->play(std::nullopt, notify);
    else
        m_scheduler->pause();
}

void MidiSequencer::stop()
{
    if (m_opening != 0) {
        endPending(NotifyAborted);
        m_pending = Pending();
        return;
    }
    m_scheduler->stop();
}

void MidiSequencer::close()
{
    if (m_opening != 0) {
        m_opener->cancel();
        m_opening = 0;
        endPending(NotifyAborted);
        m_pending = Pending();
    }
    m_song.reset();
    m_lyrics.reset();
    if (m_scheduler->mode() != Scheduler::Mode::Closed)
        m_scheduler->load(nullptr);
}
