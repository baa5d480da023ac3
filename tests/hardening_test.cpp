// Hardening of the plain units and the window: files that are not regular
// files are never read, album writes through links and after interrupted
// writes, paths with line breaks refused at intake, the folder scan stopped by
// the user, and the link made again when its socket file goes.
#include "engine/MidiFile.h"
#include "engine/RegularFile.h"
#include "platform/InstanceLink.h"
#include "playlist/AlbumFile.h"
#include "playlist/FolderScan.h"
#include "playlist/frmEnumDir.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int Patience = 30000;

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Runs work on a thread of its own; false when it has not returned in time
// (the thread is then left blocked, as the window's thread would be).
bool returnsInTime(std::function<void()> work)
{
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread([work = std::move(work), done] {
        work();
        *done = true;
    }).detach();
    return ProgramRun::waitFor([&] { return done->load(); }, 5000);
}

TEST(RegularFilesOnly, FifosDevicesAndFoldersFailAtOnce)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(u"pipe.mid"_s);
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0600), 0);
    const QString folder = dir.filePath(u"folder.mal"_s);
    QDir().mkpath(folder);
    for (const QString &path : {fifo, u"/dev/zero"_s, folder}) {
        SCOPED_TRACE(path.toStdString());
        bool midiFailed = false, albumFailed = false;
        EXPECT_TRUE(returnsInTime([&] {
            midiFailed = !MidiFile::load(native(path).toStdString()).ok();
            albumFailed = !readAlbum(path).opened;
        }));
        EXPECT_TRUE(midiFailed);
        EXPECT_TRUE(albumFailed);
    }
    // A regular file behind a link is read.
    const QString real = dir.filePath(u"real.mal"_s);
    writeFile(real, "x\r\n");
    const QString link = dir.filePath(u"link.mal"_s);
    ASSERT_EQ(::symlink(native(real).constData(), native(link).constData()), 0);
    EXPECT_TRUE(readAlbum(link).opened);
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_TRUE(readRegularFile(native(link).constData(), 100, &bytes, &error));
    EXPECT_EQ(bytes.size(), 3u);
    EXPECT_FALSE(readRegularFile(native(link).constData(), 2, &bytes, &error));
}

class AlbumWriteTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(AlbumWriteTest, ALinkIsWrittenThroughAndStaysALink)
{
    QDir().mkpath(path(u"real"_s));
    const QString target = path(u"real/default.mal"_s);
    writeFile(target, "old\r\n");
    ::chmod(native(target).constData(), 0640);
    // A relative link to a relative link.
    ASSERT_EQ(::symlink("real/default.mal", native(path(u"hop.mal"_s)).constData()), 0);
    ASSERT_EQ(::symlink("hop.mal", native(path(u"default.mal"_s)).constData()), 0);
    ASSERT_TRUE(writeAlbum(path(u"default.mal"_s), {u"/a.mid"_s}));
    EXPECT_TRUE(QFileInfo(path(u"default.mal"_s)).isSymLink());
    EXPECT_TRUE(QFileInfo(path(u"hop.mal"_s)).isSymLink());
    EXPECT_EQ(readBytes(target), "/a.mid\r\n");
    struct stat info;
    ASSERT_EQ(::stat(native(target).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    // A dangling link: its target is created.
    ASSERT_EQ(::symlink("real/new.mal", native(path(u"dangling.mal"_s)).constData()), 0);
    ASSERT_TRUE(writeAlbum(path(u"dangling.mal"_s), {u"/b.mid"_s}));
    EXPECT_EQ(readBytes(path(u"real/new.mal"_s)), "/b.mid\r\n");
    EXPECT_EQ(QDir(path(u"real"_s)).entryList(QDir::Files).size(), 2); // no temporary left
}

TEST_F(AlbumWriteTest, StaleTemporariesGoAtTheNextWriteButNotOthers)
{
    const QString album = path(u"default.mal"_s);
    for (const char *name : {"default.mal.Ab12Cd", "default.mal.zzzzzz", "default.mal.LOCKED",
                             "default.mal.short", "other.mal.Ab12Cd", "default.mal.Ab12Cd.keep"})
        writeFile(path(QLatin1String(name)), "partial");
    // One held by a writer that is still at work.
    const int held = ::open(native(path(u"default.mal.LOCKED"_s)).constData(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_TRUE(writeAlbum(album, {u"/a.mid"_s}));
    ::close(held);
    QStringList left = QDir(dir.path()).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left,
              (QStringList{u"default.mal"_s, u"default.mal.Ab12Cd.keep"_s, u"default.mal.LOCKED"_s,
                           u"default.mal.short"_s, u"other.mal.Ab12Cd"_s}));
}

TEST_F(AlbumWriteTest, LineBreaksNeverReachTheFile)
{
    ASSERT_TRUE(writeAlbum(path(u"a.mal"_s), {u"/a.mid"_s, u"/b\nc.mid"_s, u"/d\r.mid"_s}));
    EXPECT_EQ(readBytes(path(u"a.mal"_s)), "/a.mid\r\n");
}

class IntakeTest : public WindowFixture
{
protected:
    frmMain *w = &window();
};

TEST_F(IntakeTest, PathsWithLineBreaksAreRefusedLikeMissingFiles)
{
    const QString a = song(u"a.mid"_s);
    const QString broken = song(u"two\nlines.mid"_s);
    const QString cr = song(u"F/cr\r.mid"_s);
    song(u"F/ok.mid"_s);
    for (int policy : {0, 1}) {
        SCOPED_TRACE(policy);
        w->optInterrupt[policy]->setChecked(true);
        w->UpdateOLE({broken}, true);
        EXPECT_TRUE(w->lstPlay.isEmpty());
        EXPECT_EQ(dialogs.messages.value(0), u"1 files could not be found and skipped"_s);
        EXPECT_TRUE(device.FileName().isEmpty()) << "nothing plays";
        dialogs.messages.clear();
    }
    w->optInterrupt[0]->setChecked(true);
    // Among other entries and inside a scanned folder: counted once, together.
    w->UpdateOLE({a, broken, dir.filePath(u"F"_s)}, true);
    EXPECT_EQ(w->lstPlay.paths(), (QStringList{a, dir.filePath(u"F/ok.mid"_s)}));
    EXPECT_EQ(dialogs.messages, QStringList{u"2 files could not be found and skipped"_s});
    Q_UNUSED(cr);
}

TEST_F(IntakeTest, EscapeOrClosingTheScanWindowStopsTheScanKeepingWhatWasFound)
{
    // The root's own files come first; its subfolders only after a look at
    // the user's input.
    for (const char *name : {"T/a.mid", "T/b.mid", "T/S/c.mid", "T/U/d.mid"})
        song(QLatin1String(name));
    const QString root = dir.filePath(u"T"_s);
    const QStringList first = {dir.filePath(u"T/a.mid"_s), dir.filePath(u"T/b.mid"_s)};

    // Escape pressed in the main window.
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    w->UpdateOLE({root}, true);
    EXPECT_EQ(w->lstPlay.paths(), first);
    ASSERT_TRUE(w->enumDirForm());
    EXPECT_TRUE(w->enumDirForm()->isVisible()); // it goes 2 s later, as usual

    // The scan window closed: it goes at once.
    QPointer<frmEnumDir> form = w->enumDirForm();
    QCoreApplication::postEvent(form, new QCloseEvent);
    w->UpdateOLE({root}, true);
    EXPECT_EQ(w->lstPlay.paths(), first);
    EXPECT_FALSE(w->enumDirForm());

    // Untouched, the scan runs to its end; clicks on the main window wait.
    w->UpdateOLE({root}, true);
    EXPECT_EQ(w->lstPlay.size(), 4);
}

TEST_F(IntakeTest, CloseRequestInsideAHandlerWaitsForIt)
{
    const QString a = song(u"a.mid"_s);
    w->setEventLoopRunning(true);
    w->UpdateOLE({a}, false);
    bool closed = false;
    QObject::connect(w, &frmMain::closed, [&] { closed = true; });
    // Asked while a scan runs: the scan stops, the close follows it.
    for (const char *name : {"T/a.mid", "T/S/c.mid"})
        song(QLatin1String(name));
    QTimer::singleShot(0, w, [&] { w->requestClose(); });
    w->UpdateOLE({dir.filePath(u"T"_s)}, false);
    EXPECT_FALSE(closed);
    EXPECT_EQ(w->lstPlay.paths(), (QStringList{a, dir.filePath(u"T/a.mid"_s)}));
    ASSERT_TRUE(ProgramRun::waitFor([&] { return closed; }, Patience));
    EXPECT_EQ(readLines(w->defaultAlbumPath()), w->lstPlay.paths());
    // Dialogs asked for afterwards return at once.
    EXPECT_EQ(dialogs.messages.size(), 0);
}

TEST(LinkSocketFile, IsMadeAgainWhenItGoes)
{
    QTemporaryDir folder;
    InstanceLink server(folder.path());
    server.timeouts.watchMs = 50;
    ASSERT_EQ(server.probe(), InstanceLink::Probe::FirstInstance);
    QStringList received;
    server.setHandler([&](const QString &text) { received.append(text); });
    const QString socket = InstanceLink::socketPath(folder.path());
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(QFile::remove(socket));
        if (round == 1)
            writeFile(socket, "in the way"); // something else in its place
        ASSERT_TRUE(ProgramRun::waitFor(
            [&] {
                struct stat info;
                return ::lstat(native(socket).constData(), &info) == 0 && S_ISSOCK(info.st_mode);
            },
            Patience));
    }
    // A later start finds it (the client blocks, so it runs on a thread).
    InstanceLink::Delivery delivery = InstanceLink::Delivery::Lost;
    std::atomic<bool> done = false;
    std::thread client([&] {
        InstanceLink later(folder.path());
        if (later.probe() == InstanceLink::Probe::InstanceRunning)
            delivery = later.execute(u"x"_s);
        done = true;
    });
    ASSERT_TRUE(ProgramRun::waitFor([&] { return done.load(); }, Patience));
    client.join();
    EXPECT_EQ(delivery, InstanceLink::Delivery::Accepted);
    EXPECT_EQ(received, QStringList{u"x"_s});
    server.close();
    EXPECT_FALSE(QFile::exists(socket));
}

} // namespace
