// Offline rendering, on one core or several; see SongRenderer.h.
#include "engine/SongRenderer.h"

#include "engine/Chase.h"
#include "engine/FluidSynthOutput.h"
#include "engine/RenderMix.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

constexpr int Block = 64; // frames FluidSynth synthesizes at a time
// The most frames the sink gets at a time: a stop never waits for more.
constexpr std::int64_t SinkFrames = 16384;

// When a live synthesizer would hear each event. FluidSynth synthesizes in
// blocks of 64 frames, and its own file player runs once before each block: it
// turns the block's start into whole milliseconds and sends every event up to
// the tick those milliseconds reach, rounded to the nearest tick and counted
// from the block where it last took a tempo change (not from the change's own
// tick). No event can sound between blocks anyway; dispatching on the same
// clock keeps a render in step with what the synthesizer plays live.
class BlockClock
{
public:
    BlockClock(const Timeline &timeline, const MidiDivision &division, int rate)
        : m_rate(rate), m_smpte(division.smpte), m_ticksPerQuarter(division.ticksPerQuarter)
    {
        if (m_smpte)
            m_msPerTick = timeline.tempoMap().microsecondsPerTick(0) / 1000.0;
        else
            setTempo(midi::DefaultTempo, 0, 0);
    }

    // The last tick due at the block that starts at the frame.
    std::int64_t dueAt(std::int64_t frame) const
    {
        return m_anchorTick +
               static_cast<std::int64_t>(double(msAt(frame) - m_anchorMs) / m_msPerTick + 0.5);
    }

    // A tempo change, sent before the block that starts at the frame.
    void setTempo(std::uint32_t usPerQuarter, std::int64_t frame, std::int64_t dueTick)
    {
        if (m_smpte || usPerQuarter == 0)
            return;
        // In single precision, as the player keeps it: a tick's length in ms.
        m_msPerTick = float(usPerQuarter) / float(std::max(1, m_ticksPerQuarter)) / 1000.0f;
        m_anchorMs = msAt(frame);
        m_anchorTick = dueTick;
    }

private:
    std::int64_t msAt(std::int64_t frame) const
    {
        return static_cast<std::int64_t>(1000.0 * double(frame) / double(m_rate));
    }

    int m_rate;
    bool m_smpte;
    int m_ticksPerQuarter;
    double m_msPerTick = 1.0;
    std::int64_t m_anchorMs = 0;
    std::int64_t m_anchorTick = 0;
};

// The events [begin, end) go out before the block that starts at the frame.
struct Step
{
    std::int64_t frame;
    std::size_t begin, end;
};

struct Schedule
{
    std::vector<Step> steps;
    std::int64_t endFrame = 0; // where the End of Track falls
};

Schedule makeSchedule(const Timeline &timeline, const MidiDivision &division, int rate)
{
    Schedule s;
    const auto &events = timeline.events();
    BlockClock clock(timeline, division, rate);
    std::int64_t frame = 0;
    std::size_t next = 0;
    // Up to the End of Track; the blocks between two due ticks in one go.
    while (next < events.size() || clock.dueAt(frame) < timeline.lengthTicks()) {
        const std::int64_t due = clock.dueAt(frame);
        const std::size_t begin = next;
        for (; next < events.size() && timeline.tickAt(next) <= due; ++next) {
            if (events[next].eventClass == TimedEvent::Tempo)
                clock.setTempo(timeline.tempoAt(next), frame, due);
        }
        if (next > begin)
            s.steps.push_back({frame, begin, next});
        const std::int64_t until =
            next < events.size() ? timeline.tickAt(next) : timeline.lengthTicks();
        std::int64_t end = frame + Block;
        while (clock.dueAt(end) < until)
            end += Block;
        frame = end;
    }
    s.endFrame = frame;
    return s;
}

