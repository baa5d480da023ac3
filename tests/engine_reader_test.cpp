// The MIDI file reader against the corpus, hand-made damaged files and the
// writer.
#include "engine_helpers.h"
#include "playback/Timeline.h"

#include <QDir>
#include <QDirIterator>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace enginetest;

namespace {

std::vector<std::uint8_t> cMajorScale(int ticksPerQuarter = 96)
{
    SmfWriter w(0, ticksPerQuarter);
    w.beginTrack();
    w.tempo(0, 500000);
    std::int64_t t = 0;
    for (int key : {60, 62, 64, 65, 67, 69, 71, 72}) {
        w.channel(t, 0x90, std::uint8_t(key), 100);
        w.channel(t + ticksPerQuarter, 0x80, std::uint8_t(key), 64);
        t += ticksPerQuarter;
    }
    w.endTrack(t);
    return w.bytes();
}

int countNotes(const MidiFile &f)
{
    int n = 0;
    for (const MidiTrack &t : f.tracks()) {
        for (const MidiEvent &e : t.events)
            n += (e.status & 0xF0) == 0x90 && e.data2 > 0;
    }
    return n;
}

std::int64_t lengthMs(const MidiFile &f)
{
    return Timeline::build(f)->lengthMs();
}

} // namespace

TEST(MidiFileCorpus, EveryFileOpensOrFailsWithAReason)
{
    const std::set<std::string> expectedFailures = {
        "jazz-soft/test-not-a-midi-file.mid",
        "unit-cases/header_header-type-00-single.mid",
        "unit-cases/header_header-type-01-multi-track.mid",
        "unit-cases/header_header-type-02-multi-song.mid",
        "unit-cases/tracks_empty-00000-tracks.mid",
    };
    const QDir root(QString::fromStdString(dataPath("corpus")));
    QDirIterator it(root.path(), {QStringLiteral("*.mid")}, QDir::Files,
                    QDirIterator::Subdirectories);
    std::set<std::string> failures;
    int files = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const std::string name = root.relativeFilePath(path).toStdString();
        const MidiFile f = MidiFile::load(path.toStdString());
        ++files;
        if (!f.ok()) {
            EXPECT_FALSE(f.error().empty()) << name;
            failures.insert(name);
        }
    }
    EXPECT_GT(files, 300);
    EXPECT_EQ(failures, expectedFailures);
}

// The pinned lengths come from python3-mido (tests/data/engine/reference_lengths.py).
TEST(MidiFileCorpus, LengthsEqualTheReference)
{
    std::ifstream in(dataPath("engine/reference_lengths.tsv"));
    ASSERT_TRUE(in) << "missing reference_lengths.tsv";
    std::string line;
    int compared = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        const std::string name = line.substr(0, tab);
        const long long expected = std::stoll(line.substr(tab + 1));
        const MidiFile f = MidiFile::load(corpusPath(name));
        ASSERT_TRUE(f.ok()) << name << ": " << f.error();
        EXPECT_EQ(lengthMs(f), expected) << name;
        ++compared;
    }
    EXPECT_GT(compared, 300);
}

TEST(MidiFileCorpus, FilesOtherReadersRefuseStillPlay)
{
    // The last byte of End of Track is missing: the scale is all there.
    const MidiFile truncated =
        MidiFile::load(corpusPath("jazz-soft/test-corrupt-file-missing-byte.mid"));
    ASSERT_TRUE(truncated.ok());
    EXPECT_EQ(countNotes(truncated), 8);
    EXPECT_FALSE(truncated.warnings().empty());
    // Undefined system status bytes are stepped over.
    for (const char *name :
         {"jazz-soft/test-illegal-message-f5.mid", "jazz-soft/test-illegal-message-f9.mid"}) {
        const MidiFile f = MidiFile::load(corpusPath(name));
        ASSERT_TRUE(f.ok()) << name;
        EXPECT_EQ(lengthMs(f), 4000) << name;
        EXPECT_GT(countNotes(f), 0) << name;
    }
    // Running status interrupted by a meta event carries on after it.
    const MidiFile rs = MidiFile::load(corpusPath("jazz-soft/test-running-status-metaevent.mid"));
    ASSERT_TRUE(rs.ok());
    EXPECT_EQ(countNotes(rs), 8);
}

TEST(MidiFileReader, NothingPlayableFailsWithAReason)
{
    const std::vector<std::vector<std::uint8_t>> cases = {
        {},
        {'M', 'T', 'h', 'd'},
        {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96},               // no track
        {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0, 'M', 'T', 'r'}, // division 0
        {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'R', 'M', 'I', 'D'},              // empty RIFF
        std::vector<std::uint8_t>(5000, 0x90),
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const MidiFile f = MidiFile::parse(cases[i]);
        EXPECT_FALSE(f.ok()) << "case " << i;
        EXPECT_FALSE(f.error().empty()) << "case " << i;
    }
}

