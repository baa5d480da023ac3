// Album files and display names: byte-exact round trips, the reader's
// tolerance of damaged albums, and FileTitle's rules.
#include "playlist/AlbumFile.h"
#include "playlist/FileTitle.h"
#include "support/ProgramRun.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace Qt::StringLiterals;

namespace {

class AlbumFileTest : public ::testing::Test
{
protected:
    QString touch(const QString &name) { return raw(name, {}); }
    QString raw(const QString &name, const QByteArray &bytes)
    {
        return writeBytes(dir.filePath(name), bytes);
    }
    QTemporaryDir dir;
};

TEST_F(AlbumFileTest, WriteThenReadIsByteExact)
{
    const QStringList entries = {touch(u"a.mid"_s), touch(u"Ünïcode & spaces .mid"_s),
                                 touch(u"c.MID"_s)};
    const QString path = dir.filePath(u"list.mal"_s);
    ASSERT_TRUE(writeAlbum(path, entries));

    QByteArray expected;
    for (const QString &e : entries)
        expected += e.toUtf8() + "\r\n";
    EXPECT_EQ(readBytes(path), expected);

    const AlbumReadResult read = readAlbum(path);
    EXPECT_TRUE(read.opened);
    EXPECT_EQ(read.entries, entries);
    EXPECT_EQ(read.missing, 0);

    // Written again from what was read, the file is the same to the byte.
    ASSERT_TRUE(writeAlbum(path, read.entries));
    EXPECT_EQ(readBytes(path), expected);

    // An empty playlist is a file of zero bytes, read back as nothing.
    ASSERT_TRUE(writeAlbum(path, {}));
    EXPECT_TRUE(readBytes(path).isEmpty());
    const AlbumReadResult empty = readAlbum(path);
    EXPECT_TRUE(empty.opened);
    EXPECT_TRUE(empty.entries.isEmpty());
    EXPECT_EQ(empty.missing, 0);
}

TEST_F(AlbumFileTest, FailedWriteKeepsTheOldAlbum)
{
    const QString path = dir.filePath(u"keep.mal"_s);
    ASSERT_TRUE(writeAlbum(path, {u"/old"_s}));

    // A file size limit makes the write fail halfway, as a full disk would.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previousHandler = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    QString error;
    const bool written = writeAlbum(path, QStringList(1000, u"/new/song.mid"_s), &error);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(written);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readBytes(path), QByteArray("/old\r\n"));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{u"keep.mal"_s});
}

TEST_F(AlbumFileTest, LineEndsAndBlankLines)
{
    const QByteArray a = touch(u"a.mid"_s).toUtf8();
    const QByteArray b = touch(u"b.mid"_s).toUtf8();
    const QByteArray c = touch(u"c.mid"_s).toUtf8();
    struct Case
    {
        const char *what;
        QByteArray bytes;
        int entries;
        int missing;
    } cases[] = {
        {"CR LF", a + "\r\n" + b + "\r\n", 2, 0},
        {"lone CR", a + "\r" + b + "\r" + c, 3, 0},
        {"lone LF", a + "\n" + b + "\n", 2, 0},
        {"mixed", a + "\n" + b + "\r\n" + c + "\r", 3, 0},
        {"extra blank line at the end counts once", a + "\r\n\r\n", 1, 1},
        {"blank and space-only lines count", a + "\r\n\r\n   \r\n" + b, 2, 2},
        {"CR LF split over nothing is one line end", a + "\r\n" + b, 2, 0},
    };
    for (const Case &k : cases) {
        const AlbumReadResult read = readAlbum(raw(u"x.mal"_s, k.bytes));
        EXPECT_EQ(read.entries.size(), k.entries) << k.what;
        EXPECT_EQ(read.missing, k.missing) << k.what;
    }
}

TEST_F(AlbumFileTest, OnlyExistingVisibleOrdinaryFilesCount)
{
    const QString real = touch(u"real.mid"_s);
    const QString hidden = touch(u".hidden.mid"_s);
    const QString spaced = touch(u"spaced.mid "_s);
    QDir(dir.path()).mkdir(u"folder.mid"_s);
    const QByteArray text = real.toUtf8() + "\r\n" + hidden.toUtf8() + "\r\n" +
                            dir.filePath(u"folder.mid"_s).toUtf8() + "\r\n" +
                            dir.filePath(u"gone.mid"_s).toUtf8() + "\r\n" + spaced.toUtf8() +
                            "\r\n" + "/dev/null\r\n";
    const AlbumReadResult read = readAlbum(raw(u"x.mal"_s, text));
    // The trailing space is part of the path and is kept as written.
    EXPECT_EQ(read.entries, (QStringList{real, spaced}));
    EXPECT_EQ(read.missing, 4);
}

TEST_F(AlbumFileTest, JunkNulBytesAndHugeLinesCountAsMissing)
{
    const QByteArray real = touch(u"real.mid"_s).toUtf8();
    QByteArray junk;
    for (int i = 0; i < 4096; ++i)
        junk += static_cast<char>((i * 37) & 0xff);
    const QByteArray huge(3 * 1024 * 1024, 'x');
    const QByteArray text = real + QByteArray("\0junk", 5) + "\r\n" + real + "\r\n" +
                            QByteArray("\xff\xfe\x80", 3) + real + "\n" + huge + "\r\n" + real;
    const AlbumReadResult withNul = readAlbum(raw(u"x.mal"_s, text));
    EXPECT_EQ(withNul.entries, (QStringList{QString::fromUtf8(real), QString::fromUtf8(real)}));
    EXPECT_EQ(withNul.missing, 3);

    const AlbumReadResult binary = readAlbum(raw(u"y.mal"_s, junk));
    EXPECT_TRUE(binary.opened);
    EXPECT_TRUE(binary.entries.isEmpty());
    EXPECT_GT(binary.missing, 0);
}

TEST_F(AlbumFileTest, UnopenableAlbumSaysWhy)
{
    for (const QString &path : {dir.filePath(u"nothing.mal"_s), dir.path()}) {
        const AlbumReadResult read = readAlbum(path);
        EXPECT_FALSE(read.opened);
        EXPECT_FALSE(read.error.isEmpty());
    }
}

TEST(FileTitleTest, NameWithoutFolderAndExtension)
{
    const QString longFolder = u"/"_s + QString(300, u'f');
    const QString longName = QString(300, u'n');
    const std::pair<QString, QString> cases[] = {
        {u"/MIDI/Rock/Song.mid"_s, u"Song"_s},
        {u"/Songs/Song.Name.mid"_s, u"Song.Name"_s},
        {u"/A/.mid"_s, QString()},
        {u"/A/Readme"_s, u"Readme"_s},
        // The last character is never examined.
        {u"/Songs/abc."_s, u"abc."_s},
        {u"/Songs/sub/"_s, u"sub/"_s},
        {u"/my.folder/song"_s, u"song"_s},
        {u"song.mid"_s, u"song"_s},
        {QString(), QString()},
        {longFolder + u"/tune.mid"_s, u"tune"_s},
        {u"/a/"_s + longName + u".mid"_s, longName},
    };
    for (const auto &[path, title] : cases)
        EXPECT_EQ(FileTitle(path), title) << path.left(40).toStdString();
}

} // namespace
