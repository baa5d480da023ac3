// Keeps the synthesizer's output below -1 dBFS at any volume, without touching
// what stays below that: a look-ahead peak limiter on the stereo output.
//
// The volume's range goes far above what a loud song can take (at FluidSynth's
// own default volume one of the openmsx songs already peaks at +1.7 dBFS, and
// the top of the range is ten times that). Where a sample would pass the
// ceiling, the gain of both channels is lowered in a ramp that starts a
// look-ahead before it, and comes back up over 100 ms after; elsewhere the
// output is the input, delayed by the look-ahead (64 frames).
//
// Threads: one object per audio thread; not shared.
#pragma once

#include <array>
#include <cstdint>

class PeakLimiter
{
public:
    static constexpr int Lookahead = 64;     // frames
    static constexpr float Ceiling = 0.891f; // -1 dBFS

    explicit PeakLimiter(double sampleRate);

    // Limits frames of planar stereo in place; what comes out is what went in
    // Lookahead frames before.
    void process(float *left, float *right, int frames);
    // The lowest gain applied so far (1: never limited).
    float lowestGain() const { return m_lowest; }

private:
    // The look-ahead window: delayed samples and the gain each one needs; then
    // the held (released) minimum of those gains, averaged over the window.
    std::array<float, Lookahead> m_left{}, m_right{}, m_needed{}, m_held{};
    int m_at = 0;
    float m_hold = 1;             // the released minimum of the needed gains
    double m_heldSum = Lookahead; // the sum of m_held
    float m_release;              // per frame, of the way back to 1
    float m_lowest = 1;
};
