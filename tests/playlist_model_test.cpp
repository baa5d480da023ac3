// The playlist model without a window: an unbiased shuffle, the case-blind,
// stable sort by whole path as the collator orders, and the pool of paths
// through adoption, removal and compaction; titles always follow their paths.
// Edits under Qt's model tester: playlist_window_test.
#include "playlist/PlaylistModel.h"

#include <QCollator>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

void expectTitlesFollowPaths(const PlaylistModel &model)
{
    for (int i = 0; i < model.count(); ++i)
        EXPECT_EQ(model.index(i).data().toString(), model.at(i).section(u'/', -1).chopped(4));
}

TEST(PlaylistModelTest, PathsSurviveThePoolAcrossAdoptionRemovalAndCompaction)
{
    // Paths of every width of UTF-8, an adopted batch after entries already
    // there, then most of them removed (scattered, so the pool is rewritten)
    // and more appended: every row still reads its own path and title.
    QStringList expected = {u"/m/Zoë/Ωmega.mid"_s, u"/m/日本/歌.kar"_s, u"/m/😀.mid"_s};
    PlaylistModel model;
    model.append(expected);
    QByteArray album;
    for (int i = 0; i < 20000; ++i) {
        expected.append(u"/m/s%1.mid"_s.arg(i));
        album += expected.last().toUtf8() + '\0';
    }
    PlaylistModel::Batch batch;
    batch.adopt(std::move(album));
    model.append(std::move(batch));
    ASSERT_EQ(model.paths(), expected);

    std::vector<bool> flagged;
    QStringList kept;
    for (int i = 0; i < model.count(); ++i) {
        if (!flagged.emplace_back(i % 7 != 1))
            kept.append(expected.at(i));
    }
    const qsizetype poolBefore = model.poolBytes();
    EXPECT_EQ(model.removeFlagged(flagged), expected.size() - kept.size());
    EXPECT_LT(model.poolBytes(), poolBefore / 2);
    model.append(u"/m/after.mid"_s);
    kept.append(u"/m/after.mid"_s);
    EXPECT_EQ(model.paths(), kept);
    expectTitlesFollowPaths(model);
}

TEST(PlaylistModelTest, ShuffleIsAUniformPermutation)
{
    std::mt19937_64 generator(20261206);
    PlaylistModel model;
    model.shuffle(generator); // empty: nothing to do
    // Every song at every place equally often: the last song of the old order
    // is no less likely to come first than any other.
    constexpr int N = 5, Rounds = 50000;
    const QStringList start = {u"/m/a.mid"_s, u"/m/b.mid"_s, u"/m/c.mid"_s, u"/m/d.mid"_s,
                               u"/m/e.mid"_s};
    int seen[N][N] = {}; // seen[song][place]
    for (int round = 0; round < Rounds; ++round) {
        model.clear();
        model.append(start);
        model.shuffle(generator);
        for (int place = 0; place < N; ++place)
            ++seen[start.indexOf(model.at(place))][place];
    }
    expectTitlesFollowPaths(model);
    for (const auto &song : seen) {
        for (int count : song)
            EXPECT_NEAR(count, Rounds / N, 500); // the standard deviation is about 90
    }
}

TEST(PlaylistModelTest, LongListsSortAsTheCollatorOrdersThem)
{
    // Enough entries, sharing long folder prefixes, that the sort's radix
    // passes run, not only its finish on short runs; duplicates that differ
    // in case test stability.
    const QStringList parts = {u"Artist"_s, u"artist"_s, u"Ärzte"_s, u"Zoë"_s, u"zoe"_s,
                               u"10"_s,     u"9"_s,      u"a-b"_s,   u"a b"_s, u"Ωmega"_s,
                               u"日本"_s,   u"ß"_s,      u"ss"_s,    u""_s};
    std::mt19937 generator(7);
    const auto pick = [&] {
        return parts[static_cast<qsizetype>(generator() % parts.size())];
    };
    QStringList paths;
    for (int i = 0; i < 3000; ++i)
        paths.append(u"/home/user/Music/%1/%2/%3.mid"_s.arg(pick(), pick(), pick()));
    for (const QLocale &locale : {QLocale::c(), QLocale(QLocale::English),
                                  QLocale(QLocale::Swedish), QLocale(QLocale::German)}) {
        QCollator collator(locale);
        collator.setCaseSensitivity(Qt::CaseInsensitive);
        QStringList expected = paths;
        std::stable_sort(expected.begin(), expected.end(), [&](const QString &a, const QString &b) {
            return collator.compare(a, b) < 0;
        });
        PlaylistModel model;
        model.append(paths);
        model.sortByPath(locale);
        EXPECT_EQ(model.paths(), expected) << locale.name().toStdString();
        expectTitlesFollowPaths(model);
    }
}

} // namespace
