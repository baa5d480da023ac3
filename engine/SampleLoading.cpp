// The choice between loading a SoundFont's samples on demand or whole; see
// SampleLoading.h.
#include "engine/SampleLoading.h"

#include "engine/RegularFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fluidsynth.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Points the format reserves after each sample.
constexpr std::uint32_t Padding = 46;
// Bytes of a sample header.
constexpr std::size_t Record = 46;

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// A chunk of the file: where its data lies (its size field is the 4 bytes
// before), and the LIST chunk it lies in.
struct Chunk
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint64_t list = 0; // the offset of the LIST chunk's data
};

class Sf2Reader
{
public:
    explicit Sf2Reader(int fd) : m_fd(fd)
    {
        struct stat info;
        if (::fstat(fd, &info) == 0)
            m_fileSize = std::uint64_t(info.st_size);
    }

    bool read(std::uint64_t offset, void *into, std::size_t bytes) const
    {
        if (offset > m_fileSize || bytes > m_fileSize - offset)
            return false;
        return ::pread(m_fd, into, bytes, off_t(offset)) == ssize_t(bytes);
    }

    std::uint64_t fileSize() const { return m_fileSize; }

    // The "smpl" and "shdr" chunks, found in the LIST chunks of the RIFF form,
    // and whether there is an "sm24" chunk (the low bytes of 24-bit samples).
    bool findChunks(Chunk *samples, Chunk *headers, bool *extraBits = nullptr) const
    {
        std::array<std::uint8_t, 12> top{};
        if (!read(0, top.data(), top.size()) || std::memcmp(top.data(), "RIFF", 4) != 0 ||
            std::memcmp(top.data() + 8, "sfbk", 4) != 0)
            return false;
        const std::uint64_t end = std::min<std::uint64_t>(m_fileSize, 8 + le32(top.data() + 4));
        bool haveSamples = false, haveHeaders = false;
        for (std::uint64_t at = 12; at + 12 <= end;) {
            std::array<std::uint8_t, 12> list{};
            if (!read(at, list.data(), list.size()))
                return false;
            const std::uint64_t size = le32(list.data() + 4);
            if (std::memcmp(list.data(), "LIST", 4) == 0) {
                const std::uint64_t listEnd = std::min(end, at + 8 + size);
                haveSamples |= findInList(at + 12, listEnd, "smpl", samples);
                haveHeaders |= findInList(at + 12, listEnd, "shdr", headers);
                Chunk low;
                if (extraBits && findInList(at + 12, listEnd, "sm24", &low))
                    *extraBits = true;
            }
            at += 8 + size + (size & 1);
        }
        return haveSamples && haveHeaders;
    }

private:
    bool findInList(std::uint64_t at, std::uint64_t end, const char *id, Chunk *found) const
    {
        const std::uint64_t start = at;
        while (at + 8 <= end) {
            std::array<std::uint8_t, 8> header{};
            if (!read(at, header.data(), header.size()))
                return false;
            const std::uint64_t size = le32(header.data() + 4);
            if (std::memcmp(header.data(), id, 4) == 0) {
                found->list = start - 12; // past its id, size and form type
                found->offset = at + 8;
                found->size = std::min(size, end - (at + 8));
                return true;
            }
            at += 8 + size + (size & 1);
        }
        return false;
    }

    int m_fd;
    std::uint64_t m_fileSize = 0;
};

// The sample headers, 46 bytes each, the last one ending the list; nothing
// for a ROM or compressed sample, or headers that cannot be read.
std::optional<std::vector<std::uint8_t>> readHeaders(const Sf2Reader &file, const Chunk &headers)
{
    const std::size_t count = std::size_t(headers.size / Record);
    if (count < 2 || count > 1u << 20)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(count * Record);
    if (!file.read(headers.offset, bytes.data(), bytes.size()))
        return std::nullopt;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        const std::uint8_t *r = bytes.data() + i * Record;
        const auto type = std::uint16_t(r[44] | r[45] << 8);
        if ((type & 0x8000) != 0 || (type & 0x0010) != 0) // ROM, or compressed (SF3)
            return std::nullopt;
    }
    return bytes;
}

// Every sample's (start, end) in points, in order of their data; headers that
// share one sample's data (a stereo pair named twice, say) count once.
std::vector<std::pair<std::uint32_t, std::uint32_t>>
sampleRanges(const std::vector<std::uint8_t> &headers)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    for (std::size_t at = 0; at + 2 * Record <= headers.size(); at += Record)
        ranges.emplace_back(le32(headers.data() + at + 20), le32(headers.data() + at + 24));
    std::sort(ranges.begin(), ranges.end());
    ranges.erase(std::unique(ranges.begin(), ranges.end()), ranges.end());
    return ranges;
}

