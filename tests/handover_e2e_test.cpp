// The hand-over between real starts of the program: a later start delivers
// its argument and ends, many at once lose nothing, two first starts at once
// leave one instance, and a killed instance leaves the way free.
#include "platform/InstanceLink.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <gtest/gtest.h>

namespace {

constexpr int Patience = 60000; // ms; only reached when something hangs

class HandoverEndToEnd : public ::testing::Test
{
protected:
    QString song(const QString &name)
    {
        QDir().mkpath(run.scratch());
        QFile(run.scratch(name)).open(QIODevice::WriteOnly);
        return run.scratch(name);
    }
    // The running instance listens: its socket takes a connection.
    bool linkUp()
    {
        return ProgramRun::waitFor(
            [&] {
                QLocalSocket probe;
                probe.connectToServer(InstanceLink::socketPath(run.runtimeDir()));
                return probe.waitForConnected(1000);
            },
            Patience);
    }
    bool laterStart(const QString &argument)
    {
        int exitCode = -1;
        return run.runToEnd({argument}, Patience, &exitCode) && exitCode == 0;
    }
    // Ends the instance; the playlist it kept, sorted when asked.
    QStringList playlistAfterEnd(QProcess *instance, bool sorted = false)
    {
        EXPECT_EQ(instance->state(), QProcess::Running);
        EXPECT_TRUE(ProgramRun::terminate(instance, Patience));
        EXPECT_EQ(instance->exitCode(), 0);
        QStringList lines = readLines(run.defaultAlbum());
        if (sorted)
            lines.sort();
        return lines;
    }

    ProgramRun run;
};

TEST_F(HandoverEndToEnd, LaterStartsDeliverTheirArgumentAndEnd)
{
    const QString a = song(QStringLiteral("a.mid"));
    QProcess *first = run.start({a});
    ASSERT_TRUE(linkUp());
    QStringList expected = {a};
    std::vector<QProcess *> later;
    for (int i = 0; i < 20; ++i) {
        expected.append(song(QStringLiteral("later%1.mid").arg(i)));
        later.push_back(run.start({expected.last()}));
    }
    for (QProcess *p : later) {
        ASSERT_TRUE(p->waitForFinished(Patience));
        EXPECT_EQ(p->exitCode(), 0);
    }
    // Without an argument a later start ends at once and sends nothing.
    EXPECT_TRUE(laterStart(QStringLiteral("  ")));
    // The later starts saved nothing.
    EXPECT_FALSE(QFile::exists(run.defaultAlbum()));

    const QStringList playlist = playlistAfterEnd(first);
    ASSERT_FALSE(playlist.isEmpty());
    EXPECT_EQ(playlist.first(), a);
    QStringList all = playlist;
    all.sort();
    expected.sort();
    EXPECT_EQ(all, expected);
}

TEST_F(HandoverEndToEnd, TwoFirstStartsAtOnceLeaveOneInstanceWithBothEntries)
{
    const QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b.mid"));
    QProcess *one = run.start({a});
    QProcess *two = run.start({b});
    ASSERT_TRUE(ProgramRun::waitFor(
        [&] {
            return one->state() == QProcess::NotRunning || two->state() == QProcess::NotRunning;
        },
        Patience));
    QProcess *ended = one->state() == QProcess::NotRunning ? one : two;
    EXPECT_EQ(ended->exitCode(), 0);
    EXPECT_EQ(playlistAfterEnd(ended == one ? two : one, true), (QStringList{a, b}));
}

TEST_F(HandoverEndToEnd, StartAfterAKilledInstanceBecomesTheInstance)
{
    const QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b.mid"));
    QProcess *killed = run.start({a});
    ASSERT_TRUE(linkUp());
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(Patience));
    ASSERT_TRUE(QFile::exists(InstanceLink::socketPath(run.runtimeDir()))); // left behind

    QProcess *next = run.start({b});
    ASSERT_TRUE(linkUp());
    EXPECT_TRUE(laterStart(a));
    EXPECT_EQ(playlistAfterEnd(next), (QStringList{b, a}));
}

} // namespace