TEST(MidiFileReader, EveryTruncationKeepsWhatCameBefore)
{
    const std::vector<std::uint8_t> full = cMajorScale();
    int previousNotes = 0;
    for (std::size_t cut = 23; cut <= full.size(); ++cut) {
        const MidiFile f = MidiFile::parse({full.begin(), full.begin() + std::ptrdiff_t(cut)});
        ASSERT_TRUE(f.ok()) << "cut at " << cut;
        const int notes = countNotes(f);
        EXPECT_GE(notes, previousNotes) << "cut at " << cut;
        previousNotes = notes;
    }
    EXPECT_EQ(previousNotes, 8);
}

TEST(MidiFileReader, WrongTrackLengthsAreRepaired)
{
    std::vector<std::uint8_t> twoTracks;
    {
        SmfWriter w(1, 96);
        w.beginTrack();
        w.tempo(0, 500000);
        w.endTrack(0);
        w.beginTrack();
        w.channel(0, 0x90, 60, 100);
        w.channel(96, 0x80, 60, 0);
        w.endTrack(96);
        w.beginTrack();
        w.channel(0, 0x91, 64, 100);
        w.channel(192, 0x81, 64, 0);
        w.endTrack(192);
        twoTracks = w.bytes();
    }
    const std::size_t secondTrackLength = 14 + 8 + 11 + 4; // header, track 1, length field
    // Too short: the reader goes on to the track's End of Track.
    auto shortLength = twoTracks;
    shortLength[secondTrackLength + 3] = 5;
    const MidiFile a = MidiFile::parse(shortLength);
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.tracks().size(), 3u);
    EXPECT_EQ(countNotes(a), 2);
    EXPECT_EQ(lengthMs(a), 1000);
    EXPECT_FALSE(a.warnings().empty());
    // Too long: the next track is found after the End of Track.
    auto longLength = twoTracks;
    longLength[secondTrackLength + 3] = 40;
    const MidiFile b = MidiFile::parse(longLength);
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(b.tracks().size(), 3u);
    EXPECT_EQ(countNotes(b), 2);
    EXPECT_EQ(lengthMs(b), 1000);
    // Past the end of the file: what is there is read.
    auto huge = twoTracks;
    huge[secondTrackLength] = 0x7F;
    const MidiFile c = MidiFile::parse(huge);
    ASSERT_TRUE(c.ok());
    EXPECT_GE(countNotes(c), 1);
}