void putLe32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

} // namespace

namespace SampleLoading {

bool onDemand(const std::string &soundFont)
{
    return PaddedView::open(soundFont) != nullptr;
}

std::unique_ptr<PaddedView> PaddedView::open(const std::string &soundFont)
{
    std::string error;
    const int fd = openRegularFile(soundFont.c_str(), &error);
    if (fd < 0)
        return nullptr;
    auto fail = [fd] {
        ::close(fd);
        return nullptr;
    };
    const Sf2Reader file(fd);
    Chunk samples, headers;
    bool extraBits = false;
    if (!file.findChunks(&samples, &headers, &extraBits) || extraBits || samples.size % 2 != 0 ||
        (headers.offset < samples.offset + samples.size &&
         samples.offset < headers.offset + headers.size))
        return fail();
    std::optional<std::vector<std::uint8_t>> records = readHeaders(file, headers);
    if (!records)
        return fail();

    // Where silence goes in: after every sample with fewer than 46 points
    // before the next one (or the end of the data). Samples that overlap
    // cannot be told apart.
    const auto ranges = sampleRanges(*records);
    const auto points = std::uint64_t(samples.size / 2);
    std::vector<std::uint32_t> gaps; // the points the silence goes before, in order
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const std::uint64_t next = i + 1 < ranges.size() ? ranges[i + 1].first : points;
        if (ranges[i].first > ranges[i].second || ranges[i].second > next)
            return fail();
        if (std::uint64_t(ranges[i].second) + Padding > next)
            gaps.push_back(ranges[i].second);
    }
    const std::uint64_t added = std::uint64_t(gaps.size()) * Padding * 2;
    std::array<std::uint8_t, 4> riffSize{}, listSize{};
    if (!file.read(4, riffSize.data(), 4) || !file.read(samples.list + 4, listSize.data(), 4) ||
        std::uint64_t(le32(riffSize.data())) + added > 0xFFFFFFFFu ||
        samples.size + added > 0xFFFFFFFFu)
        return fail();

    // A sample's points all move by the silence put in before its start.
    for (std::size_t at = 0; at + 2 * Record <= records->size(); at += Record) {
        std::uint8_t *r = records->data() + at;
        const auto shift =
            std::uint32_t(std::upper_bound(gaps.begin(), gaps.end(), le32(r + 20)) - gaps.begin()) *
            Padding;
        for (const int field : {20, 24, 28, 32})
            putLe32(r + field, le32(r + field) + shift);
    }

    // The view: the file with new sizes for the RIFF form, the LIST chunk and
    // the sample chunk, silence among the samples, and the moved headers.
    std::vector<std::uint8_t> bytes = std::move(*records);
    const std::size_t sizesAt = bytes.size();
    bytes.resize(sizesAt + 12);
    putLe32(bytes.data() + sizesAt, le32(riffSize.data()) + std::uint32_t(added));
    putLe32(bytes.data() + sizesAt + 4, le32(listSize.data()) + std::uint32_t(added));
    putLe32(bytes.data() + sizesAt + 8, std::uint32_t(samples.size + added));
    struct Edit
    {
        std::uint64_t offset, length;
        std::vector<Segment> with; // their `at` is filled in below
    };
    std::vector<Edit> edits = {
        {4, 4, {{Segment::Bytes, 0, 4, sizesAt}}},
        {samples.list + 4, 4, {{Segment::Bytes, 0, 4, sizesAt + 4}}},
        {samples.offset - 4, 4, {{Segment::Bytes, 0, 4, sizesAt + 8}}},
        {samples.offset, samples.size, {}},
        {headers.offset, sizesAt, {{Segment::Bytes, 0, sizesAt, 0}}},
    };
    std::uint64_t from = 0;
    for (const std::uint32_t gap : gaps) {
        const std::uint64_t to = samples.offset + std::uint64_t(gap) * 2;
        if (to > samples.offset + from)
            edits[3].with.push_back(
                {Segment::File, 0, to - samples.offset - from, samples.offset + from});
        edits[3].with.push_back({Segment::Zero, 0, Padding * 2, 0});
        from = to - samples.offset;
    }
    if (from < samples.size)
        edits[3].with.push_back({Segment::File, 0, samples.size - from, samples.offset + from});
    std::sort(edits.begin(), edits.end(),
              [](const Edit &a, const Edit &b) { return a.offset < b.offset; });

