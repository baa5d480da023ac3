// The MIDI file reader against the corpus and damaged files, the tempo map, and
// the order of events that meet on one tick.
#include "engine/Timeline.h"

#include <QDir>
#include <QDirIterator>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string_view>
#include <tuple>

using namespace Qt::StringLiterals;
using namespace std::literals;

namespace {

int countNotes(const MidiFile &f)
{
    int n = 0;
    for (const MidiTrack &t : f.tracks()) {
        for (const MidiEvent &e : t.events)
            n += (e.status & 0xF0) == 0x90 && e.data2 > 0;
    }
    return n;
}

std::vector<std::uint8_t> bytesOf(std::string_view s)
{
    return {s.begin(), s.end()};
}

std::vector<std::uint8_t> corpusBytes(const std::string &name)
{
    std::ifstream in(SONABEL_CORPUS_DIR "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace

// Every corpus file opens with the length python3-mido gives it
// (tests/data/engine/reference_lengths.py), or fails with a reason.
TEST(MidiFileReader, CorpusLengthsEqualTheReferenceAndFailuresSayWhy)
{
    std::map<std::string, long long> reference;
    std::ifstream in(SONABEL_TEST_DATA_DIR "/engine/reference_lengths.tsv");
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != '#')
            reference[line.substr(0, line.find('\t'))] = std::stoll(line.substr(line.find('\t')));
    }
    ASSERT_GT(reference.size(), 300u);
    const std::set<std::string> expectedFailures = {
        "jazz-soft/test-not-a-midi-file.mid",
        "unit-cases/header_header-type-00-single.mid",
        "unit-cases/header_header-type-01-multi-track.mid",
        "unit-cases/header_header-type-02-multi-song.mid",
        "unit-cases/tracks_empty-00000-tracks.mid",
    };
    const QDir root(QStringLiteral(SONABEL_CORPUS_DIR));
    QDirIterator it(root.path(), {u"*.mid"_s}, QDir::Files, QDirIterator::Subdirectories);
    std::set<std::string> failures;
    std::size_t compared = 0;
    while (it.hasNext()) {
        const QString path = it.next();
        const std::string name = root.relativeFilePath(path).toStdString();
        const MidiFile f = MidiFile::load(path.toStdString());
        if (!f.ok()) {
            EXPECT_FALSE(f.error().empty()) << name;
            failures.insert(name);
        } else if (const auto ref = reference.find(name); ref != reference.end()) {
            EXPECT_EQ(Timeline::build(f)->lengthMs(), ref->second) << name;
            ++compared;
        }
    }
    EXPECT_EQ(failures, expectedFailures);
    EXPECT_EQ(compared, reference.size());
}

TEST(MidiFileReader, DamagedFilesKeepWhatCanBePlayed)
{
    const std::vector<std::uint8_t> scale = corpusBytes("jazz-soft/test-c-major-scale.mid");
    auto with = [](std::vector<std::uint8_t> bytes, std::size_t at, std::uint8_t value) {
        bytes[at] = value;
        return bytes;
    };
    // A tempo track, then two one-note tracks; the second track's length field
    // is at 37..40.
    SmfWriter two(1, 96);
    two.beginTrack();
    two.tempo(0, 500000);
    two.endTrack(0);
    for (int ch = 0; ch < 2; ++ch) {
        two.beginTrack();
        two.channel(0, std::uint8_t(0x90 | ch), 60, 100);
        two.channel(96 * (ch + 1), std::uint8_t(0x80 | ch), 60, 0);
        two.endTrack(96 * (ch + 1));
    }
    const std::string plain(scale.begin(), scale.end());
    std::string garbage = plain;
    for (int i = 0; i < 300; ++i)
        garbage += char(i * 7);
    const std::string unknownChunk = plain.substr(0, 14) + "XFIH\0\0\0\3abc"s + plain.substr(14);
    // RIFF RMID: the file in a data chunk, a pad byte, then another chunk.
    const std::string riff = "RIFF\0\0\0\0RMIDdata"s + char(plain.size() & 0xFF) +
                             char(plain.size() >> 8) + "\0\0"s + plain + "\0LIST\4\0\0\0INFO"s;
    const auto header = "MThd\0\0\0\6\0\0\0\1\0\x60"sv;
    // A SysEx claiming 256 MB at the end of a small file.
    const auto hugeSysEx = bytesOf(
        "MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x0c\0\x90\x3c\x64\x0a\x80\x3c\0\0\xf0\xff\xff\xff\x7f"sv);

    // What, the bytes, the notes read (-1: the file must not open), the
    // length in ms, whether it warns. (A file that is no MIDI file and one
    // without a track are in the corpus.)
    using Case = std::tuple<const char *, std::vector<std::uint8_t>, int, std::int64_t, bool>;
    const std::vector<Case> cases = {
        {"empty", {}, -1, 0, false},
        {"header cut short", {'M', 'T', 'h', 'd'}, -1, 0, false},
        {"division 0", with(bytesOf(header), 13, 0), -1, 0, false},
        {"track length too short", with(two.bytes(), 40, 5), 2, 1000, true},
        {"track length past the end", with(two.bytes(), 37, 0x7F), 2, 1000, true},
        {"garbage after the tracks", bytesOf(garbage), 8, 4000, true},
        {"unknown chunk", bytesOf(unknownChunk), 8, 4000, true},
        {"RIFF RMID", bytesOf(riff), 8, 4000, false},
        {"SysEx past the end", hugeSysEx, 1, 52, true},
        {"undefined status F5", corpusBytes("jazz-soft/test-illegal-message-f5.mid"), 8, 4000,
         false},
    };
    for (const auto &[what, bytes, notes, lengthMs, warns] : cases) {
        SCOPED_TRACE(what);
        const MidiFile f = MidiFile::parse(bytes);
        if (notes < 0) {
            EXPECT_FALSE(f.ok());
            EXPECT_FALSE(f.error().empty());
            continue;
        }
        ASSERT_TRUE(f.ok()) << f.error();
        EXPECT_EQ(countNotes(f), notes);
        EXPECT_EQ(Timeline::build(f)->lengthMs(), lengthMs);
        EXPECT_EQ(!f.warnings().empty(), warns);
    }
    // Cut anywhere after the header (the End of Track short of a byte, too), a
    // file keeps the notes before the cut.
    int before = 0;
    for (std::size_t cut = 23; cut <= scale.size(); ++cut) {
        const MidiFile f = MidiFile::parse({scale.begin(), scale.begin() + std::ptrdiff_t(cut)});
        ASSERT_TRUE(f.ok()) << "cut at " << cut;
        EXPECT_GE(countNotes(f), before) << "cut at " << cut;
        before = countNotes(f);
    }
    EXPECT_EQ(before, 8);
}

// (That every tick comes back from its time is checked through the time line's
// ticks below.)
TEST(TempoMap, ZeroTemposAreIgnoredAndTheLastChangeOnATickWins)
{
    MidiDivision d;
    d.ticksPerQuarter = 480;
    const TempoMap map(d, {{0, 500000}, {960, 1000000}, {961, 0}, {5000, 7}, {5000, 250000}});
    EXPECT_NEAR(map.toMicroseconds(1440), 1000000 + 480 * 1000000 / 480.0, 1e-6);
    EXPECT_DOUBLE_EQ(map.microsecondsPerTick(6000), 250000 / 480.0);
}

// Three tracks where events of every class meet on the same ticks: in a short
// song, in one long enough to be read ahead on a second thread, and with the
// ticks far apart (a sparse song, or a damaged delta).
TEST(Timeline, SameTickEventsFollowTheClassThenTrackOrder)
{
    using Grid = std::pair<std::int64_t, std::int64_t>; // ticks of the grid, and its step
    for (const auto &[ticks, step] :
         {Grid{16, 48}, Grid{3200, 48}, Grid{6, std::int64_t(48) << 20}}) {
        SCOPED_TRACE(ticks * step);
        SmfWriter w(1, 96);
        std::mt19937 rng(7);
        for (int track = 0; track < 3; ++track) {
            w.beginTrack();
            for (std::int64_t tick = 0; tick < ticks * step; tick += step) {
                for (int i = 0; i < 6; ++i) {
                    const std::uint8_t status[] = {0x90, 0x80, 0xB0}; // note-on, note-off, volume
                    const auto kind = rng() % 5;
                    const auto ch = std::uint8_t(rng() % 3);
                    // A controller's value names its track.
                    if (kind < 3)
                        w.channel(tick, status[kind] | ch,
                                  std::uint8_t(kind == 2 ? 7 : 60 + rng() % 4),
                                  std::uint8_t(kind == 2 ? track : int(rng() % 128)));
                    else if (kind == 3)
                        w.tempo(tick, 400000 + rng() % 200000);
                    else
                        w.sysEx(tick, std::vector<std::uint8_t>{0xF0, 0x7D, std::uint8_t(i), 0xF7});
                }
                w.channel(tick, 0x93, 70, 90); // a zero-length note
                w.channel(tick, 0x83, 70, 0);
            }
            w.endTrack(ticks * step);
        }
        const MidiFile f = MidiFile::parse(w.bytes());
        ASSERT_TRUE(f.ok());
        const auto t = Timeline::build(f);
        const auto &events = t->events();
        ASSERT_EQ(events.size(), std::size_t(3 * ticks * 8)); // each one kept, once
        for (std::size_t i = 1; i < events.size(); ++i) {
            const TimedEvent &a = events[i - 1];
            const TimedEvent &b = events[i];
            const std::int64_t aTick = t->tickAt(i - 1), bTick = t->tickAt(i);
            ASSERT_NE(b.status, 0) << i; // every place of the list is filled
            ASSERT_LE(aTick, bTick);
            ASSERT_LE(a.timeUs, b.timeUs);
            // Every event lies on the grid it was written on, at its tick's time
            // through every tempo change before it.
            ASSERT_EQ(bTick % step, 0) << i;
            ASSERT_EQ(b.timeUs, std::llround(t->tempoMap().toMicroseconds(bTick))) << i;
            // Tempo, SysEx, other channel messages, note-offs, note-ons, then the
            // note-offs of zero-length notes; track order within a class.
            if (aTick == bTick) {
                ASSERT_LE(a.eventClass, b.eventClass) << i;
                if (a.eventClass == TimedEvent::Control && b.eventClass == TimedEvent::Control) {
                    ASSERT_LE(a.data2, b.data2) << i;
                }
            } else { // the last track's zero-length note ends the tick
                ASSERT_EQ(std::tie(a.status, a.data1), std::make_tuple(0x83, 70)) << aTick;
            }
        }
    }
}