TEST(MidiFileReader, RunningStatusCarriesAcrossMetaAndSysEx)
{
    SmfWriter w(0, 96);
    w.beginTrack();
    w.channel(0, 0x92, 60, 100);
    w.meta(10, 0x01, std::vector<std::uint8_t>{'h', 'i'});
    w.rawDelta(20);
    w.raw(std::vector<std::uint8_t>{62, 100}); // data bytes: note-on on channel 3 again
    w.sysEx(30, std::vector<std::uint8_t>{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
    w.rawDelta(40);
    w.raw(std::vector<std::uint8_t>{64, 0});
    w.endTrack(96);
    const MidiFile f = MidiFile::parse(w.bytes());
    ASSERT_TRUE(f.ok());
    std::vector<std::pair<std::int64_t, int>> notes;
    for (const MidiEvent &e : f.tracks()[0].events) {
        if (e.isChannel()) {
            EXPECT_EQ(e.status, 0x92);
            notes.emplace_back(e.tick, e.data1);
        }
    }
    const std::vector<std::pair<std::int64_t, int>> expected = {{0, 60}, {20, 62}, {40, 64}};
    EXPECT_EQ(notes, expected);
}

TEST(MidiFileReader, GarbageUnknownChunksAndRiffAroundTheTracks)
{
    const std::vector<std::uint8_t> plain = cMajorScale();
    const MidiFile reference = MidiFile::parse(plain);
    ASSERT_TRUE(reference.ok());
    EXPECT_TRUE(reference.warnings().empty());

    auto garbage = plain;
    for (int i = 0; i < 300; ++i)
        garbage.push_back(std::uint8_t(i * 7));
    const MidiFile g = MidiFile::parse(garbage);
    ASSERT_TRUE(g.ok());
    EXPECT_EQ(g.serialize(), reference.serialize());
    EXPECT_FALSE(g.warnings().empty());

    auto unknown = plain;
    const std::vector<std::uint8_t> chunk = {'X', 'F', 'I', 'H', 0, 0, 0, 3, 1, 2, 3};
    unknown.insert(unknown.begin() + 14, chunk.begin(), chunk.end());
    const MidiFile u = MidiFile::parse(unknown);
    ASSERT_TRUE(u.ok());
    EXPECT_EQ(u.serialize(), reference.serialize());

    std::vector<std::uint8_t> riff = {'R', 'I', 'F', 'F', 0,   0,   0,   0,
                                      'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
    const auto n = std::uint32_t(plain.size());
    for (int s = 0; s < 32; s += 8)
        riff.push_back(std::uint8_t(n >> s));
    riff.insert(riff.end(), plain.begin(), plain.end());
    riff.push_back(0); // pad byte of an odd chunk, then another chunk
    for (char c : std::string("LIST\x04\0\0\0INFO", 12))
        riff.push_back(std::uint8_t(c));
    const MidiFile r = MidiFile::parse(riff);
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(r.serialize(), reference.serialize());
}

TEST(MidiFileReader, MissingEndOfTrackAndHugeDeclaredLengths)
{
    // A SysEx that claims 256 MB, in a file of a few bytes: read as truncated.
    const std::vector<std::uint8_t> bigSysEx = {
        'M', 'T', 'h', 'd', 0, 0,    0,  6,   0,  0,    0,  1, 0, 96,   'M',  'T',  'r',  'k',
        0,   0,   0,   12,  0, 0x90, 60, 100, 10, 0x80, 60, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F};
    const MidiFile f = MidiFile::parse(bigSysEx);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.eventCount(), 2u);
    EXPECT_FALSE(f.tracks()[0].hasEndOfTrack);
    EXPECT_EQ(Timeline::build(f)->lengthTicks(), 10);
}

TEST(MidiFileReader, SmpteDivisionIgnoresTempo)
{
    // 25 frames of 40 ticks: one tick is one millisecond, whatever the tempo says.
    SmfWriter w(0, 0);
    w.beginTrack();
    w.tempo(0, 1000000);
    w.channel(0, 0x90, 60, 100);
    w.channel(1500, 0x80, 60, 0);
    w.endTrack(2000);
    auto bytes = w.bytes();
    bytes[12] = std::uint8_t(-25);
    bytes[13] = 40;
    const MidiFile f = MidiFile::parse(bytes);
    ASSERT_TRUE(f.ok());
    EXPECT_TRUE(f.division().smpte);
    const auto t = Timeline::build(f);
    EXPECT_EQ(t->lengthMs(), 2000);
    EXPECT_EQ(t->events().back().timeUs, 1500000);
}

TEST(MidiFileReader, Format2PlaysTracksOneAfterAnother)
{
    SmfWriter w(2, 480);
    w.beginTrack();
    w.tempo(0, 250000); // this pattern runs at 240 bpm
    w.channel(0, 0x90, 60, 100);
    w.channel(960, 0x80, 60, 0);
    w.endTrack(960); // 0.5 s
    w.beginTrack();  // back to 120 bpm
    w.channel(0, 0x90, 62, 100);
    w.channel(960, 0x80, 62, 0);
    w.endTrack(960); // 1 s
    const MidiFile f = MidiFile::parse(w.bytes());
    ASSERT_TRUE(f.ok());
    const auto t = Timeline::build(f);
    EXPECT_EQ(t->lengthMs(), 1500);
    std::vector<std::int64_t> noteTimes;
    for (const TimedEvent &e : t->events()) {
        if (e.eventClass == TimedEvent::NoteOn)
            noteTimes.push_back(e.timeUs);
    }
    EXPECT_EQ(noteTimes, (std::vector<std::int64_t>{0, 500000}));
}

TEST(MidiFileWriter, RoundTripsByteForByte)
{
    SmfWriter w(1, 480);
    w.beginTrack();
    w.tempo(0, 600000);
    w.meta(0, 0x03, std::vector<std::uint8_t>{'P', 'i', 'a', 'n', 'o'});
    w.endTrack(0);
    w.beginTrack();
    w.channel(0, 0xC0, 5);
    w.channel(0, 0xB0, 7, 90);
    w.sysEx(10, std::vector<std::uint8_t>(300, 0x11)); // a long length field
    w.channel(200000, 0x90, 60, 1);                    // a four-byte delta
    w.channel(200001, 0xE0, 0, 64);
    w.channel(200002, 0xD0, 30);
    w.endTrack(200010);
    const auto bytes = w.bytes();
    const MidiFile f = MidiFile::parse(bytes);
    ASSERT_TRUE(f.ok());
    EXPECT_TRUE(f.warnings().empty());
    EXPECT_EQ(f.serialize(), bytes);
}
