// Collation keys from ICU, the library QCollator itself uses here, set up the
// way QCollator sets it up for a case-insensitive comparison; then an MSD
// radix sort over the key bytes.
#include "playlist/CollationKeys.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>
#include <unicode/ucol.h>

namespace {

// Ranges this small are finished by insertion sort.
constexpr std::size_t InsertionSortBelow = 32;

struct Range
{
    std::size_t begin;
    std::size_t count;
    std::size_t depth; // key bytes before this are equal across the range
};

} // namespace

void CollationKeys::CloseCollator::operator()(UCollator *collator) const
{
    ucol_close(collator);
}

CollationKeys::CollationKeys(const QLocale &locale)
{
    if (locale.language() == QLocale::C)
        return;
    UErrorCode status = U_ZERO_ERROR;
    m_collator.reset(
        ucol_open(locale.bcp47Name().replace(u'-', u'_').toLatin1().constData(), &status));
    if (U_FAILURE(status)) {
        // An unknown locale name already falls back to the root collation
        // inside ICU; a failure here means ICU has no data at all, and the
        // keys are made as in the C locale.
        m_collator.reset();
        return;
    }
    ucol_setAttribute(m_collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
    ucol_setAttribute(m_collator.get(), UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(m_collator.get(), UCOL_NUMERIC_COLLATION, UCOL_OFF, &status);
    ucol_setAttribute(m_collator.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
}

CollationKeys::~CollationKeys() = default;

void CollationKeys::reserve(std::size_t texts)
{
    m_starts.reserve(texts + 1);
    m_bytes.reserve(texts * 96);
}

void CollationKeys::add(const QString &text)
{
    const std::size_t start = m_bytes.size();
    if (!m_collator) {
        const QByteArray folded = text.toCaseFolded().toUtf8();
        m_bytes.insert(m_bytes.end(), folded.cbegin(), folded.cend());
        m_starts.push_back(m_bytes.size());
        shortenCommonPrefix();
        return;
    }
    const auto *chars = reinterpret_cast<const UChar *>(text.utf16());
    const auto length = static_cast<int32_t>(text.size());
    // Most keys fit the buffer; for a longer one ICU says the size it needs,
    // and it is made again straight into the block.
    std::array<std::uint8_t, 512> buffer;
    const int32_t needed = ucol_getSortKey(m_collator.get(), chars, length, buffer.data(),
                                           static_cast<int32_t>(buffer.size()));
    // The terminating zero is left out: a key that ends sorts first anyway.
    const auto kept = static_cast<std::size_t>(std::max(needed - 1, 0));
    if (needed <= static_cast<int32_t>(buffer.size())) {
        m_bytes.insert(m_bytes.end(), buffer.data(), buffer.data() + kept);
    } else {
        m_bytes.resize(start + kept + 1);
        ucol_getSortKey(m_collator.get(), chars, length, &m_bytes[start], needed);
        m_bytes.pop_back();
    }
    m_starts.push_back(m_bytes.size());
    shortenCommonPrefix();
}

void CollationKeys::shortenCommonPrefix()
{
    // Done while the new key is still in the cache; the sort then starts past
    // the folders every path shares.
    const std::size_t last = size() - 1;
    const std::size_t start = m_starts[last];
    if (last == 0) {
        m_common = m_starts[1];
        return;
    }
    m_common = std::min(m_common, m_starts[last + 1] - start);
    std::size_t k = 0;
    while (k < m_common && m_bytes[start + k] == m_bytes[k])
        ++k;
    m_common = k;
}

std::vector<std::uint32_t> CollationKeys::order() const
{
    const std::size_t n = size();
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), std::uint32_t{0});
    std::vector<std::uint32_t> scratch(n);
    std::vector<std::uint16_t> buckets(n);

    const std::uint8_t *bytes = m_bytes.data();
    const std::size_t *starts = m_starts.data();
    auto length = [starts](std::uint32_t key) {
        return starts[key + 1] - starts[key];
    };
    // Byte `depth` of a key as 1..256, or 0 where the key has ended.
    auto bucketOf = [&](std::uint32_t key, std::size_t depth) -> std::size_t {
        return depth < length(key) ? std::size_t{bytes[starts[key] + depth]} + 1 : 0;
    };
    // Keys equal up to depth; is a before b from there on?
    auto less = [&](std::uint32_t a, std::uint32_t b, std::size_t depth) {
        const std::size_t la = length(a) - depth, lb = length(b) - depth;
        const int c =
            std::memcmp(bytes + starts[a] + depth, bytes + starts[b] + depth, std::min(la, lb));
        return c < 0 || (c == 0 && la < lb);
    };

    // An explicit stack rather than recursion: a run of long, nearly equal
    // paths would otherwise nest once per shared byte.
    std::vector<Range> work{{0, n, m_common}};
    while (!work.empty()) {
        Range r = work.back();
        work.pop_back();
        std::uint32_t *keys = order.data() + r.begin;
        if (r.count < InsertionSortBelow) {
            // Stable: an element moves only past greater ones.
            for (std::size_t i = 1; i < r.count; ++i) {
                const std::uint32_t key = keys[i];
                std::size_t j = i;
                for (; j > 0 && less(key, keys[j - 1], r.depth); --j)
                    keys[j] = keys[j - 1];
                keys[j] = key;
            }
            continue;
        }
        // Skip the bytes every key of the range shares (the common folders of
        // a collection), reading each key's bytes in a row.
        std::size_t common = length(keys[0]) - r.depth;
        const std::uint8_t *first = bytes + starts[keys[0]] + r.depth;
        for (std::size_t i = 1; i < r.count && common > 0; ++i) {
            const std::uint8_t *other = bytes + starts[keys[i]] + r.depth;
            const std::size_t limit = std::min(common, length(keys[i]) - r.depth);
            std::size_t k = 0;
            while (k < limit && other[k] == first[k])
                ++k;
            common = k;
        }
        r.depth += common;

        // The keys lie scattered in memory: each is fetched a few steps ahead,
        // and its bucket noted so the distribution does not read it again.
        std::array<std::size_t, 258> offsets{};
        std::uint16_t *bucket = buckets.data() + r.begin;
        for (std::size_t i = 0; i < r.count; ++i) {
            if (i + 8 < r.count)
                __builtin_prefetch(bytes + starts[keys[i + 8]] + r.depth);
            bucket[i] = static_cast<std::uint16_t>(bucketOf(keys[i], r.depth));
            ++offsets[bucket[i] + 1u];
        }
        for (std::size_t b = 1; b < offsets.size(); ++b)
            offsets[b] += offsets[b - 1];
        // Counting sort is stable, so equal keys keep their order.
        std::array<std::size_t, 257> next{};
        std::copy_n(offsets.begin(), next.size(), next.begin());
        for (std::size_t i = 0; i < r.count; ++i)
            scratch[next[bucket[i]]++] = keys[i];
        std::copy_n(scratch.begin(), r.count, keys);
        // Bucket 0 holds the keys that ended here: all equal, done.
        for (std::size_t b = 1; b < 257; ++b) {
            const std::size_t count = offsets[b + 1] - offsets[b];
            if (count > 1)
                work.push_back({r.begin + offsets[b], count, r.depth + 1});
        }
    }
    return order;
}
