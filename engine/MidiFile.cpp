// Standard MIDI File reader and writer; see MidiFile.h for what is tolerated.
#include "engine/MidiFile.h"

#include "engine/RegularFile.h"

#include <algorithm>
#include <cstring>

namespace {

std::uint32_t be32(const std::uint8_t *p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

std::uint16_t be16(const std::uint8_t *p)
{
    return std::uint16_t((p[0] << 8) | p[1]);
}

bool hasId(const std::vector<std::uint8_t> &b, std::size_t pos, const char *id)
{
    return pos + 4 <= b.size() && std::memcmp(b.data() + pos, id, 4) == 0;
}

// A chunk id is four printable ASCII characters; anything else is garbage.
bool looksLikeChunk(const std::vector<std::uint8_t> &b, std::size_t pos)
{
    if (pos + 8 > b.size())
        return false;
    for (std::size_t i = 0; i < 4; ++i) {
        if (b[pos + i] < 0x20 || b[pos + i] > 0x7E)
            return false;
    }
    return true;
}

std::size_t find(const std::vector<std::uint8_t> &b, std::size_t from, std::size_t to,
                 const char *id)
{
    to = std::min(to, b.size());
    for (std::size_t p = from; p + 4 <= to; ++p) {
        if (std::memcmp(b.data() + p, id, 4) == 0)
            return p;
    }
    return std::string::npos;
}

// Reads a variable-length quantity of at most four bytes. False when the bytes
// run out first; a fifth continuation byte is taken as the end of the number.
bool readVarLen(const std::vector<std::uint8_t> &b, std::size_t &pos, std::size_t end,
                std::uint32_t &value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= end)
            return false;
        const std::uint8_t c = b[pos++];
        value = (value << 7) | (c & 0x7F);
        if (!(c & 0x80))
            return true;
    }
    return true;
}

// Data bytes after a system status other than F0, F7 and FF.
int systemDataLength(std::uint8_t status)
{
    switch (status) {
    case 0xF1:
    case 0xF3:
        return 1;
    case 0xF2:
        return 2;
    default:
        return 0;
    }
}

// The Standard MIDI File inside a RIFF "RMID" wrapper: the payload of its
// "data" chunk. Returns the offset of that payload, or npos.
std::size_t riffData(const std::vector<std::uint8_t> &b, std::size_t &end)
{
    if (!hasId(b, 0, "RIFF") || !hasId(b, 8, "RMID"))
        return std::string::npos;
    std::size_t pos = 12;
    while (pos + 8 <= b.size()) {
        const std::uint32_t size = std::uint32_t(b[pos + 4]) | (std::uint32_t(b[pos + 5]) << 8) |
                                   (std::uint32_t(b[pos + 6]) << 16) |
                                   (std::uint32_t(b[pos + 7]) << 24);
        if (hasId(b, pos, "data")) {
            end = std::min<std::size_t>(b.size(), pos + 8 + std::size_t(size));
            return pos + 8;
        }
        pos += 8 + std::size_t(size) + (size & 1);
    }
    return std::string::npos;
}

} // namespace

void midi::appendVarLen(std::vector<std::uint8_t> &out, std::uint64_t value)
{
    value = std::min<std::uint64_t>(value, 0x0FFFFFFF);
    std::uint8_t buf[4];
    int n = 0;
    buf[n++] = std::uint8_t(value & 0x7F);
    while ((value >>= 7) != 0)
        buf[n++] = std::uint8_t(0x80 | (value & 0x7F));
    while (n > 0)
        out.push_back(buf[--n]);
}

MidiFile MidiFile::load(const std::filesystem::path &path)
{
    MidiFile file;
    std::vector<std::uint8_t> bytes;
    std::string error;
    // Only a regular file is read: a FIFO or a device in its place never
    // blocks the caller.
    if (!readRegularFile(path.c_str(), midi::MaxFileSize, &bytes, &error)) {
        file.fail("cannot read the file: " + error);
        return file;
    }
    return parse(std::move(bytes));
}

void MidiFile::fail(std::string reason)
{
    m_error = std::move(reason);
    m_spans.clear();
}

std::size_t MidiFile::eventCount() const
{
    std::size_t n = 0;
    for (const Span &s : m_spans)
        n += s.events;
    return n;
}

const std::vector<MidiTrack> &MidiFile::tracks() const
{
    std::call_once(m_tracks->made, [this] {
        std::vector<MidiTrack> &tracks = m_tracks->tracks;
        tracks.resize(m_spans.size());
        for (std::size_t i = 0; i < m_spans.size(); ++i) {
            tracks[i].events.reserve(m_spans[i].events);
            tracks[i].hasEndOfTrack = m_spans[i].hasEndOfTrack;
            MidiEventReader reader = events(i);
            MidiEvent e;
            while (reader.next(e))
                tracks[i].events.push_back(e);
        }
    });
    return m_tracks->tracks;
}

