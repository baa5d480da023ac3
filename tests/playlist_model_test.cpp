// The playlist model without a window: paths and titles stay in step through
// every edit, the signals it sends are consistent (checked by Qt's model
// tester), removal under every selection shape, an unbiased shuffle, and the
// case-blind, stable sort by whole path.
#include "playlist/PlaylistModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <array>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QStringList names(const char *spaced)
{
    return QString::fromLatin1(spaced).split(u' ', Qt::SkipEmptyParts);
}

// "/m/a.mid /m/b.mid ..." for the names given.
QStringList songs(const QStringList &titles)
{
    QStringList paths;
    for (const QString &t : titles)
        paths.append(u"/m/"_s + t + u".mid"_s);
    return paths;
}

// Every title is the title of the path beside it.
void expectInStep(const PlaylistModel &model)
{
    ASSERT_EQ(model.titles().size(), model.paths().size());
    for (int i = 0; i < model.count(); ++i) {
        const QString path = model.at(i);
        EXPECT_EQ(model.title(i), path.mid(path.lastIndexOf(u'/') + 1).chopped(4)) << i;
        EXPECT_EQ(model.index(i).data().toString(), model.title(i));
        EXPECT_EQ(model.index(i).data(PlaylistModel::PathRole).toString(), path);
    }
}

TEST(PlaylistModelTest, AppendsKeepTitlesAndIndexesOutsideReadEmpty)
{
    PlaylistModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.append(u"/m/first.song.mid"_s);
    model.append(songs(names("b c")));
    model.append(QStringList{});
    EXPECT_EQ(model.titles(), (QStringList{u"first.song"_s, u"b"_s, u"c"_s}));
    for (qsizetype outside : {qsizetype(-1), qsizetype(3), qsizetype(1) << 40}) {
        EXPECT_TRUE(model.at(outside).isEmpty());
        EXPECT_TRUE(model.title(outside).isEmpty());
    }
    model.clear();
    EXPECT_TRUE(model.isEmpty());
    EXPECT_EQ(model.rowCount(), 0);
}

struct RemoveCase
{
    const char *name;
    std::vector<int> rows; // flagged rows
    const char *left;
};

TEST(PlaylistModelTest, RemovesExactlyTheFlaggedRowsWhateverTheirShape)
{
    // 40 entries: a0 ... a39. Few runs are removed in place, many by a reset.
    QStringList all;
    for (int i = 0; i < 40; ++i)
        all.append(u"a%1"_s.arg(i));
    std::vector<int> everyOther, everyRow;
    for (int i = 0; i < 40; ++i) {
        everyRow.push_back(i);
        if (i % 2 == 1)
            everyOther.push_back(i);
    }
    const RemoveCase cases[] = {
        {"nothing", {}, nullptr},
        {"first and last", {0, 39}, nullptr},
        {"two runs", {3, 4, 5, 20, 21}, nullptr},
        {"every other row", everyOther, nullptr},
        {"every row", everyRow, ""},
    };
    for (const RemoveCase &c : cases) {
        SCOPED_TRACE(c.name);
        PlaylistModel model;
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.append(songs(all));
        std::vector<bool> flagged(40, false);
        QStringList expected = songs(all);
        for (auto row = c.rows.rbegin(); row != c.rows.rend(); ++row) {
            flagged[static_cast<std::size_t>(*row)] = true;
            expected.removeAt(*row);
        }
        QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
        QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
        EXPECT_EQ(model.removeFlagged(flagged), static_cast<int>(c.rows.size()));
        EXPECT_EQ(model.paths(), expected);
        expectInStep(model);
        // A view hears of the removal once per run, or through one reset.
        EXPECT_TRUE(c.rows.empty() || resets.size() == 1 || removals.size() >= 1);
    }

    // Flags beyond the end are ignored; a short flag list leaves the tail.
    PlaylistModel model;
    model.append(songs(names("a b c")));
    EXPECT_EQ(model.removeFlagged({true}), 1);
    EXPECT_EQ(model.removeFlagged({false, false, true, true, true}), 0);
    EXPECT_EQ(model.titles(), names("b c"));
}

TEST(PlaylistModelTest, SwapMovesPathAndTitleTogether)
{
    PlaylistModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.append(songs(names("a b c")));
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.swapEntries(2, 1);
    EXPECT_EQ(model.paths(), songs(names("a c b")));
    expectInStep(model);
    // Views hear of both rows.
    QList<int> rows;
    for (const QList<QVariant> &signal : changed) {
        for (int row = signal[0].toModelIndex().row(); row <= signal[1].toModelIndex().row(); ++row)
            rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (QList<int>{1, 2}));
    // Outside the list nothing moves.
    model.swapEntries(2, 3);
    model.swapEntries(-1, 0);
    EXPECT_EQ(model.paths(), songs(names("a c b")));
}

