// Reads the words of a song and answers where they stand; see Lyrics.h.
#include "engine/Lyrics.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

constexpr std::uint8_t MetaText = 0x01;
constexpr std::uint8_t MetaLyric = 0x05;
// Headers are short; the rest of a long one is dropped.
constexpr std::size_t MaxHeaderBytes = 256;

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        std::uint32_t cp = 0, least = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2, cp = c & 0x1Fu, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3, cp = c & 0x0Fu, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4, cp = c & 0x07u, least = 0x10000;
        } else {
            return false;
        }
        if (s.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if (!isContinuation(b))
                return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

void appendUtf8(std::string &out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

// Windows-1252 to UTF-8; the five bytes it leaves undefined are dropped.
std::string fromWindows1252(std::string_view s)
{
    static constexpr std::uint16_t High[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    std::string out;
    out.reserve(s.size() * 2);
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        const std::uint32_t cp = c >= 0x80 && c < 0xA0 ? High[c - 0x80] : c;
        if (cp != 0)
            appendUtf8(out, cp);
    }
    return out;
}

// An event's text as UTF-8: up to its first NUL and at most `limit` bytes (a
// UTF-8 character cut by the limit is left out whole).
std::string decode(std::span<const std::uint8_t> payload, std::size_t limit)
{
    const auto nul = std::find(payload.begin(), payload.end(), std::uint8_t(0));
    std::string_view raw(reinterpret_cast<const char *>(payload.data()),
                         std::size_t(nul - payload.begin()));
    const bool cut = raw.size() > limit;
    raw = raw.substr(0, limit);
    for (std::size_t drop = 0; drop <= (cut ? 3u : 0u) && drop < raw.size(); ++drop) {
        const std::string_view part = raw.substr(0, raw.size() - drop);
        if (isValidUtf8(part))
            return std::string(part);
    }
    return fromWindows1252(raw);
}

std::string_view trimLeft(std::string_view s)
{
    const std::size_t first = s.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : s.substr(first);
}

// Collects syllables into lines: breaks wait for the next text, so marks and
// empty syllables never make empty lines, and long lines are wrapped.
class LineBuilder
{
public:
    // words: each syllable is a word, or a syllable ending with '-' that the
    // next one continues; spaces go between them (see carrySpaces()).
    explicit LineBuilder(bool words) : m_words(words) {}

    // A '/' mark, or a line break inside a syllable.
    void lineMark() { m_breaks = std::max(m_breaks, 1); }
    void lineBreak() { ++m_breaks; }
    // A '\' mark.
    void paragraphMark() { m_paragraph = true; }

    // Text of a syllable (valid UTF-8, no control characters) sung at ms.
    void add(std::int64_t ms, std::string_view piece)
    {
        if ((m_breaks > 0 || m_paragraph) && !m_line.text.empty())
            finishLine();
        std::string spaced;
        if (m_words && !piece.empty()) {
            const bool joined = std::exchange(m_joinNext, false);
            if (piece.size() > 1 && piece.back() == '-') {
                piece.remove_suffix(1);
                m_joinNext = true;
            }
            if (!joined && !m_line.text.empty()) {
                spaced = ' ' + std::string(piece);
                piece = spaced;
            }
        }
        if (m_line.text.empty()) {
            piece = trimLeft(piece);
            if (piece.empty())
                return;
            m_line.paragraph = m_paragraph || m_breaks >= 2;
        }
        m_breaks = 0;
        m_paragraph = false;
        m_textBytes += piece.size();
        while (!piece.empty()) {
            const std::size_t room = Lyrics::MaxLineBytes - m_line.text.size();
            if (piece.size() <= room) {
                append(ms, piece);
                return;
            }
            const bool startsWord =
                m_line.text.empty() || m_line.text.back() == ' ' || piece.front() == ' ';
            std::size_t cut = piece.substr(0, room).rfind(' ');
            cut = cut == std::string_view::npos ? 0 : cut + 1;
            if (!m_line.text.empty() && (startsWord || cut == 0)) {
                // Wrap before the piece, or before a word too long to fit.
                finishLine();
                piece = trimLeft(piece);
                continue;
            }
            if (cut == 0) { // one word wider than a line: cut it
                cut = room;
                while (cut > 0 && isContinuation(static_cast<unsigned char>(piece[cut])))
                    --cut;
            }
            append(ms, piece.substr(0, cut));
            finishLine();
            piece = trimLeft(piece.substr(cut));
        }
    }

    bool full() const
    {
        return m_syllables >= Lyrics::MaxSyllables || m_textBytes >= Lyrics::MaxTextBytes;
    }

    std::vector<LyricLine> finish()
    {
        finishLine();
        return std::move(m_lines);
    }

private:
    void append(std::int64_t ms, std::string_view piece)
    {
        const auto begin = std::uint32_t(m_line.text.size());
        m_line.text += piece;
        m_line.syllables.push_back({ms, begin, std::uint32_t(m_line.text.size())});
        ++m_syllables;
    }

    // Ends the line: trailing spaces go, with the syllables left empty by that.
    void finishLine()
    {
        LyricLine &line = m_line;
        const std::size_t last = line.text.find_last_not_of(' ');
        line.text.resize(last == std::string::npos ? 0 : last + 1);
        const auto size = std::uint32_t(line.text.size());
        for (LyricSyllable &s : line.syllables) {
            s.begin = std::min(s.begin, size);
            s.end = std::min(s.end, size);
        }
        std::erase_if(line.syllables, [](const LyricSyllable &s) { return s.begin == s.end; });
        if (!line.syllables.empty()) {
            line.timeMs = line.syllables.front().timeMs;
            m_lines.push_back(std::move(line));
        }
        m_line = LyricLine();
    }

    const bool m_words;
    bool m_joinNext = false; // words: the last syllable ended with '-'
    std::vector<LyricLine> m_lines;
    LyricLine m_line;
    int m_breaks = 0; // line breaks since the last text
    bool m_paragraph = false;
    std::size_t m_syllables = 0;
    std::size_t m_textBytes = 0;
};

// One syllable's text into the builder: marks, line breaks, and control
// characters (dropped; a tab is a space).
void feed(LineBuilder &builder, std::int64_t ms, std::string_view text)
{
    if (!text.empty() && text.front() == '\\') {
        builder.paragraphMark();
        text.remove_prefix(1);
    } else if (!text.empty() && text.front() == '/') {
        builder.lineMark();
        text.remove_prefix(1);
    }
    std::string piece;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const auto next = [&](std::size_t k) {
            return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
        };
        if (c == '\r' || c == '\n') {
            builder.add(ms, piece);
            piece.clear();
            builder.lineBreak();
            if (c == '\r' && next(1) == '\n')
                ++i;
        } else if (c == '\t') {
            piece += ' ';
        } else if (c < 0x20 || c == 0x7F) {
            continue;
        } else if (c == 0xC2 && next(1) >= 0x80 && next(1) < 0xA0) {
            ++i; // a C1 control character
        } else if (c == 0xEF && next(1) == 0xBB && next(2) == 0xBF) {
            i += 2; // a byte order mark
        } else {
            piece += char(c);
        }
    }
    builder.add(ms, piece);
}

std::int64_t toMs(const TempoMap &tempo, std::int64_t tick)
{
    // Rounded as the time line rounds its events and its length.
    const double us = std::clamp(tempo.toMicroseconds(tick), 0.0, 1e17);
    return (std::llround(us) + 500) / 1000;
}

// What one track holds of words.
struct TrackSurvey
{
    std::size_t lyricEvents = 0;
    std::size_t textSyllables = 0; // text events that are not headers
    bool karaokeMarks = false;     // a '/' or '\' syllable, or an '@' header
};

std::string_view trimmed(std::string_view s)
{
    s = trimLeft(s);
    return s.substr(0, s.find_last_not_of(' ') + 1);
}

LyricHeader readHeader(std::span<const std::uint8_t> payload)
{
    std::string text;
    for (const char c : decode(payload, MaxHeaderBytes)) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F)
            text += c;
        else if (c == '\t')
            text += ' ';
    }
    if (text.size() < 2)
        return {};
    return {text[1], std::string(trimmed(std::string_view(text).substr(2)))};
}