// The estimated work of rendering the song up to each frame. A frame costs
// about as much as 1.6 sounding notes (two voices each); the estimate counts
// notes from note-on to note-off. The work grows linearly between two steps.
class WorkCurve
{
public:
    WorkCurve(const Timeline &timeline, const Schedule &schedule)
    {
        constexpr double CostPerNote = 0.6;
        const auto &events = timeline.events();
        std::array<std::array<std::uint8_t, 128>, 16> held{};
        int sounding = 0;
        double total = 0;
        std::int64_t last = 0;
        m_frames.push_back(0);
        m_work.push_back(0);
        for (std::size_t s = 0; s <= schedule.steps.size(); ++s) {
            const std::int64_t frame =
                s < schedule.steps.size() ? schedule.steps[s].frame : schedule.endFrame;
            total += double(frame - last) * (1.0 + CostPerNote * sounding);
            last = frame;
            m_frames.push_back(frame);
            m_work.push_back(total);
            if (s == schedule.steps.size())
                break;
            for (std::size_t i = schedule.steps[s].begin; i < schedule.steps[s].end; ++i) {
                const TimedEvent &e = events[i];
                std::uint8_t &count = held[std::size_t(e.channel())][e.data1 & 0x7F];
                if (e.eventClass == TimedEvent::NoteOn) {
                    ++count;
                    ++sounding;
                } else if ((e.eventClass == TimedEvent::NoteOff ||
                            e.eventClass == TimedEvent::LateNoteOff) &&
                           count > 0) {
                    --count;
                    --sounding;
                }
            }
        }
    }

    double total() const { return m_work.back(); }

    // The work of the frames before this one.
    double at(std::int64_t frame) const
    {
        const auto i = std::size_t(std::upper_bound(m_frames.begin(), m_frames.end(), frame) -
                                   m_frames.begin());
        if (i >= m_frames.size())
            return total();
        const std::int64_t span = m_frames[i] - m_frames[i - 1];
        return m_work[i - 1] + (span > 0 ? (m_work[i] - m_work[i - 1]) *
                                               double(frame - m_frames[i - 1]) / double(span)
                                         : 0.0);
    }

    // The frame of the first step before which the work reaches the target;
    // -1 when only the silence after the last event does.
    std::int64_t stepReaching(double work) const
    {
        // The first and the last point are the song's start and end, no step.
        const auto it = std::lower_bound(m_work.begin() + 1, m_work.end() - 1, work);
        return it == m_work.end() - 1 ? -1 : m_frames[std::size_t(it - m_work.begin())];
    }

private:
    std::vector<std::int64_t> m_frames; // the start, each step's frame, the End of Track
    std::vector<double> m_work;         // the work before each of those frames
};

// Where the pieces start, and the song's end last: points of equal estimated
// work.
std::vector<std::int64_t> splitPoints(const WorkCurve &work, const Schedule &schedule, int pieces)
{
    std::vector<std::int64_t> points{0};
    for (int k = 1; k < pieces; ++k) {
        const std::int64_t frame = work.stepReaching(work.total() * k / pieces);
        if (frame < 0)
            break;
        if (frame > points.back() && frame < schedule.endFrame)
            points.push_back(frame);
    }
    points.push_back(schedule.endFrame);
    return points;
}

// One worker: a synthesizer of its own, reused from piece to piece.
class PieceRenderer
{
public:
    PieceRenderer(const Timeline &timeline, const Schedule &schedule,
                  const std::vector<std::int64_t> &points, const ChaseState &touched,
                  const RenderSettings &settings, RenderMix &mix)
        : m_timeline(timeline), m_schedule(schedule), m_points(points), m_touched(touched),
          m_settings(settings), m_mix(mix), m_synth(options(settings))
    {}

    // Loads the SoundFont and the song's instruments; false when that fails
    // (problem() says why). Synthesizers that load samples while another one
    // plays them do not keep each other's data safe, so every worker loads
    // before any renders.
    bool start()
    {
        m_synth.open();
        if (!m_synth.hasSoundFont())
            return false;
        m_synth.prepare(m_timeline.instruments());
        return true;
    }

