// Standard MIDI File reader and writer. Plain C++, no Qt: the reader, the
// renderer, the fuzz target and the tests all use it the same way.
//
// Threads: a MidiFile is built on one thread and afterwards only read; a const
// MidiFile may be shared between threads freely.
//
// The reader takes formats 0, 1 and 2, running status (carried on across meta
// and SysEx events, as real files need), SysEx as F0 and F7 events, meta events,
// ticks-per-quarter and SMPTE divisions, and RIFF-wrapped files (RMID). Damaged
// files are read as far as they make sense: a wrong track length, a missing End
// of Track, unknown chunks, garbage after the last track or a truncated file
// each leave a warning and keep every event read before the damage. Only a file
// with no header or no track at all fails, with a reason. Memory is bounded by
// the size of the file: no declared count or length is ever trusted for an
// allocation. The reader keeps the file's bytes and where each track lies,
// not its events: they are read again from the bytes when asked for.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

// One event of a track, at an absolute tick of that track.
struct MidiEvent
{
    std::int64_t tick = 0;
    // 0x80-0xEF a channel message, 0xF0 SysEx, 0xF7 SysEx escape, 0xFF meta,
    // 0xF1-0xFE another system message (not legal in a file, but seen).
    std::uint8_t status = 0;
    // Channel messages: the data bytes. Meta events: data1 is the meta type.
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
    // SysEx, escape and meta events: where their payload lies in the file's bytes
    // (for F0, the bytes after F0 and its length, usually ending with F7).
    std::uint32_t offset = 0;
    std::uint32_t length = 0;

    bool isChannel() const { return status >= 0x80 && status < 0xF0; }
    bool isMeta(std::uint8_t type) const { return status == 0xFF && data1 == type; }
};

struct MidiTrack
{
    std::vector<MidiEvent> events;
    bool hasEndOfTrack = false;
};

struct MidiDivision
{
    // Ticks per quarter note, or SMPTE frames per second and ticks per frame.
    bool smpte = false;
    int ticksPerQuarter = 96;
    int framesPerSecond = 0; // 24, 25, 29 (drop frame, 29.97) or 30
    int ticksPerFrame = 0;
};

namespace midi {
constexpr std::uint8_t MetaTempo = 0x51;
constexpr std::uint8_t MetaEndOfTrack = 0x2F;
constexpr std::uint32_t DefaultTempo = 500000; // microseconds per quarter note
// Files larger than this are refused rather than read into memory.
constexpr std::size_t MaxFileSize = 256u * 1024u * 1024u;
} // namespace midi

// Reads the events of one track from a file's bytes, one at a time, with the
// same tolerance as the reader: the way to walk a huge file without holding
// its events in memory.
class MidiEventReader
{
public:
    MidiEventReader(const std::vector<std::uint8_t> &bytes, std::size_t begin, std::size_t end)
        : m_bytes(&bytes), m_pos(begin), m_end(end)
    {}
    // The next event; false once the track has ended (End of Track, its end,
    // or a truncated event).
    bool next(MidiEvent &event);
    std::size_t position() const { return m_pos; }
    bool truncated() const { return m_truncated; }
    bool endOfTrack() const { return m_endOfTrack; }

private:
    const std::vector<std::uint8_t> *m_bytes;
    std::size_t m_pos;
    std::size_t m_end;
    std::int64_t m_tick = 0;
    std::uint8_t m_running = 0;
    bool m_truncated = false;
    bool m_endOfTrack = false;
    bool m_done = false;
};

class MidiFile
{
public:
    // Parses a whole file held in memory. Check ok(); error() says why not.
    static MidiFile parse(std::vector<std::uint8_t> bytes);
    static MidiFile load(const std::filesystem::path &path);

    bool ok() const { return m_error.empty(); }
    const std::string &error() const { return m_error; }
    // What was repaired or skipped while reading; empty for a sound file.
    const std::vector<std::string> &warnings() const { return m_warnings; }

