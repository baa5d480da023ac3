// The words of a song, in time: read from a file's Lyric meta events or, in
// karaoke files, from the text events of the words track. Plain C++ on top of
// MidiFile and TempoMap; immutable once read, so shareable between threads.
//
// Where the words come from:
//  - Lyric events (FF 05), when the file has any: those of the track with the
//    most of them (a second track often repeats the same words).
//  - Otherwise the text events (FF 01) of the karaoke words track: of the
//    tracks whose text events use the karaoke marks, the one with the most
//    syllables. Text starting with '@' is a header (@T title, @L language,
//    @I information, ...) and is not sung.
// In both, a syllable starting with '\' begins a paragraph and one starting
// with '/' a new line; a carriage return or line feed inside a syllable breaks
// the line there, and an empty line between two breaks makes a paragraph.
// Syllables carry their own spaces ("Hel", "lo ", "world"), unless none of
// them has a space at either end: then they are words and hyphen-ended
// syllables, as notation programs write them ("Hel-", "lo", "world"), and
// spaces go between them.
// Text is UTF-8 where an event's bytes are valid UTF-8, else Windows-1252;
// what is kept is always valid UTF-8 without control characters.
//
// A line longer than the window can show (MaxLineBytes) is wrapped at a word
// boundary. Hostile text costs no more than a pass over the file: only the
// first MaxEventBytes of an event are looked at, text ends at a NUL byte,
// empty syllables and line marks make no lines, and reading stops after
// MaxSyllables syllables or MaxTextBytes of text.
#pragma once

#include "engine/MidiFile.h"
#include "engine/TempoMap.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct LyricSyllable
{
    std::int64_t timeMs = 0;
    // Where the syllable lies in its line's text, in bytes: [begin, end), on
    // character boundaries. The syllables of a line follow each other without
    // overlap; only spaces between them are left out.
    std::uint32_t begin = 0;
    std::uint32_t end = 0;
};

struct LyricLine
{
    std::int64_t timeMs = 0;              // when its first syllable is sung
    std::string text;                     // UTF-8, without leading or trailing spaces
    std::vector<LyricSyllable> syllables; // in time order, never empty
    bool paragraph = false;               // the line begins a paragraph
};

// A karaoke header: "@TLove me" is kind 'T' and text "Love me".
struct LyricHeader
{
    char kind = 0;
    std::string text;
};

// Where the words stand at a point of the song.
struct LyricPosition
{
    // The line shown: the last one begun at or before that time; -1 before
    // the first one (or for a song without words).
    int line = -1;
    // How much of its text is sung, in bytes (the end of the last syllable
    // begun at or before that time).
    std::size_t sung = 0;
};

class Lyrics
{
public:
    enum class Source { None, LyricEvents, KaraokeText };

    static constexpr std::size_t MaxEventBytes = 1024;
    static constexpr std::size_t MaxLineBytes = 100;
    static constexpr std::size_t MaxSyllables = 20000;
    static constexpr std::size_t MaxTextBytes = 256 * 1024;
    static constexpr std::size_t MaxHeaders = 64;

    // The words of a file that opened; tempo is the tempo map of its merged
    // time line (Timeline::tempoMap()), so that times agree with what plays.
    static Lyrics read(const MidiFile &file, const TempoMap &tempo);

    bool empty() const { return m_lines.empty(); }
    Source source() const { return m_source; }
    const std::vector<LyricLine> &lines() const { return m_lines; }
    // Every '@' text event of the file, in track order.
    const std::vector<LyricHeader> &headers() const { return m_headers; }

    // These take a logarithmic time: cheap enough for every timer tick.
    LyricPosition at(std::int64_t ms) const;
    // The first time after ms at which at() changes (a syllable is sung or a
    // line begins), or -1 when nothing changes any more.
    std::int64_t nextChange(std::int64_t ms) const;

    // The whole text, one line after the other separated by newlines, with an
    // empty line before each paragraph but the first line.
    std::string text() const;

private:
    Source m_source = Source::None;
    std::vector<LyricLine> m_lines;
    std::vector<LyricHeader> m_headers;
};
