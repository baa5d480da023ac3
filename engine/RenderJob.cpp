// Saving one song as an audio file; see RenderJob.h.
#include "engine/RenderJob.h"

#include "engine/AudioFile.h"
#include "engine/MidiFile.h"
#include "engine/SongRenderer.h"
#include "engine/Timeline.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path localPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString fileProblem(const QString &path, const std::string &problem)
{
    return path + QStringLiteral(": ") + QString::fromStdString(problem);
}

// What a reset file leaves set: its SysEx and channel messages, in order,
// without its notes and its time.
bool readReset(const QString &path, std::vector<std::vector<std::uint8_t>> &messages,
               QString &error)
{
    const MidiFile file = MidiFile::load(localPath(path));
    if (!file.ok()) {
        error = fileProblem(path, file.error());
        return false;
    }
    const auto timeline = Timeline::build(file);
    for (const TimedEvent &e : timeline->events()) {
        if (e.eventClass == TimedEvent::SysEx) {
            const auto message = timeline->sysEx(e);
            messages.emplace_back(message.begin(), message.end());
        } else if (e.eventClass == TimedEvent::Control) {
            messages.push_back({e.status, e.data1, e.data2});
        }
    }
    return true;
}

// Passes the render's progress on a few times a second, with the time left
// at the pace since the first report (the SoundFont has loaded by then).
class ProgressClock
{
public:
    explicit ProgressClock(const RenderJob::ProgressCallback &callback) : m_callback(callback) {}

    void report(double fraction)
    {
        if (!m_callback)
            return;
        const Clock::time_point now = Clock::now();
        if (!m_started) {
            m_started = true;
            m_start = now;
            m_startFraction = fraction;
        } else if (now - m_last < Interval) {
            return;
        }
        m_last = now;
        const double seconds = std::chrono::duration<double>(now - m_start).count();
        const double done = fraction - m_startFraction;
        RenderJob::Progress p;
        p.fraction = fraction;
        if (seconds >= 0.5 && done > 0.005)
            p.secondsLeft = seconds * (1.0 - fraction) / done;
        m_callback(p);
    }

private:
    static constexpr std::chrono::milliseconds Interval{100};

    const RenderJob::ProgressCallback &m_callback;
    bool m_started = false;
    Clock::time_point m_start, m_last;
    double m_startFraction = 0;
};

} // namespace

RenderJob::RenderJob(RenderRequest request) : m_request(std::move(request))
{}

RenderJob::Outcome RenderJob::run(const ProgressCallback &progress)
{
    try {
        return save(progress);
    } catch (const std::bad_alloc &) {
        return fail(m_request.output + QStringLiteral(": ") +
                    QCoreApplication::translate("RenderJob", "out of memory"));
    } catch (const std::exception &e) {
        return fail(fileProblem(m_request.output, e.what()));
    } catch (...) {
        return fail(m_request.output + QStringLiteral(": ") +
                    QCoreApplication::translate("RenderJob", "the render failed"));
    }
}

RenderJob::Outcome RenderJob::save(const ProgressCallback &progress)
{
    const RenderRequest &r = m_request;
    if (progress)
        progress({});
    if (!audioFormatFor(r.output))
        return fail(
            r.output + QStringLiteral(": ") +
            QCoreApplication::translate("AudioFile", "the name must end in .flac, .ogg or .wav"));
    const MidiFile file = MidiFile::load(localPath(r.song));
    if (!file.ok())
        return fail(fileProblem(r.song, file.error()));
    const auto timeline = Timeline::build(file);

    RenderSettings settings;
    settings.soundFont = QFile::encodeName(r.sound.soundFont).toStdString();
    settings.rate = r.rate;
    settings.jobs = r.jobs > 0 ? r.jobs : int(std::max(1u, std::thread::hardware_concurrency()));
    settings.gain = r.sound.gain;
    settings.reverb = r.sound.reverb;
    settings.chorus = r.sound.chorus;
    settings.tailSeconds = r.tailSeconds;
    QString error;
    if (!r.resetFile.isEmpty() && !readReset(r.resetFile, settings.reset, error))
        return fail(error);
    settings.reset.insert(settings.reset.end(), r.resetMessages.begin(), r.resetMessages.end());
    if (m_cancel)
        return Outcome::Cancelled;

    AudioFileWriter writer;
    if (!writer.open(r.output, r.rate, r.title))
        return fail(writer.error());
    ProgressClock clock(progress);
    RenderControl control;
    control.cancel = &m_cancel;
    control.progress = [&clock](double fraction) {
        clock.report(fraction);
    };
    const std::string problem = renderSong(
        file, *timeline, settings,
        [&writer](const float *frames, std::int64_t count) { return writer.write(frames, count); },
        control);
    if (!problem.empty()) {
        writer.discard();
        return fail(fileProblem(r.output, problem));
    }
    if (m_cancel) {
        writer.discard();
        return Outcome::Cancelled;
    }
    if (!writer.commit())
        return fail(writer.error());
    if (progress)
        progress({1.0, 0.0});
    return Outcome::Saved;
}

RenderJob::Outcome RenderJob::fail(const QString &why)
{
    m_error = why;
    return Outcome::Failed;
}