    // Renders the pieces worker, worker + workers, ... in turn. Always the
    // same pieces on the same synthesizer: what a piece sounds like depends a
    // little on what its synthesizer rendered before (alignEffects()).
    void run(int worker, int workers)
    {
        bool fresh = true;
        for (int piece = worker; piece < m_mix.pieces(); piece += workers, fresh = false) {
            if (!m_mix.mayStart(piece, workers))
                return;
            if (!fresh)
                quieten();
            render(piece, fresh);
        }
    }

    std::string problem() const { return m_synth.status(); }

private:
    static FluidSynthOptions options(const RenderSettings &settings)
    {
        FluidSynthOptions o;
        o.soundFont = settings.soundFont;
        o.audioDriver = "none";
        o.sampleRate = settings.rate;
        o.gain = settings.gain;
        o.reverb = settings.reverb;
        o.chorus = settings.chorus;
        return o;
    }

    // Nothing of the last piece may sound on into the next: its voices end and
    // the effects are rendered out to silence (the frames are dropped). The
    // channels need no reset, since the chase sets every parameter the song
    // ever sets. (A synthesizer reset would also let go of the instruments,
    // and with samples loaded on demand, synthesizers that load and drop the
    // same samples at once do not keep each other's data safe.)
    void quieten()
    {
        for (int ch = 0; ch < 16; ++ch)
            m_synth.send(std::uint8_t(0xB0 | ch), 120, 0);
        std::vector<float> scratch(2 * 1024);
        for (int i = 0; i < 10 * m_settings.rate / 1024 && !m_mix.stopped(); ++i) {
            m_synth.renderFloat(scratch.data(), 1024);
            m_processed += 1024;
            float peak = 0;
            for (float x : scratch)
                peak = std::max(peak, std::fabs(x));
            if (m_synth.activeVoices() == 0 && peak < Quiet)
                break;
        }
    }

    void render(int piece, bool fresh)
    {
        m_piece = piece;
        const std::int64_t start = m_points[std::size_t(piece)];
        alignEffects(start);
        const std::int64_t end = m_points[std::size_t(piece) + 1];
        const auto &steps = m_schedule.steps;
        const auto &events = m_timeline.events();
        if (fresh) {
            for (const std::vector<std::uint8_t> &m : m_settings.reset) {
                if (!m.empty() && m.front() == 0xF0)
                    m_synth.sendSysEx(m);
                else if (!m.empty())
                    m_synth.send(m[0], m.size() > 1 ? m[1] : 0, m.size() > 2 ? m[2] : 0);
            }
        }
        auto step = std::size_t(
            std::lower_bound(steps.begin(), steps.end(), start,
                             [](const Step &s, std::int64_t frame) { return s.frame < frame; }) -
            steps.begin());
        ChaseState state;
        state.applyUntil(m_timeline, step < steps.size() ? steps[step].begin : events.size());
        state.emit(m_synth, m_timeline.channelsUsed(), m_touched);

        m_frame = start;
        m_end = end;
        bool over = false;
        for (; step < steps.size() && !over; ++step) {
            over = renderUntil(steps[step].frame);
            if (over)
                break;
            const bool ownNotes = steps[step].frame < end;
            for (std::size_t i = steps[step].begin; i < steps[step].end; ++i) {
                const TimedEvent &e = events[i];
                if (e.eventClass == TimedEvent::SysEx)
                    m_synth.sendSysEx(m_timeline.sysEx(e));
                else if (e.eventClass == TimedEvent::Tempo)
                    continue;
                else if (ownNotes || e.eventClass != TimedEvent::NoteOn)
                    m_synth.send(e.status, e.data1, e.data2);
                else // a later piece's note: it ends this piece's note of that key, as a new
                     // note-on of a sounding key does
                    m_synth.send(std::uint8_t(0x80 | e.channel()), e.data1, 0);
            }
        }
        if (!over && !renderUntil(m_schedule.endFrame))
            ringOut();
        flush();
        m_mix.end(piece);
    }

