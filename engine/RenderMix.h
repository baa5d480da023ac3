// The meeting point of a render on several threads (SongRenderer): the workers
// add the frames of their pieces, the caller's thread takes the song's frames
// out in order, summed.
//
// Piece k adds frames from its start on, in order; a frame is final once every
// piece that starts at or before it has rendered past it or ended. Each
// piece's frames wait apart and are summed in piece order as they go out, so
// the sum does not depend on which worker was quicker.
//
// Threads: every member may be called from any thread; one mutex guards the
// pieces, and progress reports go out one at a time, outside it.
#pragma once

#include "engine/SongRenderer.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RenderMix
{
public:
    // The pieces start at the points and end at the next one (the last point
    // is the song's end). workBefore(frame) estimates the work of rendering
    // the song up to the frame, for the progress.
    RenderMix(const std::vector<std::int64_t> &points,
              std::function<double(std::int64_t)> workBefore, const RenderControl &control);

    int pieces() const { return int(m_pieces.size()); }

    // Waits while the piece is too far ahead of the first unfinished one, so
    // that the frames of pieces ahead do not pile up. False once stopped.
    bool mayStart(int piece, int workers);
    // The piece's next frames (interleaved stereo); reports the progress.
    void add(int piece, std::vector<float> interleaved);
    // The piece adds nothing more.
    void end(int piece);

    // Waits for final frames and puts at most maxFrames of them into `out`;
    // false once every piece has ended and everything went out, or once the
    // render stopped.
    bool take(std::vector<float> &out, std::int64_t maxFrames);

    // Stops the workers and the taker; the first problem given is kept.
    void stop(const std::string &problem = {});
    // Stopped, or cancelled from outside.
    bool stopped() const;
    std::string problem();

private:
    struct Piece
    {
        std::int64_t start, end; // the piece's own frames
        std::int64_t from;       // its first frame not yet handed on ...
        std::int64_t position;   // ... and the first it has not added yet
        // The frames [from, position) as added, after `skip` samples of the first.
        std::deque<std::vector<float>> pending;
        std::size_t skip;
        bool ended;
    };

    // Adds the piece's next frames to `sum` (or drops them, without one).
    static void pass(Piece &p, std::int64_t frames, float *sum);
    int firstRunning() const;
    // Frames before this are final.
    std::int64_t frontier() const;
    // The fraction of the estimated work done: the pieces' own frames rendered.
    double done() const;
    void report(double fraction);

    const std::function<double(std::int64_t)> m_workBefore;
    const RenderControl &m_control;
    std::mutex m_mutex; // guards everything below but the flag and the report
    std::condition_variable m_changed;
    std::vector<Piece> m_pieces;
    std::int64_t m_base = 0; // the first frame not yet handed on
    std::string m_problem;
    std::atomic<bool> m_stopped{false};
    std::mutex m_reportMutex; // one progress call at a time
    double m_reported = -1;
};