MidiFile MidiFile::parse(std::vector<std::uint8_t> bytes)
{
    MidiFile file;
    file.m_bytes = std::move(bytes);
    const std::vector<std::uint8_t> &b = file.m_bytes;
    if (b.size() > midi::MaxFileSize) {
        file.fail("the file is too large to be a MIDI file");
        return file;
    }
    if (b.size() > 0xFFFFFFFFu) {
        file.fail("the file is too large to be a MIDI file");
        return file;
    }

    std::size_t end = b.size();
    std::size_t header = riffData(b, end);
    if (header == std::string::npos) {
        header = 0;
        end = b.size();
    }
    if (!hasId(b, header, "MThd")) {
        // Some files carry a few hundred bytes of another header in front.
        const std::size_t found = find(b, header, std::min(end, header + 4096), "MThd");
        if (found == std::string::npos) {
            file.fail("not a MIDI file (no MThd header)");
            return file;
        }
        file.m_warnings.push_back("skipped bytes before the header");
        header = found;
    }
    if (header + 14 > end) {
        file.fail("the MIDI header is truncated");
        return file;
    }
    const std::uint32_t headerLength = be32(b.data() + header + 4);
    if (headerLength < 6) {
        file.fail("the MIDI header is too short");
        return file;
    }
    file.m_format = be16(b.data() + header + 8);
    const std::uint16_t division = be16(b.data() + header + 12);
    if (division & 0x8000) {
        const int fps = -static_cast<std::int8_t>(division >> 8);
        const int tpf = division & 0xFF;
        if (fps <= 0 || tpf == 0) {
            file.fail("the SMPTE time division is invalid");
            return file;
        }
        file.m_division.smpte = true;
        file.m_division.framesPerSecond = fps;
        file.m_division.ticksPerFrame = tpf;
        file.m_division.ticksPerQuarter = 0;
    } else {
        if (division == 0) {
            file.fail("the time division is zero");
            return file;
        }
        file.m_division.ticksPerQuarter = division;
    }
    if (file.m_format > 2) {
        file.m_warnings.push_back("unknown format " + std::to_string(file.m_format) +
                                  ", read as format 1");
        file.m_format = 1;
    }

    // Truncating m_bytes to the RIFF payload keeps every position below within it.
    file.m_bytes.resize(end);
    file.readChunks(std::min<std::size_t>(end, header + 8 + std::size_t(headerLength)));
    if (!file.ok())
        return file;
    if (file.m_spans.empty()) {
        file.fail("the file has no track");
        return file;
    }
    return file;
}

void MidiFile::readChunks(std::size_t pos)
{
    const std::vector<std::uint8_t> &b = m_bytes;
    while (pos + 8 <= b.size()) {
        const std::uint32_t length = be32(b.data() + pos + 4);
        const std::size_t declaredEnd =
            std::min<std::size_t>(b.size(), pos + 8 + std::size_t(length));
        if (hasId(b, pos, "MTrk")) {
            pos = readTrack(pos + 8, declaredEnd);
        } else if (looksLikeChunk(b, pos) && pos + 8 + std::size_t(length) <= b.size()) {
            m_warnings.push_back("skipped an unknown chunk");
            pos = declaredEnd;
        } else {
            const std::size_t next = find(b, pos + 1, b.size(), "MTrk");
            if (next == std::string::npos) {
                m_warnings.push_back("ignored " + std::to_string(b.size() - pos) +
                                     " bytes after the last track");
                return;
            }
            m_warnings.push_back("skipped garbage between tracks");
            pos = next;
        }
    }
    if (pos < b.size())
        m_warnings.push_back("ignored a truncated chunk at the end");
}

namespace {

struct TrackScan
{
    std::size_t stop = 0; // where reading ended
    std::size_t events = 0;
    std::int64_t lastTick = 0;
    bool truncated = false;
    bool endOfTrack = false;
};

TrackScan scanTrack(const std::vector<std::uint8_t> &b, std::size_t begin, std::size_t end)
{
    TrackScan scan;
    MidiEventReader reader(b, begin, end);
    MidiEvent e;
    while (reader.next(e)) {
        ++scan.events;
        scan.lastTick = e.tick;
    }
    scan.stop = reader.position();
    scan.truncated = reader.truncated();
    scan.endOfTrack = reader.endOfTrack();
    return scan;
}

} // namespace

