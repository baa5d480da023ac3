// The words of a song: karaoke text and Lyric events read into timed lines,
// and damaged text kept bounded. (The render tool's --lyrics listing is in
// engine_synth_test, the open song's words on the device in
// engine_sequencer_test.)
#include "engine/Lyrics.h"
#include "engine/Timeline.h"

#include <QByteArray>
#include <gtest/gtest.h>
#include <string_view>

using namespace std::literals;

namespace {

constexpr std::uint8_t Text = 0x01, Lyric = 0x05;

void text(SmfWriter &w, std::int64_t tick, std::uint8_t type, std::string_view s)
{
    w.meta(tick, type, std::span(reinterpret_cast<const std::uint8_t *>(s.data()), s.size()));
}

// A karaoke file at 480 ticks a quarter: 120 bpm, then from tick 960 (1 s)
// 60 bpm, so that a tick is 1000/960 ms before and 2000/960 ms after.
std::vector<std::uint8_t> karaoke()
{
    SmfWriter w(1, 480);
    w.beginTrack();
    w.tempo(0, 500000);
    w.tempo(960, 1000000);
    w.endTrack(3840);
    w.beginTrack();
    text(w, 0, Text, "@KMIDI KARAOKE FILE");
    w.endTrack(0);
    w.beginTrack();
    for (const char *header : {"@LENGL", "@TLittle song", "@TSonabel "})
        text(w, 0, Text, header);
    const std::pair<std::int64_t, const char *> words[] = {
        {480, "\\Hel"}, {720, "lo "},       {1200, "world"}, {1440, "/How "}, {1680, "are "},
        {1920, "you"},  {2000, "@IA test"}, {2400, "\\Se"},  {2640, "cond"},  {2700, ""},
        {2800, "/"},    {2800, "/"},        {2880, "Last "}};
    for (const auto &[tick, s] : words)
        text(w, tick, Text, s);
    w.endTrack(3840);
    return w.bytes();
}

Lyrics wordsOf(const std::vector<std::uint8_t> &bytes)
{
    const MidiFile file = MidiFile::parse(bytes);
    EXPECT_TRUE(file.ok()) << file.error();
    return Lyrics::read(file, Timeline::build(file)->tempoMap());
}

// One track of events of a type, at 1 ms a tick.
Lyrics wordsOf(std::uint8_t type, const std::vector<std::string> &events)
{
    SmfWriter w(0, 1000);
    w.beginTrack();
    w.tempo(0, 1000000);
    std::int64_t tick = 0;
    for (const std::string &s : events)
        text(w, tick++, type, s);
    w.endTrack(tick);
    return wordsOf(w.bytes());
}

// Each line as "start text", a paragraph's with a '\\' before its text.
std::vector<std::string> texts(const Lyrics &lyrics)
{
    std::vector<std::string> out;
    for (const LyricLine &line : lyrics.lines())
        out.push_back(std::to_string(line.timeMs) + (line.paragraph ? " \\" : " ") + line.text);
    return out;
}

} // namespace