    // The song's end: its notes are let go and ring out until silence, for
    // at most the tail's length.
    void ringOut()
    {
        const auto tail = std::int64_t(std::llround(m_settings.tailSeconds * m_settings.rate));
        if (tail <= 0)
            return;
        SoundingNotes().release(m_synth, m_timeline.channelsUsed());
        const std::int64_t tailEnd = m_schedule.endFrame + tail;
        while (m_frame < tailEnd && !m_mix.stopped()) {
            const float peak = renderChunk(std::min<std::int64_t>(1024, tailEnd - m_frame));
            if (m_synth.activeVoices() == 0 && peak < Quiet)
                break;
        }
    }

    // The chorus and the reverb sweep their delays with slow oscillators that
    // run on through every frame a synthesizer renders, silence included, and
    // no reset stops them: the chorus at its speed, the reverb at 1 Hz. A piece
    // sounds as the song does there only when its oscillators stand where the
    // song's would: so many frames of silence are rendered (and dropped) first
    // that the synthesizer's frame count matches the piece's start, modulo the
    // period both oscillators share (10 s with FluidSynth's default chorus).
    void alignEffects(std::int64_t start)
    {
        const std::int64_t reverbPeriod = m_settings.rate;
        std::int64_t period = reverbPeriod;
        if (const double speed = m_synth.chorusSpeed(); speed > 0) {
            const auto chorusPeriod = std::int64_t(std::llround(m_settings.rate / speed));
            const std::int64_t both = std::lcm(chorusPeriod, reverbPeriod);
            // Beyond a minute of silence per piece, the chorus alone.
            period = both <= 60 * std::int64_t(m_settings.rate) ? both : chorusPeriod;
        }
        const auto modulo = [](std::int64_t a, std::int64_t m) {
            return ((a % m) + m) % m;
        };
        // The blocks must line up too, or every event would come up to 63
        // frames late: the nearest lag that keeps them in line (the phase is
        // then off by 32 frames at most, nothing to hear).
        const std::int64_t exact = modulo(start - m_processed, period);
        std::int64_t lag = exact + modulo(start - m_processed - exact, Block);
        if (lag - exact > Block / 2)
            lag -= Block;
        if (lag < 0)
            lag += Block;
        std::vector<float> scratch(2 * 4096);
        while (lag > 0 && !m_mix.stopped()) {
            const int n = int(std::min<std::int64_t>(lag, 4096));
            m_synth.renderFloat(scratch.data(), n);
            m_processed += n;
            lag -= n;
        }
    }

    // Renders up to the frame; true once the piece is over: past its end,
    // with no voice left and the effects died away, or the render stopped.
    bool renderUntil(std::int64_t until)
    {
        while (m_frame < until) {
            if (m_mix.stopped())
                return true;
            const float peak = renderChunk(std::min<std::int64_t>(until - m_frame, 4096));
            if (m_frame >= m_end && m_synth.activeVoices() == 0 && peak < Quiet)
                return true;
        }
        return false;
    }

    // Renders the frames into the piece's output; returns their peak.
    float renderChunk(std::int64_t frames)
    {
        const std::size_t at = m_out.size();
        m_out.resize(at + std::size_t(frames) * 2);
        m_synth.renderFloat(m_out.data() + at, int(frames));
        m_frame += frames;
        m_processed += frames;
        float peak = 0;
        for (std::size_t i = at; i < m_out.size(); ++i)
            peak = std::max(peak, std::fabs(m_out[i]));
        if (m_out.size() >= FlushSamples)
            flush();
        return peak;
    }

