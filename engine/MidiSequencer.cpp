// The real sequencer device; the thread model is in MidiSequencer.h.
#include "engine/MidiSequencer.h"

#include "engine/MidiFile.h"
#include "engine/Timeline.h"

#include <QFile>
#include <algorithm>
#include <limits>

namespace {

qint32 toMs(std::int64_t us)
{
    return qint32(std::min<std::int64_t>((us + 500) / 1000, std::numeric_limits<qint32>::max()));
}

} // namespace

MidiSequencer::MidiSequencer(std::shared_ptr<MidiOutput> output, std::shared_ptr<Clock> clock,
                             QObject *parent)
    : SequencerDevice(parent),
      m_probe(std::make_shared<std::function<void(std::int64_t, std::int64_t)>>())
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
    m_scheduler = std::make_unique<Scheduler>(std::move(output), std::move(clock), callbacks);
}

MidiSequencer::~MidiSequencer()
{
    m_scheduler.reset();
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
        m_scheduler->load(nullptr);
        return;
    }
    m_error.clear();
    m_scheduler->load(Timeline::build(file));
}

void MidiSequencer::play(std::optional<qint32> from, bool wait, bool notify)
{
    std::optional<std::int64_t> fromUs;
    if (from)
        fromUs = std::int64_t(std::max<qint32>(0, *from)) * 1000;
    const std::uint64_t id = m_scheduler->play(fromUs, notify);
    if (wait && id != 0)
        m_scheduler->waitFinished(id);
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
    if (m_scheduler->mode() != Scheduler::Mode::Closed)
        m_scheduler->load(nullptr);
}