// Whether the bytes hold FF 01 or FF 05 anywhere: a track without either has
// no words and need not be walked event by event (the note tracks of a dense
// song hold hardly an FF byte, so this costs a fraction of a walk).
bool mayHoldWords(std::span<const std::uint8_t> bytes)
{
    const std::uint8_t *p = bytes.data();
    const std::uint8_t *const end = p + bytes.size();
    while ((p = static_cast<const std::uint8_t *>(std::memchr(p, 0xFF, std::size_t(end - p))))) {
        if (++p < end && (*p == MetaText || *p == MetaLyric))
            return true;
    }
    return false;
}

// What each track holds of words; the karaoke headers of all of them on the way.
std::vector<TrackSurvey> surveyTracks(const MidiFile &file, std::vector<LyricHeader> &headers)
{
    std::vector<TrackSurvey> survey(file.trackCount());
    for (std::size_t i = 0; i < survey.size(); ++i) {
        if (!mayHoldWords(file.trackBytes(i)))
            continue;
        MidiEventReader reader = file.events(i);
        MidiEvent e;
        while (reader.next(e)) {
            if (e.status != 0xFF || (e.data1 != MetaText && e.data1 != MetaLyric) || e.length == 0)
                continue;
            const auto payload = file.payload(e);
            if (payload[0] == 0)
                continue;
            if (e.data1 == MetaLyric) {
                ++survey[i].lyricEvents;
            } else if (payload[0] == '@') {
                survey[i].karaokeMarks = true;
                if (headers.size() < Lyrics::MaxHeaders) {
                    LyricHeader header = readHeader(payload);
                    if (header.kind != 0)
                        headers.push_back(std::move(header));
                }
            } else {
                ++survey[i].textSyllables;
                survey[i].karaokeMarks |= payload[0] == '/' || payload[0] == '\\';
            }
        }
    }
    return survey;
}