    void flush()
    {
        if (!m_out.empty())
            m_mix.add(m_piece, std::move(m_out));
        m_out = {};
        m_out.reserve(FlushSamples + 2 * 4096); // a chunk of its own for the mix to keep
    }

    static constexpr float Quiet = 1.0e-4f; // -80 dBFS, a few 16-bit steps
    static constexpr std::size_t FlushSamples = 2 * 16384;

    const Timeline &m_timeline;
    const Schedule &m_schedule;
    const std::vector<std::int64_t> &m_points;
    const ChaseState &m_touched;
    const RenderSettings &m_settings;
    RenderMix &m_mix;
    FluidSynthOutput m_synth;
    std::vector<float> m_out; // rendered, not yet added to the mix
    std::int64_t m_frame = 0;
    std::int64_t m_end = 0;
    std::int64_t m_processed = 0; // frames the synthesizer has rendered
    int m_piece = 0;
};

// Starts the workers and joins them however the render ends.
class Workers
{
public:
    explicit Workers(RenderMix &mix) : m_mix(mix) {}
    ~Workers()
    {
        for (std::thread &t : m_threads)
            t.join();
    }

    void start(PieceRenderer &renderer, int worker, int workers)
    {
        m_threads.emplace_back([this, &renderer, worker, workers] {
            try {
                renderer.run(worker, workers);
            } catch (const std::bad_alloc &) {
                m_mix.stop("out of memory");
            } catch (const std::exception &e) {
                m_mix.stop(e.what());
            } catch (...) {
                m_mix.stop("the render failed");
            }
        });
    }

private:
    RenderMix &m_mix;
    std::vector<std::thread> m_threads;
};

std::string render(const MidiFile &file, const Timeline &timeline, const RenderSettings &settings,
                   const FrameSink &sink, const RenderControl &control)
{
    const Schedule schedule = makeSchedule(timeline, file.division(), settings.rate);
    const WorkCurve work(timeline, schedule);
    // Pieces of at least four seconds, up to two per worker: enough to keep
    // every core busy to the end, few enough that starting a piece (silence
    // that lines up the effects, and a chase) costs little.
    const int jobs = std::max(1, settings.jobs);
    const std::int64_t byLength = schedule.endFrame / (4 * std::int64_t(settings.rate));
    const int pieces = jobs == 1 ? 1 : int(std::clamp<std::int64_t>(byLength, 1, 2 * jobs));
    const std::vector<std::int64_t> points = splitPoints(work, schedule, pieces);
    const int workers = std::min(jobs, int(points.size()) - 1);

    ChaseState touched;
    touched.applyUntil(timeline, timeline.events().size());
    RenderMix mix(
        points, [&work](std::int64_t frame) { return work.at(frame); }, control);
    std::vector<std::unique_ptr<PieceRenderer>> renderers;
    for (int i = 0; i < workers; ++i)
        renderers.push_back(
            std::make_unique<PieceRenderer>(timeline, schedule, points, touched, settings, mix));
    for (const auto &r : renderers) {
        if (!r->start())
            return r->problem();
    }
    {
        Workers threads(mix);
        try {
            for (int i = 0; i < workers; ++i)
                threads.start(*renderers[std::size_t(i)], i, workers);
            std::vector<float> frames;
            while (mix.take(frames, SinkFrames)) {
                if (!sink(frames.data(), std::int64_t(frames.size() / 2)))
                    mix.stop();
            }
        } catch (...) {
            mix.stop(); // the workers end and are joined before the error goes on
            throw;
        }
    }
    return mix.problem();
}

} // namespace

std::string renderSong(const MidiFile &file, const Timeline &timeline,
                       const RenderSettings &settings, const FrameSink &sink,
                       const RenderControl &control)
{
    try {
        return render(file, timeline, settings, sink, control);
    } catch (const std::bad_alloc &) {
        return "out of memory";
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "the render failed";
    }
}