TEST(PlaylistModelTest, ShuffleIsAUniformPermutation)
{
    std::mt19937_64 generator(20261206);
    PlaylistModel model;
    {
        QAbstractItemModelTester tester(&model,
                                        QAbstractItemModelTester::FailureReportingMode::Fatal);
        model.shuffle(generator); // empty: nothing to do
        model.append(u"/m/only.mid"_s);
        model.shuffle(generator);
        EXPECT_EQ(model.paths(), QStringList{u"/m/only.mid"_s});
        model.append(songs(names("a b c d e f")));
        model.shuffle(generator);
        expectInStep(model);
    }

    // Every song at every place equally often: the last song of the old order
    // is no less likely to come first than any other.
    constexpr int N = 5;
    constexpr int Rounds = 50000;
    const QStringList start = songs(names("s0 s1 s2 s3 s4"));
    std::array<std::array<int, N>, N> seen{}; // seen[song][place]
    for (int round = 0; round < Rounds; ++round) {
        model.clear();
        model.append(start);
        model.shuffle(generator);
        QStringList sorted = model.paths();
        sorted.sort();
        ASSERT_EQ(sorted, start);
        for (int place = 0; place < N; ++place)
            ++seen[static_cast<std::size_t>(start.indexOf(model.at(place)))]
                  [static_cast<std::size_t>(place)];
    }
    expectInStep(model);
    for (int song = 0; song < N; ++song) {
        for (int place = 0; place < N; ++place) {
            // Expected 10 000 each; the standard deviation is about 90.
            EXPECT_NEAR(seen[static_cast<std::size_t>(song)][static_cast<std::size_t>(place)],
                        Rounds / N, 500)
                << "song " << song << " at " << place;
        }
    }
}

struct SortCase
{
    const char *name;
    QStringList before;
    QStringList after;
    bool languageOnly = false; // not in the C locale, which knows no letters beyond ASCII
};

TEST(PlaylistModelTest, SortsByWholePathIgnoringCaseAndKeepsEqualsInOrder)
{
    const SortCase cases[] = {
        {"letter case does not count",
         {u"/C/MIDI/b.mid"_s, u"/D/a.mid"_s, u"/c/midi/A.mid"_s},
         {u"/c/midi/A.mid"_s, u"/C/MIDI/b.mid"_s, u"/D/a.mid"_s}},
        {"the folder comes before the file name",
         {u"/z/a.mid"_s, u"/a/z.mid"_s, u"/a/b.mid"_s, u"/m/m.mid"_s},
         {u"/a/b.mid"_s, u"/a/z.mid"_s, u"/m/m.mid"_s, u"/z/a.mid"_s}},
        {"paths equal but for case keep their order, duplicates stay",
         {u"/x/B.mid"_s, u"/a/S.mid"_s, u"/x/b.mid"_s, u"/a/s.mid"_s, u"/x/B.mid"_s},
         {u"/a/S.mid"_s, u"/a/s.mid"_s, u"/x/B.mid"_s, u"/x/b.mid"_s, u"/x/B.mid"_s}},
        {"letters beyond ASCII ignore case too",
         {u"/Ä/2.mid"_s, u"/ä/1.mid"_s, u"/b/0.mid"_s},
         {u"/ä/1.mid"_s, u"/Ä/2.mid"_s, u"/b/0.mid"_s},
         true},
    };
    for (const QLocale &locale :
         {QLocale::c(), QLocale(QLocale::English), QLocale(QLocale::German)}) {
        for (const SortCase &c : cases) {
            SCOPED_TRACE(c.name);
            if (c.languageOnly && locale.language() == QLocale::C)
                continue;
            PlaylistModel model;
            QAbstractItemModelTester tester(&model,
                                            QAbstractItemModelTester::FailureReportingMode::Fatal);
            model.append(c.before);
            model.sortByPath(locale);
            EXPECT_EQ(model.paths(), c.after) << locale.name().toStdString();
            EXPECT_EQ(model.titles().size(), c.after.size());
            for (int i = 0; i < model.count(); ++i)
                EXPECT_EQ(model.title(i), c.after.at(i).section(u'/', -1).chopped(4));
        }
    }
}

} // namespace