// Calls f(tick, text) with the decoded text of each event of a type in a
// track (karaoke headers and empty texts left out) until f returns false.
template <typename F>
void forEachText(const MidiFile &file, std::size_t track, std::uint8_t type, F f)
{
    MidiEventReader reader = file.events(track);
    MidiEvent e;
    while (reader.next(e)) {
        if (!e.isMeta(type) || e.length == 0)
            continue;
        const auto payload = file.payload(e);
        if (type == MetaText && payload[0] == '@')
            continue;
        const std::string text = decode(payload, Lyrics::MaxEventBytes);
        if (!text.empty() && !f(e.tick, text))
            return;
    }
}

// Whether the syllables carry their own spaces, as karaoke files write them
// ("Hel", "lo ", "world"); if none has a space at either end, they are words
// and hyphen-ended syllables, as notation programs write them ("Hel-", "lo",
// "world"), and the spaces go between them.
bool carrySpaces(const MidiFile &file, std::size_t track, std::uint8_t type)
{
    bool spaced = false;
    forEachText(file, track, type, [&spaced](std::int64_t, std::string_view t) {
        if (t.front() == '/' || t.front() == '\\')
            t.remove_prefix(1);
        const std::size_t first = t.find_first_not_of("\r\n");
        if (first == std::string_view::npos)
            return true;
        const std::size_t last = t.find_last_not_of("\r\n");
        for (const char c : {t[first], t[last]})
            spaced |= c == ' ' || c == '\t';
        return !spaced;
    });
    return spaced;
}

} // namespace

Lyrics Lyrics::read(const MidiFile &file, const TempoMap &tempo)
{
    Lyrics lyrics;
    const std::size_t tracks = file.trackCount();
    // Format 2 lays its tracks end to end, as the time line does.
    std::vector<std::int64_t> offsets(tracks, 0);
    for (std::size_t i = 1; file.format() == 2 && i < tracks; ++i)
        offsets[i] = offsets[i - 1] + std::max<std::int64_t>(0, file.lastTick(i - 1));

    const std::vector<TrackSurvey> survey = surveyTracks(file, lyrics.m_headers);

    // The track to read the words from, and which of its events are words.
    std::size_t chosen = tracks;
    std::size_t most = 0;
    for (std::size_t i = 0; i < tracks; ++i) {
        if (survey[i].lyricEvents > most) {
            chosen = i;
            most = survey[i].lyricEvents;
            lyrics.m_source = Source::LyricEvents;
        }
    }
    for (std::size_t i = 0; lyrics.m_source == Source::None && i < tracks; ++i) {
        if (survey[i].karaokeMarks && survey[i].textSyllables > most) {
            chosen = i;
            most = survey[i].textSyllables;
        }
    }
    if (chosen == tracks)
        return lyrics;
    if (lyrics.m_source == Source::None)
        lyrics.m_source = Source::KaraokeText;

    const std::uint8_t type = lyrics.m_source == Source::LyricEvents ? MetaLyric : MetaText;
    LineBuilder builder(!carrySpaces(file, chosen, type));
    forEachText(file, chosen, type, [&](std::int64_t tick, std::string_view text) {
        feed(builder, toMs(tempo, tick + offsets[chosen]), text);
        return !builder.full();
    });
    lyrics.m_lines = builder.finish();
    if (lyrics.m_lines.empty())
        lyrics.m_source = Source::None;
    return lyrics;
}

LyricPosition Lyrics::at(std::int64_t ms) const
{
    const auto line =
        std::upper_bound(m_lines.begin(), m_lines.end(), ms,
                         [](std::int64_t t, const LyricLine &l) { return t < l.timeMs; });
    if (line == m_lines.begin())
        return {};
    const LyricLine &shown = *(line - 1);
    const auto sung =
        std::upper_bound(shown.syllables.begin(), shown.syllables.end(), ms,
                         [](std::int64_t t, const LyricSyllable &s) { return t < s.timeMs; });
    return {int(line - m_lines.begin() - 1), sung == shown.syllables.begin() ? 0 : (sung - 1)->end};
}

std::int64_t Lyrics::nextChange(std::int64_t ms) const
{
    const auto line =
        std::upper_bound(m_lines.begin(), m_lines.end(), ms,
                         [](std::int64_t t, const LyricLine &l) { return t < l.timeMs; });
    if (line != m_lines.begin()) {
        const LyricLine &shown = *(line - 1);
        const auto next =
            std::upper_bound(shown.syllables.begin(), shown.syllables.end(), ms,
                             [](std::int64_t t, const LyricSyllable &s) { return t < s.timeMs; });
        if (next != shown.syllables.end())
            return next->timeMs;
    }
    return line == m_lines.end() ? -1 : line->timeMs;
}

std::string Lyrics::text() const
{
    std::string out;
    for (const LyricLine &line : m_lines) {
        if (!out.empty())
            out += line.paragraph ? "\n\n" : "\n";
        out += line.text;
    }
    return out;
}
