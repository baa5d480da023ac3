// Saving songs as audio files on a worker thread; see AudioSaver.h.
#include "player/AudioSaver.h"

#include "engine/AudioFile.h"

#include <QFileInfo>
#include <algorithm>

namespace {

bool refusedInName(QChar c)
{
    return c.unicode() < 0x20 || c.unicode() == 0x7f || QStringView(u"/\\:*?\"<>|").contains(c);
}

} // namespace

QString numberedAudioName(int number, int count, const QString &title)
{
    const int width = std::max(2, int(QString::number(std::max(count, number)).size()));
    const QString prefix = QStringLiteral("%1").arg(number, width, 10, QLatin1Char('0'));
    const QString extension = QStringLiteral(".flac");

    QString name = title;
    for (QChar &c : name) {
        if (refusedInName(c))
            c = u'_';
    }
    // Blanks and dots at the ends: a trailing dot vanishes on some file
    // systems, and a name ending in blanks is hard to tell apart.
    const auto trimmable = [](QChar c) {
        return c.isSpace() || c == u'.';
    };
    while (!name.isEmpty() && trimmable(name.back()))
        name.chop(1);
    while (!name.isEmpty() && trimmable(name.front()))
        name.remove(0, 1);

    constexpr qsizetype MaxNameBytes = 255;
    const qsizetype room = MaxNameBytes - (prefix.size() + 1 + extension.size());
    while (name.toUtf8().size() > room) {
        // Whole characters only: a surrogate pair goes as one.
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
        while (!name.isEmpty() && trimmable(name.back()))
            name.chop(1);
    }
    return name.isEmpty() ? prefix + extension : prefix + u' ' + name + extension;
}

QString withAudioExtension(const QString &path)
{
    return audioFormatFor(path) ? path : path + QStringLiteral(".flac");
}

AudioSaver::AudioSaver(QObject *parent) : QObject(parent)
{}

AudioSaver::~AudioSaver()
{
    cancel();
    if (m_worker.joinable())
        m_worker.join();
}

bool AudioSaver::start(std::vector<RenderRequest> requests)
{
    if (m_running || requests.empty())
        return false;
    if (m_worker.joinable())
        m_worker.join(); // ended already: it raised its last event
    m_cancel = false;
    m_running = true;
    m_worker = std::thread([this, r = std::move(requests)]() mutable { work(std::move(r)); });
    return true;
}

void AudioSaver::cancel()
{
    m_cancel = true;
    const std::lock_guard lock(m_jobLock);
    if (m_job)
        m_job->cancel();
}

// The worker thread. It only reaches the object through queued calls, which
// Qt drops once the object is gone; the destructor joins it before that.
void AudioSaver::work(std::vector<RenderRequest> requests)
{
    int saved = 0;
    RenderJob::Outcome outcome = RenderJob::Outcome::Saved;
    QString error;
    for (int i = 0; i < int(requests.size()); ++i) {
        if (m_cancel) {
            outcome = RenderJob::Outcome::Cancelled;
            break;
        }
        QMetaObject::invokeMethod(
            this, [this, i] { Q_EMIT songStarted(i); }, Qt::QueuedConnection);
        auto job = std::make_shared<RenderJob>(std::move(requests[std::size_t(i)]));
        {
            const std::lock_guard lock(m_jobLock);
            m_job = job;
        }
        // A cancel between the check above and the job's hand-over.
        if (m_cancel)
            job->cancel();
        outcome = job->run([this, i](const RenderJob::Progress &p) {
            QMetaObject::invokeMethod(
                this, [this, i, p] { Q_EMIT progressed(i, p.fraction, p.secondsLeft); },
                Qt::QueuedConnection);
        });
        {
            const std::lock_guard lock(m_jobLock);
            m_job.reset();
        }
        if (outcome != RenderJob::Outcome::Saved) {
            error = job->error();
            break;
        }
        ++saved;
    }
    QMetaObject::invokeMethod(
        this, [this, saved, outcome, error] { done(saved, outcome, error); }, Qt::QueuedConnection);
}

void AudioSaver::done(int saved, RenderJob::Outcome outcome, const QString &error)
{
    // The worker's last act was to post this: the join is immediate.
    if (m_worker.joinable())
        m_worker.join();
    m_running = false;
    Q_EMIT finished(saved, outcome, error);
}
