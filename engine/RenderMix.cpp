// Summing the pieces of a render; see RenderMix.h.
#include "engine/RenderMix.h"

#include <algorithm>
#include <chrono>
#include <limits>

RenderMix::RenderMix(const std::vector<std::int64_t> &points,
                     std::function<double(std::int64_t)> workBefore, const RenderControl &control)
    : m_workBefore(std::move(workBefore)), m_control(control)
{
    for (std::size_t k = 0; k + 1 < points.size(); ++k)
        m_pieces.push_back({points[k], points[k + 1], points[k], points[k], {}, 0, false});
}

bool RenderMix::mayStart(int piece, int workers)
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return stopped() || piece < firstRunning() + 2 * workers; });
    return !stopped();
}

void RenderMix::add(int piece, std::vector<float> interleaved)
{
    double fraction = 0;
    {
        std::lock_guard lock(m_mutex);
        Piece &p = m_pieces[std::size_t(piece)];
        p.position += std::int64_t(interleaved.size() / 2);
        p.pending.push_back(std::move(interleaved));
        fraction = done();
        m_changed.notify_all();
    }
    report(fraction);
}

void RenderMix::end(int piece)
{
    std::lock_guard lock(m_mutex);
    m_pieces[std::size_t(piece)].ended = true;
    m_changed.notify_all();
}

bool RenderMix::take(std::vector<float> &out, std::int64_t maxFrames)
{
    std::unique_lock lock(m_mutex);
    std::int64_t final = 0;
    // A cancel comes from outside, without a notification: look every so often.
    while (!m_changed.wait_for(lock, std::chrono::milliseconds(50), [&] {
        final = frontier();
        return stopped() || final > m_base || firstRunning() == pieces();
    })) {
    }
    final = std::min(final, m_base + maxFrames);
    if (stopped() || final <= m_base)
        return false;
    out.assign(std::size_t(final - m_base) * 2, 0.0f);
    for (Piece &p : m_pieces) {
        const std::int64_t to = std::min(final, p.position);
        if (p.from < m_base) // nothing waits there, but never sum a frame twice
            pass(p, std::min(to, m_base) - p.from, nullptr);
        if (to > p.from)
            pass(p, to - p.from, out.data() + (p.from - m_base) * 2);
    }
    m_base = final;
    m_changed.notify_all();
    return true;
}

void RenderMix::stop(const std::string &problem)
{
    std::lock_guard lock(m_mutex);
    if (m_problem.empty())
        m_problem = problem;
    m_stopped = true;
    m_changed.notify_all();
}

bool RenderMix::stopped() const
{
    return m_stopped.load() || (m_control.cancel && m_control.cancel->load());
}

std::string RenderMix::problem()
{
    std::lock_guard lock(m_mutex);
    return m_problem;
}

void RenderMix::pass(Piece &p, std::int64_t frames, float *sum)
{
    auto samples = std::size_t(std::max<std::int64_t>(frames, 0)) * 2;
    p.from += std::int64_t(samples / 2);
    while (samples > 0) {
        const std::vector<float> &chunk = p.pending.front();
        const std::size_t n = std::min(samples, chunk.size() - p.skip);
        if (sum) {
            for (std::size_t i = 0; i < n; ++i)
                sum[i] += chunk[p.skip + i];
            sum += n;
        }
        samples -= n;
        p.skip += n;
        if (p.skip == chunk.size()) {
            p.pending.pop_front();
            p.skip = 0;
        }
    }
}

int RenderMix::firstRunning() const
{
    int k = 0;
    while (k < pieces() && m_pieces[std::size_t(k)].ended)
        ++k;
    return k;
}

// Every piece that has not ended has added the frames before this, or starts
// after them.
std::int64_t RenderMix::frontier() const
{
    std::int64_t final = std::numeric_limits<std::int64_t>::max();
    std::int64_t end = 0;
    for (const Piece &p : m_pieces) {
        end = std::max(end, p.position);
        if (!p.ended)
            final = std::min(final, p.position);
    }
    return final == std::numeric_limits<std::int64_t>::max() ? end : final;
}

double RenderMix::done() const
{
    const double total = m_pieces.empty() ? 0.0 : m_workBefore(m_pieces.back().end);
    if (total <= 0)
        return 1.0;
    double work = 0;
    for (const Piece &p : m_pieces)
        work += m_workBefore(std::min(p.position, p.end)) - m_workBefore(p.start);
    return std::clamp(work / total, 0.0, 1.0);
}

void RenderMix::report(double fraction)
{
    if (!m_control.progress)
        return;
    std::lock_guard lock(m_reportMutex);
    if (fraction <= m_reported)
        return;
    m_reported = fraction;
    m_control.progress(fraction);
}
