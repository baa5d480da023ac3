// The real sequencer device; the thread model is in MidiSequencer.h.
#include "engine/MidiSequencer.h"

#include "engine/DeviceFactory.h"
#include "engine/MidiFile.h"
#include "engine/Timeline.h"

#include <QFile>
#include <algorithm>
#include <limits>

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

} // namespace

MidiSequencer::MidiSequencer(std::shared_ptr<MidiOutput> output, std::shared_ptr<Clock> clock,
                             QObject *parent)
    : SequencerDevice(parent),
      m_probe(std::make_shared<std::function<void(std::int64_t, std::int64_t)>>()),
      m_output(std::move(output)), m_clock(std::move(clock))
{
    m_scheduler = makeScheduler();
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
    return m_scheduler->mode() == Scheduler::Mode::Paused;
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
    // The old scheduler silences what sounds and closes its output; it raises
    // no Done, so a notified play carries over to the new one.
    Scheduler::retire(std::move(m_scheduler), RetireMs);
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

void MidiSequencer::open(const QString &fileName)
{
    const MidiFile file =
        MidiFile::load(std::filesystem::path(QFile::encodeName(fileName).toStdString()));
    if (!file.ok()) {
        m_error = QString::fromStdString(file.error());
        m_song.reset();
        m_lyrics.reset();
        m_scheduler->load(nullptr);
        return;
    }
    m_error.clear();
    m_song = Timeline::build(file);
    m_lyrics = std::make_shared<const Lyrics>(Lyrics::read(file, m_song->tempoMap()));
    m_scheduler->load(m_song);
}

void MidiSequencer::play(std::optional<qint32> from, bool wait, bool notify)
{
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
    if (m_scheduler->mode() == Scheduler::Mode::Paused)
        m_scheduler->play(std::nullopt, notify);
    else
        m_scheduler->pause();
}

void MidiSequencer::stop()
{
    m_scheduler->stop();
}

void MidiSequencer::close()
{
    m_song.reset();
    m_lyrics.reset();
    if (m_scheduler->mode() != Scheduler::Mode::Closed)
        m_scheduler->load(nullptr);
}