    std::vector<Segment> segments;
    std::uint64_t view = 0, at = 0;
    const auto add = [&](Segment s) {
        if (s.length == 0)
            return;
        s.at = view;
        view += s.length;
        segments.push_back(s);
    };
    for (const Edit &e : edits) {
        if (e.offset < at)
            return fail(); // chunks that overlap
        add({Segment::File, 0, e.offset - at, at});
        for (const Segment &s : e.with)
            add(s);
        at = e.offset + e.length;
    }
    if (at > file.fileSize())
        return fail();
    add({Segment::File, 0, file.fileSize() - at, at});
    return std::unique_ptr<PaddedView>(new PaddedView(fd, std::move(segments), std::move(bytes)));
}

PaddedView::PaddedView(int fd, std::vector<Segment> segments, std::vector<std::uint8_t> bytes)
    : m_fd(fd), m_segments(std::move(segments)), m_bytes(std::move(bytes))
{
    if (!m_segments.empty())
        m_size = m_segments.back().at + m_segments.back().length;
}

PaddedView::~PaddedView()
{
    ::close(m_fd);
}

std::size_t PaddedView::samplesPadded() const
{
    return std::size_t(std::count_if(m_segments.begin(), m_segments.end(),
                                     [](const Segment &s) { return s.kind == Segment::Zero; }));
}

bool PaddedView::seek(std::int64_t offset, int origin)
{
    std::int64_t base = 0;
    if (origin == SEEK_CUR)
        base = std::int64_t(m_position);
    else if (origin == SEEK_END)
        base = std::int64_t(m_size);
    else if (origin != SEEK_SET)
        return false;
    const std::int64_t to = base + offset;
    if (to < 0 || std::uint64_t(to) > m_size)
        return false;
    m_position = std::uint64_t(to);
    return true;
}

bool PaddedView::read(void *into, std::uint64_t bytes)
{
    if (bytes > m_size - m_position)
        return false;
    if (bytes == 0)
        return true;
    auto *out = static_cast<std::uint8_t *>(into);
    std::uint64_t position = m_position;
    auto s = std::upper_bound(m_segments.begin(), m_segments.end(), position,
                              [](std::uint64_t p, const Segment &seg) { return p < seg.at; });
    for (--s; bytes > 0; ++s) {
        const std::uint64_t within = position - s->at;
        const std::uint64_t n = std::min(bytes, s->length - within);
        if (s->kind == Segment::Zero) {
            std::memset(out, 0, n);
        } else if (s->kind == Segment::Bytes) {
            std::memcpy(out, m_bytes.data() + s->from + within, n);
        } else if (!readFile(s->from + within, out, n)) {
            return false;
        }
        out += n;
        position += n;
        bytes -= n;
    }
    m_position = position;
    return true;
}

bool PaddedView::readFile(std::uint64_t offset, std::uint8_t *into, std::uint64_t bytes)
{
    constexpr std::uint64_t Block = 64 * 1024;
    const auto readAt = [this](std::uint64_t at, std::uint8_t *to, std::uint64_t count) {
        std::uint64_t done = 0;
        while (done < count) {
            const ssize_t got = ::pread(m_fd, to + done, count - done, off_t(at + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += std::uint64_t(got);
        }
        return done;
    };
    if (bytes >= Block) // sample data: straight into FluidSynth's buffer
        return readAt(offset, into, bytes) == bytes;
    if (offset < m_cachedFrom || offset + bytes > m_cachedFrom + m_cache.size()) {
        m_cache.resize(Block);
        m_cache.resize(readAt(offset, m_cache.data(), Block));
        m_cachedFrom = offset;
        if (bytes > m_cache.size())
            return false;
    }
    std::memcpy(into, m_cache.data() + (offset - m_cachedFrom), bytes);
    return true;
}

namespace {

// FluidSynth's file callbacks, on the view.
void *openView(const char *filename)
{
    return PaddedView::open(filename).release();
}

int readView(void *into, fluid_long_long_t count, void *handle)
{
    return count >= 0 && static_cast<PaddedView *>(handle)->read(into, std::uint64_t(count))
               ? FLUID_OK
               : FLUID_FAILED;
}

int seekView(void *handle, fluid_long_long_t offset, int origin)
{
    return static_cast<PaddedView *>(handle)->seek(offset, origin) ? FLUID_OK : FLUID_FAILED;
}

fluid_long_long_t tellView(void *handle)
{
    return fluid_long_long_t(static_cast<PaddedView *>(handle)->position());
}

int closeView(void *handle)
{
    delete static_cast<PaddedView *>(handle);
    return FLUID_OK;
}

} // namespace

void addPaddedLoader(fluid_synth_t *synth, fluid_settings_t *settings)
{
    fluid_sfloader_t *loader = new_fluid_defsfloader(settings);
    if (!loader)
        return;
    fluid_sfloader_set_callbacks(loader, openView, readView, seekView, tellView, closeView);
    fluid_synth_add_sfloader(synth, loader);
}

} // namespace SampleLoading