TEST(Lyrics, KaraokeTextMakesTimedLinesThroughTheTempoMap)
{
    // Marks and empty syllables make no lines; '@' text is not sung.
    const Lyrics lyrics = wordsOf(karaoke());
    EXPECT_EQ(lyrics.text(), "Hello world\nHow are you\n\nSecond\nLast");
    std::string headers;
    for (const LyricHeader &h : lyrics.headers())
        headers += h.kind + h.text + '|';
    EXPECT_EQ(headers, "KMIDI KARAOKE FILE|LENGL|TLittle song|TSonabel|IA test|");
    // Every syllable with its time: the first line crosses the tempo change
    // (tick 1200 is 1000 ms + 240 ticks of 2000/960 ms).
    std::vector<std::string> syllables;
    for (const LyricLine &line : lyrics.lines()) {
        for (const LyricSyllable &x : line.syllables)
            syllables.push_back(std::to_string(x.timeMs) + ' ' +
                                line.text.substr(x.begin, x.end - x.begin));
    }
    EXPECT_EQ(syllables, (std::vector<std::string>{"500 Hel", "750 lo ", "1500 world", "2000 How ",
                                                   "2500 are ", "3000 you", "4000 Se", "4500 cond",
                                                   "5000 Last"}));

    // Where the words stand, and when that next changes, on both sides of
    // each change.
    using Case = std::tuple<std::int64_t, int, std::size_t, std::int64_t>;
    for (const auto &[ms, line, sung, next] :
         {Case{499, -1, 0, 500}, Case{500, 0, 3, 750}, Case{749, 0, 3, 750},
          Case{1999, 0, 11, 2000}, Case{2000, 1, 4, 2500}, Case{5000, 3, 4, -1}}) {
        SCOPED_TRACE(ms);
        const LyricPosition at = lyrics.at(ms);
        EXPECT_EQ(at.line, line);
        EXPECT_EQ(at.sung, sung);
        EXPECT_EQ(lyrics.nextChange(ms), next);
    }

    // Ordinary text events (a title, markers) are no words; format 2 times
    // each pattern from the end of the one before; Lyric events win over
    // karaoke text, even over more of it.
    EXPECT_TRUE(wordsOf(Text, {"Verse", "Chorus", "Made with a sequencer"}).empty());
    SmfWriter patterns(2, 480);
    patterns.beginTrack();
    for (const char *s : {"\\Kara", "o", "ke", "/text"})
        text(patterns, 100, Text, s);
    text(patterns, 240, Lyric, "one");
    patterns.endTrack(960);
    patterns.beginTrack(); // the track with the most words is read
    text(patterns, 240, Lyric, "two ");
    text(patterns, 480, Lyric, "three");
    patterns.endTrack(960);
    EXPECT_EQ(texts(wordsOf(patterns.bytes())), std::vector<std::string>{"1250 two three"});
}

// Lyric events: line ends inside syllables break lines, an empty line makes a
// paragraph, each event is UTF-8 when it can be, else Windows-1252 (syllables
// count bytes of UTF-8); words as notation programs write them (no spaces of
// their own, a hyphen joining the syllables of a word) get their spaces; text
// ends at a NUL.
TEST(Lyrics, LyricEventsBreakIntoLines)
{
    using Case = std::pair<std::vector<std::string>, std::vector<std::string>>;
    for (const auto &[events, lines] : {
             Case{
                 {"Caf\xE9 ", "na\xC3\xAFve", "\r", "\x93Hi\x94\r\n", "\r\n", "A\tB\001C", "/x\ry"},
                 {"0 Café naïve", "3 “Hi”", "5 \\A BC", "6 x", "6 y"}},
             Case{{"\xC0\xAF", " \xED\xA0\x80", " \xE2\x82"}, {"0 À¯ í\xC2\xA0€ â‚"}},
             Case{{"Hel-", "lo", "world", "A-", "gain\r", "Next"},
                  {"0 Hello world Again", "5 Next"}},
             Case{{"ab\0cd"s, "\0hidden"s}, {"0 ab"}},
         }) {
        EXPECT_EQ(texts(wordsOf(Lyric, events)), lines);
    }
    EXPECT_EQ(wordsOf(Lyric, {"Caf\xE9 ", "na\xC3\xAFve"}).lines()[0].syllables[1].begin, 6u);
}

// Hostile text stays bounded: only the first 1024 bytes of an event are read,
// without the half of a character the limit cuts, in lines of 100 bytes at
// most, and fifty thousand syllables stop at the limit, 33 to a line.
TEST(Lyrics, HostileTextStaysBounded)
{
    // 10 lines of 16 whole words, then 10 words and "word"; 1023 'a' in lines of 100.
    const Lyrics words = wordsOf(Lyric, {QByteArray("words ").repeated(166667).toStdString()});
    EXPECT_EQ(words.text().size(), 10 * 95 + 64 + 10);
    EXPECT_EQ(wordsOf(Lyric, {std::string(1023, 'a') + "\xC3\xA9"}).text().size(), 1023 + 10);
    for (const LyricLine &line : words.lines())
        EXPECT_LE(line.text.size(), Lyrics::MaxLineBytes);
    EXPECT_EQ(wordsOf(Lyric, std::vector<std::string>(50000, "la ")).lines().size(),
              (Lyrics::MaxSyllables + 32) / 33);
}