// Reads one track whose events begin at begin; returns where the next chunk starts.
std::size_t MidiFile::readTrack(std::size_t begin, std::size_t declaredEnd)
{
    const std::vector<std::uint8_t> &b = m_bytes;
    std::size_t end = declaredEnd;
    TrackScan scan = scanTrack(b, begin, end);
    if (!scan.endOfTrack && declaredEnd < b.size() && !looksLikeChunk(b, declaredEnd)) {
        // The declared length ends inside the track: read on to its End of Track.
        end = b.size();
        scan = scanTrack(b, begin, end);
        m_warnings.push_back("a track's length is wrong");
    }
    if (scan.truncated)
        m_warnings.push_back("a track is truncated");
    else if (!scan.endOfTrack)
        m_warnings.push_back("a track has no End of Track");
    m_spans.push_back(Span{begin, end, scan.events, scan.lastTick, scan.endOfTrack});

    if (declaredEnd < b.size() && looksLikeChunk(b, declaredEnd))
        return declaredEnd;
    // The declared length runs past the track's end (or past the file's):
    // resynchronise on the next track header after what was read.
    const std::size_t next = find(b, scan.stop, b.size(), "MTrk");
    if (next != std::string::npos) {
        if (next != declaredEnd)
            m_warnings.push_back("a track's length is wrong");
        return next;
    }
    if (declaredEnd < b.size())
        m_warnings.push_back("ignored " + std::to_string(b.size() - declaredEnd) +
                             " bytes after the last track");
    return b.size();
}

bool MidiEventReader::next(MidiEvent &ev)
{
    const std::vector<std::uint8_t> &b = *m_bytes;
    while (!m_done && m_pos < m_end) {
        std::uint32_t delta = 0;
        if (!readVarLen(b, m_pos, m_end, delta) || m_pos >= m_end) {
            m_truncated = true;
            break;
        }
        m_tick += delta;
        ev = MidiEvent();
        ev.tick = m_tick;
        std::uint8_t status = b[m_pos];
        if (status & 0x80) {
            ++m_pos;
        } else if (m_running != 0) {
            status = m_running; // running status: this byte is the first data byte
        } else {
            ++m_pos; // a data byte with no status to run on: skip it
            continue;
        }
        ev.status = status;

        if (status < 0xF0) {
            m_running = status;
            const int n = midi::channelDataLength(status);
            if (m_pos + std::size_t(n) > m_end) {
                m_truncated = true;
                break;
            }
            if ((b[m_pos] & 0x80) || (n == 2 && (b[m_pos + 1] & 0x80))) {
                // A status byte where data belongs: drop the broken message and
                // go on from that byte as if it began the next event's delta.
                continue;
            }
            ev.data1 = b[m_pos];
            ev.data2 = n == 2 ? b[m_pos + 1] : 0;
            m_pos += std::size_t(n);
            return true;
        }
        if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
            if (status == 0xFF) {
                if (m_pos >= m_end) {
                    m_truncated = true;
                    break;
                }
                ev.data1 = b[m_pos++];
            }
            std::uint32_t length = 0;
            if (!readVarLen(b, m_pos, m_end, length) || m_pos + std::size_t(length) > m_end) {
                m_truncated = true;
                break;
            }
            ev.offset = std::uint32_t(m_pos);
            ev.length = length;
            m_pos += length;
            if (ev.isMeta(midi::MetaEndOfTrack)) {
                m_endOfTrack = true;
                m_done = true;
            }
            return true;
        }
        // Real-time and system common messages do not belong in a file;
        // step over them and their data, keeping running status.
        const int n = systemDataLength(status);
        if (n >= 1 && m_pos < m_end && !(b[m_pos] & 0x80)) {
            ev.data1 = b[m_pos++];
            if (n == 2 && m_pos < m_end && !(b[m_pos] & 0x80))
                ev.data2 = b[m_pos++];
        }
        return true;
    }
    m_done = true;
    return false;
}