    int format() const { return m_format; }
    const MidiDivision &division() const { return m_division; }
    // Every track's events. Built on first use (the reader itself keeps only
    // where each track lies); a huge file is better walked with events().
    const std::vector<MidiTrack> &tracks() const;
    std::size_t trackCount() const { return m_spans.size(); }
    std::size_t eventCount() const;
    // The events of track i, read on demand, exactly those of tracks()[i].
    MidiEventReader events(std::size_t track) const
    {
        return MidiEventReader(m_bytes, m_spans[track].begin, m_spans[track].end);
    }
    // The bytes of track i that events(i) walks.
    std::span<const std::uint8_t> trackBytes(std::size_t track) const
    {
        return std::span<const std::uint8_t>(m_bytes).subspan(
            m_spans[track].begin, m_spans[track].end - m_spans[track].begin);
    }
    // The number of events of track i.
    std::size_t eventCount(std::size_t track) const { return m_spans[track].events; }
    // The tick of the last event of track i (0 for an empty track).
    std::int64_t lastTick(std::size_t track) const { return m_spans[track].lastTick; }
    std::span<const std::uint8_t> payload(const MidiEvent &event) const
    {
        return std::span<const std::uint8_t>(m_bytes).subspan(event.offset, event.length);
    }

    // Writes the file back as a Standard MIDI File with ticks per quarter (or
    // the same SMPTE division), every event in full (no running status).
    std::vector<std::uint8_t> serialize() const;

private:
    void fail(std::string reason);
    void readChunks(std::size_t pos);
    std::size_t readTrack(std::size_t begin, std::size_t declaredEnd);

    // Where a track's events lie in m_bytes, and what reading them gave.
    struct Span
    {
        std::size_t begin = 0;
        std::size_t end = 0;
        std::size_t events = 0;
        std::int64_t lastTick = 0;
        bool hasEndOfTrack = false;
    };
    // The tracks' events, made once when first asked for (shared by copies,
    // which hold the same bytes).
    struct Tracks
    {
        std::once_flag made;
        std::vector<MidiTrack> tracks;
    };

    std::vector<std::uint8_t> m_bytes;
    std::string m_error;
    std::vector<std::string> m_warnings;
    int m_format = 0;
    MidiDivision m_division;
    std::vector<Span> m_spans;
    std::shared_ptr<Tracks> m_tracks = std::make_shared<Tracks>();
};

// Builds a Standard MIDI File event by event: the writer behind the reset files
// and the tests' hand-made files. Events of a track must come in tick order.
class SmfWriter
{
public:
    SmfWriter(int format, int ticksPerQuarter);

    void beginTrack();
    // A channel message of one or two data bytes (program change and channel
    // pressure take one; data2 is then ignored).
    void channel(std::int64_t tick, std::uint8_t status, std::uint8_t data1,
                 std::uint8_t data2 = 0);
    // A complete SysEx message, F0 ... F7.
    void sysEx(std::int64_t tick, std::span<const std::uint8_t> message);
    void meta(std::int64_t tick, std::uint8_t type, std::span<const std::uint8_t> data);
    void tempo(std::int64_t tick, std::uint32_t microsecondsPerQuarter);
    void endTrack(std::int64_t tick);
    // Writes raw bytes into the current track (for damaged test files).
    void raw(std::span<const std::uint8_t> bytes);
    void rawDelta(std::int64_t tick);

    std::vector<std::uint8_t> bytes() const;

private:
    void delta(std::int64_t tick);

    int m_format;
    int m_division;
    std::vector<std::vector<std::uint8_t>> m_tracks;
    std::int64_t m_lastTick = 0;
};

namespace midi {
void appendVarLen(std::vector<std::uint8_t> &out, std::uint64_t value);
// Data bytes a channel message carries after its status: 1 or 2.
inline int channelDataLength(std::uint8_t status)
{
    const int kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}
} // namespace midi
