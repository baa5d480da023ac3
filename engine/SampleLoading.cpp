// The choice between loading a SoundFont's samples on demand or whole; see
// SampleLoading.h.
#include "engine/SampleLoading.h"

#include "engine/RegularFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

// Points the format reserves after each sample.
constexpr std::uint32_t Padding = 46;

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

// A chunk of the file: where its data lies.
struct Chunk
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
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

    // The "smpl" and "shdr" chunks, found in the LIST chunks of the RIFF form.
    bool findChunks(Chunk *samples, Chunk *headers) const
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
            }
            at += 8 + size + (size & 1);
        }
        return haveSamples && haveHeaders;
    }

private:
    bool findInList(std::uint64_t at, std::uint64_t end, const char *id, Chunk *found) const
    {
        while (at + 8 <= end) {
            std::array<std::uint8_t, 8> header{};
            if (!read(at, header.data(), header.size()))
                return false;
            const std::uint64_t size = le32(header.data() + 4);
            if (std::memcmp(header.data(), id, 4) == 0) {
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

// Every sample's (start, end) in points, or nothing for a compressed or ROM
// sample, or headers that cannot be read.
std::optional<std::vector<std::pair<std::uint32_t, std::uint32_t>>>
sampleRanges(const Sf2Reader &file, const Chunk &headers)
{
    constexpr std::size_t Record = 46;
    const std::size_t count = std::size_t(headers.size / Record);
    if (count < 2 || count > 1u << 20)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(count * Record);
    if (!file.read(headers.offset, bytes.data(), bytes.size()))
        return std::nullopt;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges;
    for (std::size_t i = 0; i + 1 < count; ++i) { // the last record ends the list
        const std::uint8_t *r = bytes.data() + i * Record;
        const auto type = std::uint16_t(r[44] | r[45] << 8);
        if ((type & 0x8000) != 0 || (type & 0x0010) != 0) // ROM, or compressed (SF3)
            return std::nullopt;
        ranges.emplace_back(le32(r + 20), le32(r + 24));
    }
    return ranges;
}

} // namespace

namespace SampleLoading {

bool samplesPadded(const std::string &soundFont)
{
    std::string error;
    const int fd = openRegularFile(soundFont.c_str(), &error);
    if (fd < 0)
        return false;
    const Sf2Reader file(fd);
    Chunk samples, headers;
    std::optional<std::vector<std::pair<std::uint32_t, std::uint32_t>>> ranges;
    if (file.findChunks(&samples, &headers))
        ranges = sampleRanges(file, headers);
    ::close(fd);
    if (!ranges)
        return false;
    // Samples in order of their data; headers that share one sample's data
    // (a stereo pair named twice, say) count once.
    std::sort(ranges->begin(), ranges->end());
    ranges->erase(std::unique(ranges->begin(), ranges->end()), ranges->end());
    const auto points = std::uint64_t(samples.size / 2);
    for (std::size_t i = 0; i < ranges->size(); ++i) {
        const std::uint64_t next = i + 1 < ranges->size() ? (*ranges)[i + 1].first : points;
        if (std::uint64_t((*ranges)[i].second) + Padding > next)
            return false;
    }
    return true;
}

bool onDemand(const std::string &soundFont)
{
    struct stat info;
    if (::stat(soundFont.c_str(), &info) != 0 || std::uint64_t(info.st_size) < OnDemandFrom)
        return false;
    return samplesPadded(soundFont);
}

} // namespace SampleLoading
