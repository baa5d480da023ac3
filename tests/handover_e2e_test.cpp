// The hand-over between real starts of the program: of two first starts at
// once one stays, later starts deliver their argument to it and end, and a
// killed instance leaves the way free.
#include "platform/InstanceLink.h"
#include "support/ProgramRun.h"

#include <QFile>
#include <QLocalSocket>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Patience = 60000; // ms; only reached when something hangs

class HandoverEndToEnd : public ::testing::Test
{
protected:
    QString song(const QString &name)
    {
        QFile(run.scratch(name)).open(QIODevice::WriteOnly);
        return run.scratch(name);
    }
    // Waits until an instance listens: its socket takes a connection.
    bool linkUp()
    {
        QLocalSocket probe;
        return ProgramRun::waitFor(
            [&] {
                probe.connectToServer(InstanceLink::socketPath(run.runtimeDir()));
                return probe.waitForConnected(1000);
            },
            Patience);
    }
    // Ends the instance as the session would; the playlist it kept.
    QStringList playlistAfterEnd(QProcess *instance)
    {
        EXPECT_TRUE(ProgramRun::terminate(instance, Patience));
        EXPECT_EQ(instance->exitCode(), 0);
        return readLines(run.defaultAlbum());
    }

    ProgramRun run;
};

TEST_F(HandoverEndToEnd, OneOfTwoFirstStartsStaysAndTakesEveryLaterStart)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s);
    QProcess *one = run.start({a}), *two = run.start({b});
    ASSERT_TRUE(ProgramRun::waitFor(
        [&] {
            return one->state() == QProcess::NotRunning || two->state() == QProcess::NotRunning;
        },
        Patience));
    const bool oneEnded = one->state() == QProcess::NotRunning;
    EXPECT_EQ((oneEnded ? one : two)->exitCode(), 0);

    // Twenty at once, one name with spaces and more than ASCII, and one start
    // without an argument, which has nothing to send.
    QStringList expected = {a, b};
    std::vector<QProcess *> later = {run.start({u"  "_s})};
    for (int i = 0; i < 20; ++i) {
        expected.append(song(u" sp\u00e4t \u266a%1.mid"_s.arg(i)));
        later.push_back(run.start({expected.last()}));
    }
    for (QProcess *p : later) {
        ASSERT_TRUE(p->waitForFinished(Patience));
        EXPECT_EQ(p->exitCode(), 0);
    }
    EXPECT_FALSE(QFile::exists(run.defaultAlbum())); // no start that handed over saved anything

    QStringList playlist = playlistAfterEnd(oneEnded ? two : one);
    EXPECT_EQ(playlist.value(0), oneEnded ? b : a); // its own argument first
    playlist.sort();
    expected.sort();
    EXPECT_EQ(playlist, expected);
}

TEST_F(HandoverEndToEnd, StartAfterAKilledInstanceBecomesTheInstance)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s);
    QProcess *killed = run.start({a});
    ASSERT_TRUE(linkUp());
    killed->kill();
    ASSERT_TRUE(killed->waitForFinished(Patience));
    ASSERT_TRUE(QFile::exists(InstanceLink::socketPath(run.runtimeDir()))); // left behind

    QProcess *next = run.start({b});
    ASSERT_TRUE(linkUp());
    int exitCode = -1;
    EXPECT_TRUE(run.runToEnd({a}, Patience, &exitCode));
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(playlistAfterEnd(next), (QStringList{b, a}));
}

} // namespace
