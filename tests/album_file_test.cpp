// Album files on disk and display names: byte-exact round trips, writes that
// fail or go through links, the reader's tolerance of damaged albums, files
// that are not regular files, and FileTitle's rules.
#include "engine/MidiFile.h"
#include "playlist/AlbumFile.h"
#include "playlist/FileTitle.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QFileInfo>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>

using namespace Qt::StringLiterals;

namespace {

class AlbumFileTest : public ::testing::Test
{
protected:
    QString path(const QString &name) const { return dir.filePath(name); }
    QString touch(const QString &name, const QByteArray &bytes = {})
    {
        return writeBytes(path(name), bytes);
    }
    static QByteArray native(const QString &path) { return QFile::encodeName(path); }

    QTemporaryDir dir;
};

TEST_F(AlbumFileTest, WritesAreByteExactAndAFailedOneKeepsTheOldAlbum)
{
    const QStringList entries = {touch(u"a.mid"_s), touch(u"Ünïcode & spaces .mid"_s),
                                 touch(u"c.MID"_s)};
    const QString album = path(u"list.mal"_s);
    // What an interrupted write left goes; the user's own files stay.
    touch(u"list.mal.saving-Ab12Cd"_s, "partial");
    touch(u"list.mal.backup"_s, "the user's");
    ASSERT_TRUE(writeAlbum(album, entries));
    EXPECT_EQ(QDir(dir.path()).entryList({u"*.mal*"_s}),
              (QStringList{u"list.mal"_s, u"list.mal.backup"_s}));
    const QByteArray expected = (entries.join(u"\r\n"_s) + u"\r\n"_s).toUtf8();
    EXPECT_EQ(readBytes(album), expected);
    const AlbumReadResult read = readAlbum(album);
    EXPECT_EQ(read.entries.toList(), entries);
    EXPECT_TRUE(read.complete && read.missing == 0);
    // Written again from what was read, the file is the same to the byte.
    ASSERT_TRUE(writeAlbum(album, read.entries.toList()));
    EXPECT_EQ(readBytes(album), expected);
    // A path with a line break would split into two lines: it is left out.
    ASSERT_TRUE(writeAlbum(album, {u"/a.mid"_s, u"/b\nc.mid"_s, u"/d\r.mid"_s}));
    EXPECT_EQ(readBytes(album), "/a.mid\r\n");

    // A file size limit makes the next write fail halfway, as a full disk would.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit tight{4096, saved.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    QString error;
    const bool written = writeAlbum(album, QStringList(1000, u"/new/song.mid"_s), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(album), "/a.mid\r\n");
    EXPECT_EQ(QDir(dir.path()).entryList({u"*.mal*"_s}),
              (QStringList{u"list.mal"_s, u"list.mal.backup"_s})); // no temporary
}

TEST_F(AlbumFileTest, ALinkIsWrittenThroughAndStaysALink)
{
    const QString target = touch(u"real/default.mal"_s, "old\r\n");
    ::chmod(native(target).constData(), 0640);
    // A relative link to a relative link.
    ASSERT_EQ(::symlink("real/default.mal", native(path(u"hop.mal"_s)).constData()), 0);
    ASSERT_EQ(::symlink("hop.mal", native(path(u"default.mal"_s)).constData()), 0);
    ASSERT_TRUE(writeAlbum(path(u"default.mal"_s), {u"/a.mid"_s}));
    EXPECT_TRUE(QFileInfo(path(u"default.mal"_s)).isSymLink());
    EXPECT_TRUE(QFileInfo(path(u"hop.mal"_s)).isSymLink());
    EXPECT_EQ(readBytes(target), "/a.mid\r\n");
    EXPECT_TRUE(readAlbum(path(u"default.mal"_s)).opened);                 // and read through them
    EXPECT_EQ((QFileInfo(target).permissions() & 0x0777).toInt(), 0x0640); // rw-r-----
    EXPECT_EQ(QDir(path(u"real"_s)).entryList(QDir::Files).size(), 1);     // no temporary left
}

TEST_F(AlbumFileTest, LineEndsBlankLinesAndWhatCountsAsMissing)
{
    const QString a = touch(u"a.mid"_s), b = touch(u"b.mid"_s), c = touch(u"c.mid"_s),
                  hidden = touch(u".hidden.mid"_s), spaced = touch(u"spaced.mid "_s);
    QDir(dir.path()).mkdir(u"folder.mid"_s);
    // What, the album's text, the entries read, the lines missing. (Bytes of
    // any kind: the album fuzz target.)
    const std::tuple<const char *, QString, QStringList, int> cases[] = {
        {"LF, CR LF, lone CR, no end at the end",
         a + u"\n"_s + b + u"\r\n"_s + c + u"\r"_s + a,
         {a, b, c, a},
         0},
        // The blank line before the last line end counts once.
        {"blank and space-only lines", a + u"\r\n\r\n   \r\n"_s + b + u"\r\n\r\n"_s, {a, b}, 3},
        // A trailing space is part of the path and is kept as written.
        {"hidden, folder, gone, device",
         QStringList{hidden, path(u"folder.mid"_s), path(u"gone.mid"_s), spaced, u"/dev/null"_s}
             .join(u"\r\n"_s),
         {spaced},
         4},
    };
    for (const auto &[what, text, entries, missing] : cases) {
        SCOPED_TRACE(what);
        const AlbumReadResult read = readAlbum(touch(u"x.mal"_s, text.toUtf8()));
        EXPECT_EQ(read.entries.toList(), entries);
        EXPECT_EQ(read.missing, missing);
    }
}

// FIFOs, devices and folders fail at once, without a read that could block.
TEST_F(AlbumFileTest, OnlyRegularFilesAreRead)
{
    const QString fifo = path(u"pipe.mid"_s), folder = path(u"folder.mal"_s);
    ASSERT_EQ(::mkfifo(native(fifo).constData(), 0600), 0);
    QDir().mkpath(folder);
    for (const QString &file : {fifo, u"/dev/zero"_s, folder, path(u"nothing.mal"_s)}) {
        SCOPED_TRACE(file.toStdString());
        auto read = std::make_shared<std::atomic<int>>(-1); // album and song opened
        std::thread([file, read] {
            *read = readAlbum(file).opened + MidiFile::load(native(file).toStdString()).ok();
        }).detach(); // left blocked, as the window's thread would be
        ASSERT_TRUE(ProgramRun::waitFor([&] { return *read >= 0; }, 5000));
        EXPECT_EQ(*read, 0);
        EXPECT_FALSE(readAlbum(file).error.isEmpty());
    }
}

TEST(FileTitleTest, NameWithoutFolderAndExtension)
{
    // (The plain "/folder/name.mid": the playlist model's tests.)
    const std::pair<QString, QString> cases[] = {
        {u"/Songs/Song.Name.mid"_s, u"Song.Name"_s},
        {u"/A/Readme"_s, u"Readme"_s},
        {u"/my.folder/song"_s, u"song"_s},
        {u"song.mid"_s, u"song"_s},
    };
    for (const auto &[path, title] : cases)
        EXPECT_EQ(FileTitle(path), title) << path.toStdString();
}

} // namespace