std::vector<std::uint8_t> MidiFile::serialize() const
{
    std::vector<std::uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    auto put16 = [&out](unsigned v) {
        out.push_back(std::uint8_t(v >> 8));
        out.push_back(std::uint8_t(v));
    };
    put16(unsigned(m_format));
    put16(unsigned(m_spans.size()));
    if (m_division.smpte)
        put16((unsigned(std::uint8_t(-m_division.framesPerSecond)) << 8) |
              unsigned(m_division.ticksPerFrame));
    else
        put16(unsigned(m_division.ticksPerQuarter));
    for (const MidiTrack &t : tracks()) {
        std::vector<std::uint8_t> data;
        std::int64_t last = 0;
        for (const MidiEvent &e : t.events) {
            midi::appendVarLen(data, std::uint64_t(e.tick - last));
            last = e.tick;
            data.push_back(e.status);
            if (e.isChannel()) {
                data.push_back(e.data1);
                if (midi::channelDataLength(e.status) == 2)
                    data.push_back(e.data2);
            } else if (e.status != 0xF0 && e.status != 0xF7 && e.status != 0xFF) {
                // Other system messages go back with the data bytes they had.
                const int n = systemDataLength(e.status);
                if (n >= 1)
                    data.push_back(e.data1);
                if (n == 2)
                    data.push_back(e.data2);
            } else {
                if (e.status == 0xFF)
                    data.push_back(e.data1);
                midi::appendVarLen(data, e.length);
                const auto p = payload(e);
                data.insert(data.end(), p.begin(), p.end());
            }
        }
        const char id[] = {'M', 'T', 'r', 'k'};
        out.insert(out.end(), id, id + 4);
        const std::uint32_t n = std::uint32_t(data.size());
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(std::uint8_t(n >> s));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

SmfWriter::SmfWriter(int format, int ticksPerQuarter)
    : m_format(format), m_division(ticksPerQuarter)
{}

void SmfWriter::beginTrack()
{
    m_tracks.emplace_back();
    m_lastTick = 0;
}

void SmfWriter::delta(std::int64_t tick)
{
    if (m_tracks.empty())
        beginTrack();
    midi::appendVarLen(m_tracks.back(),
                       std::uint64_t(std::max<std::int64_t>(0, tick - m_lastTick)));
    m_lastTick = std::max(m_lastTick, tick);
}

void SmfWriter::rawDelta(std::int64_t tick)
{
    delta(tick);
}

void SmfWriter::channel(std::int64_t tick, std::uint8_t status, std::uint8_t data1,
                        std::uint8_t data2)
{
    delta(tick);
    std::vector<std::uint8_t> &t = m_tracks.back();
    t.push_back(status);
    t.push_back(data1 & 0x7F);
    if (midi::channelDataLength(status) == 2)
        t.push_back(data2 & 0x7F);
}

void SmfWriter::sysEx(std::int64_t tick, std::span<const std::uint8_t> message)
{
    delta(tick);
    std::vector<std::uint8_t> &t = m_tracks.back();
    t.push_back(0xF0);
    const auto body = message.empty() ? message : message.subspan(1);
    midi::appendVarLen(t, body.size());
    t.insert(t.end(), body.begin(), body.end());
}

void SmfWriter::meta(std::int64_t tick, std::uint8_t type, std::span<const std::uint8_t> data)
{
    delta(tick);
    std::vector<std::uint8_t> &t = m_tracks.back();
    t.push_back(0xFF);
    t.push_back(type);
    midi::appendVarLen(t, data.size());
    t.insert(t.end(), data.begin(), data.end());
}

void SmfWriter::tempo(std::int64_t tick, std::uint32_t microsecondsPerQuarter)
{
    const std::uint8_t d[] = {std::uint8_t(microsecondsPerQuarter >> 16),
                              std::uint8_t(microsecondsPerQuarter >> 8),
                              std::uint8_t(microsecondsPerQuarter)};
    meta(tick, midi::MetaTempo, d);
}

void SmfWriter::endTrack(std::int64_t tick)
{
    meta(tick, midi::MetaEndOfTrack, {});
}

void SmfWriter::raw(std::span<const std::uint8_t> bytes)
{
    if (m_tracks.empty())
        beginTrack();
    m_tracks.back().insert(m_tracks.back().end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> SmfWriter::bytes() const
{
    std::vector<std::uint8_t> out = {'M',
                                     'T',
                                     'h',
                                     'd',
                                     0,
                                     0,
                                     0,
                                     6,
                                     std::uint8_t(m_format >> 8),
                                     std::uint8_t(m_format),
                                     std::uint8_t(m_tracks.size() >> 8),
                                     std::uint8_t(m_tracks.size()),
                                     std::uint8_t(m_division >> 8),
                                     std::uint8_t(m_division)};
    for (const std::vector<std::uint8_t> &t : m_tracks) {
        const char id[] = {'M', 'T', 'r', 'k'};
        out.insert(out.end(), id, id + 4);
        const std::uint32_t n = std::uint32_t(t.size());
        for (int s = 24; s >= 0; s -= 8)
            out.push_back(std::uint8_t(n >> s));
        out.insert(out.end(), t.begin(), t.end());
    }
    return out;
}
