// The hand-over between real starts of the program: of two first starts at
// once one stays and takes the other's argument, and a killed instance leaves
// the way free.
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

// Later starts, many at once, are taken in hardening_e2e_test.
TEST_F(HandoverEndToEnd, OneOfTwoFirstStartsStaysAndTakesTheOthersArgument)
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
    EXPECT_FALSE(QFile::exists(run.defaultAlbum())); // the start that handed over saved nothing
    // Its own argument first.
    EXPECT_EQ(playlistAfterEnd(oneEnded ? two : one),
              oneEnded ? (QStringList{b, a}) : (QStringList{a, b}));
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
