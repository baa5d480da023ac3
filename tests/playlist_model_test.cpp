// The playlist model without a window: an unbiased shuffle, the case-blind,
// stable sort by whole path as the collator orders, and clearing; titles
// always follow their paths. Edits under Qt's model tester: playlist_editing_test.
#include "playlist/PlaylistModel.h"

#include <QCollator>
#include <QThreadPool>
#include <array>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

QStringList songs(int count)
{
    QStringList paths;
    for (int i = 0; i < count; ++i)
        paths.append(u"/m/s%1.mid"_s.arg(i));
    return paths;
}

void expectTitlesFollowPaths(const PlaylistModel &model)
{
    for (int i = 0; i < model.count(); ++i)
        EXPECT_EQ(model.index(i).data().toString(), model.at(i).section(u'/', -1).chopped(4));
}

TEST(PlaylistModelTest, ClearingALongListLeavesCopiesOfItsPathsIntact)
{
    // A long list is freed on a pool thread; strings shared with it survive.
    PlaylistModel model;
    model.append(songs(30000));
    const QStringList kept = model.paths();
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(model.at(0).isEmpty() && model.title(-1).isEmpty());
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000));
    EXPECT_EQ(kept, songs(30000));
}

TEST(PlaylistModelTest, ShuffleIsAUniformPermutation)
{
    std::mt19937_64 generator(20261206);
    PlaylistModel model;
    model.shuffle(generator); // empty: nothing to do
    // Every song at every place equally often: the last song of the old order
    // is no less likely to come first than any other.
    constexpr int N = 5, Rounds = 50000;
    const QStringList start = songs(N);
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
    auto pick = [&] {
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
