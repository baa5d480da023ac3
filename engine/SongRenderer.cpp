// Offline rendering, on one core or several; see SongRenderer.h.
#include "engine/SongRenderer.h"

#include "engine/Chase.h"
#include "engine/FluidSynthOutput.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

namespace {

constexpr int Block = 64; // frames FluidSynth synthesizes at a time

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

// Where the pieces start, and the song's end last: points of equal estimated
// work. A frame costs about as much as 1.6 sounding notes (two voices each);
// the estimate counts notes from note-on to note-off.
std::vector<std::int64_t> splitPoints(const Timeline &timeline, const Schedule &schedule,
                                      int pieces)
{
    constexpr double CostPerNote = 0.6;
    const auto &events = timeline.events();
    std::vector<double> work(schedule.steps.size() + 1, 0.0); // before each step, then at the end
    std::array<std::array<std::uint8_t, 128>, 16> held{};
    int sounding = 0;
    double total = 0;
    std::int64_t last = 0;
    for (std::size_t s = 0; s <= schedule.steps.size(); ++s) {
        const std::int64_t frame =
            s < schedule.steps.size() ? schedule.steps[s].frame : schedule.endFrame;
        total += double(frame - last) * (1.0 + CostPerNote * sounding);
        last = frame;
        work[s] = total;
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
    std::vector<std::int64_t> points{0};
    for (int k = 1; k < pieces; ++k) {
        const double target = total * k / pieces;
        const auto at = std::lower_bound(work.begin(), work.end() - 1, target) - work.begin();
        const std::int64_t frame =
            schedule.steps.empty() ? 0 : schedule.steps[std::size_t(at)].frame;
        if (frame > points.back() && frame < schedule.endFrame)
            points.push_back(frame);
    }
    points.push_back(schedule.endFrame);
    return points;
}

// Sums what the pieces render and hands on the frames no piece can add to any
// more. Piece k adds frames from its start on, in order; a frame is final once
// every piece that starts at or before it has rendered past it or ended.
class Mix
{
public:
    Mix(std::vector<std::int64_t> starts, int workers)
        : m_position(std::move(starts)), m_ended(m_position.size(), false), m_workers(workers)
    {}

    // The next piece to render, or -1 when none is left. Waits while too many pieces are ahead of
    // the first unfinished one, so that their frames do not pile up.
    int takePiece()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(
            lock, [&] { return m_next >= pieces() || m_next < firstRunning() + 2 * m_workers; });
        if (m_next >= pieces())
            return -1;
        return m_next++;
    }

    void add(int piece, const std::vector<float> &interleaved)
    {
        const auto frames = std::int64_t(interleaved.size() / 2);
        std::lock_guard lock(m_mutex);
        std::int64_t &at = m_position[std::size_t(piece)];
        const auto offset = std::size_t(at - m_base) * 2;
        if (m_sum.size() < offset + interleaved.size())
            m_sum.resize(offset + interleaved.size(), 0.0f);
        for (std::size_t i = 0; i < interleaved.size(); ++i)
            m_sum[offset + i] += interleaved[i];
        at += frames;
        m_changed.notify_all();
    }

    void end(int piece)
    {
        std::lock_guard lock(m_mutex);
        m_ended[std::size_t(piece)] = true;
        m_end = std::max(m_end, m_position[std::size_t(piece)]);
        m_changed.notify_all();
    }

    // Waits for final frames and moves them into `out`; false once every
    // piece has ended and everything went out.
    bool take(std::vector<float> &out)
    {
        std::unique_lock lock(m_mutex);
        std::int64_t final = 0;
        m_changed.wait(lock, [&] {
            final = frontier();
            return final > m_base || firstRunning() == pieces();
        });
        if (final <= m_base)
            return false;
        const auto samples = std::size_t(final - m_base) * 2;
        out.assign(m_sum.begin(), m_sum.begin() + std::ptrdiff_t(std::min(samples, m_sum.size())));
        out.resize(samples, 0.0f); // silence no piece rendered
        m_sum.erase(m_sum.begin(), m_sum.begin() + std::ptrdiff_t(std::min(samples, m_sum.size())));
        m_base = final;
        m_changed.notify_all();
        return true;
    }

private:
    int pieces() const { return int(m_position.size()); }
    int firstRunning() const
    {
        int k = 0;
        while (k < pieces() && m_ended[std::size_t(k)])
            ++k;
        return k;
    }
    // Frames before this are final.
    std::int64_t frontier() const
    {
        std::int64_t final = std::numeric_limits<std::int64_t>::max();
        for (int k = 0; k < pieces(); ++k) {
            if (!m_ended[std::size_t(k)])
                final = std::min(final, m_position[std::size_t(k)]);
        }
        return final == std::numeric_limits<std::int64_t>::max() ? m_end : final;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::int64_t> m_position; // piece k has added the frames before this
    std::vector<bool> m_ended;
    int m_workers;
    int m_next = 0;
    std::int64_t m_end = 0;   // the last frame any ended piece rendered
    std::int64_t m_base = 0;  // the first frame not yet handed on
    std::vector<float> m_sum; // frames from m_base on
};

// One worker: a synthesizer of its own, reused from piece to piece.
class PieceRenderer
{
public:
    PieceRenderer(const Timeline &timeline, const Schedule &schedule,
                  const std::vector<std::int64_t> &points, const ChaseState &touched,
                  const RenderSettings &settings, Mix &mix)
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

    // Renders pieces until none is left.
    void run()
    {
        bool fresh = true;
        for (int piece; (piece = m_mix.takePiece()) >= 0; fresh = false) {
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
        for (int i = 0; i < 10 * m_settings.rate / 1024; ++i) {
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
        if (!fresh) {
        } else if (m_settings.reset == "gm")
            m_synth.sendSysEx(std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
        else if (m_settings.reset == "gs")
            m_synth.sendSysEx(std::vector<std::uint8_t>{0xF0, 0x41, 0x10, 0x42, 0x12, 0x40, 0x00,
                                                        0x7F, 0x00, 0x41, 0xF7});
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
        if (!over && !renderUntil(m_schedule.endFrame)) {
            // The song's end: its notes are let go and ring out, for at most
            // two seconds.
            SoundingNotes().release(m_synth, m_timeline.channelsUsed());
            const std::int64_t tailEnd = m_frame + 2 * std::int64_t(m_settings.rate);
            while (m_frame < tailEnd && m_synth.activeVoices() > 0)
                renderChunk(std::min<std::int64_t>(1024, tailEnd - m_frame));
        }
        flush();
        m_mix.end(piece);
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
        while (lag > 0) {
            const int n = int(std::min<std::int64_t>(lag, 4096));
            m_synth.renderFloat(scratch.data(), n);
            m_processed += n;
            lag -= n;
        }
    }

    // Renders up to the frame; true once the piece is over: past its end,
    // with no voice left and the effects died away.
    bool renderUntil(std::int64_t until)
    {
        while (m_frame < until) {
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
            m_mix.add(m_piece, m_out);
        m_out.clear();
    }

    static constexpr float Quiet = 1.0e-4f; // -80 dBFS, a few 16-bit steps
    static constexpr std::size_t FlushSamples = 2 * 16384;

    const Timeline &m_timeline;
    const Schedule &m_schedule;
    const std::vector<std::int64_t> &m_points;
    const ChaseState &m_touched;
    const RenderSettings &m_settings;
    Mix &m_mix;
    FluidSynthOutput m_synth;
    std::vector<float> m_out; // rendered, not yet added to the mix
    std::int64_t m_frame = 0;
    std::int64_t m_end = 0;
    std::int64_t m_processed = 0; // frames the synthesizer has rendered
    int m_piece = 0;
};

} // namespace

std::string renderSong(const MidiFile &file, const Timeline &timeline,
                       const RenderSettings &settings, const FrameSink &sink)
{
    const Schedule schedule = makeSchedule(timeline, file.division(), settings.rate);
    // Pieces of at least four seconds, up to two per worker: enough to keep
    // every core busy to the end, few enough that starting a piece (silence
    // that lines up the effects, and a chase) costs little.
    const int jobs = std::max(1, settings.jobs);
    const std::int64_t byLength = schedule.endFrame / (4 * std::int64_t(settings.rate));
    const int pieces = jobs == 1 ? 1 : int(std::clamp<std::int64_t>(byLength, 1, 2 * jobs));
    const std::vector<std::int64_t> points = splitPoints(timeline, schedule, pieces);
    const int workers = std::min(jobs, int(points.size()) - 1);

    ChaseState touched;
    touched.applyUntil(timeline, timeline.events().size());
    Mix mix(std::vector<std::int64_t>(points.begin(), points.end() - 1), workers);
    std::vector<std::unique_ptr<PieceRenderer>> renderers;
    for (int i = 0; i < workers; ++i)
        renderers.push_back(
            std::make_unique<PieceRenderer>(timeline, schedule, points, touched, settings, mix));
    for (const auto &r : renderers) {
        if (!r->start())
            return r->problem();
    }
    std::vector<std::thread> threads;
    for (const auto &r : renderers)
        threads.emplace_back([&r] { r->run(); });
    std::vector<float> frames;
    while (mix.take(frames))
        sink(frames.data(), std::int64_t(frames.size() / 2));
    for (std::thread &t : threads)
        t.join();
    return {};
}
