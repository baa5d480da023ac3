// The output's peak limiter; see PeakLimiter.h.
#include "engine/PeakLimiter.h"

#include <algorithm>
#include <cmath>

PeakLimiter::PeakLimiter(double sampleRate)
    : m_release(float(1 - std::exp(-1 / (0.1 * std::max(sampleRate, 1.0)))))
{
    m_needed.fill(1);
    m_held.fill(1);
}

void PeakLimiter::process(float *left, float *right, int frames)
{
    for (int i = 0; i < frames; ++i) {
        const auto at = std::size_t(m_at);
        // The sample leaving the window came in Lookahead frames ago; every
        // held gain since then was at most what it needed, and so is their
        // average: the gain ramps down across the window ahead of a peak.
        const auto gain = float(std::min(1.0, m_heldSum / Lookahead));
        m_lowest = std::min(m_lowest, gain);
        const float outLeft = m_left[at] * gain;
        const float outRight = m_right[at] * gain;
        // This sample in its place, and the gain it needs.
        const float peak = std::max(std::fabs(left[i]), std::fabs(right[i]));
        m_left[at] = left[i];
        m_right[at] = right[i];
        m_needed[at] = peak > Ceiling ? Ceiling / peak : 1.0f;
        // Down at once to what any sample in the window needs, back up slowly.
        float lowest = m_needed[at];
        if (m_hold < 1 || lowest < 1) {
            for (float n : m_needed)
                lowest = std::min(lowest, n);
        }
        m_hold = std::min(lowest, m_hold + (1 - m_hold) * m_release);
        m_heldSum += double(m_hold) - m_held[at];
        m_held[at] = m_hold;
        m_at = (m_at + 1) % Lookahead;
        left[i] = outLeft;
        right[i] = outRight;
    }
}
