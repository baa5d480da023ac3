// The folder walk: order and letter case, what is left out, links, and
// folders that cannot be read or do not exist.
#include "playlist/FolderScan.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

class FolderScanTest : public ::testing::Test
{
protected:
    // Space-separated names: files; "name/" folders; "name>target" links.
    void make(const QString &names)
    {
        for (const QString &name : names.split(u' ')) {
            const QStringList link = name.split(u'>');
            QDir().mkpath(QFileInfo(path(link[0])).path());
            if (link.size() == 2)
                QFile::link(link[1], path(link[0]));
            else if (!name.endsWith(u'/'))
                QFile(path(name)).open(QIODevice::WriteOnly);
        }
    }
    QString path(const QString &name) const { return root.filePath(name); }
    // The walk from name, relative to the root.
    QString scan(const QString &name, const FolderVisitor &visit = {})
    {
        QStringList found = scanFolderTree(path(name), visit);
        return found.replaceInStrings(root.path() + u'/', QString()).join(u' ');
    }
    QTemporaryDir root;
};

TEST_F(FolderScanTest, FilesThenSubfoldersDepthFirstByNameIgnoringCase)
{
    make(QStringLiteral("A/b.mid A/a.mid A/Z/z2.mid A/Z/Z1.MID A/Z/deep/e.mid A/Y/c.mid A/x/ "
                        "A/Song.Mid A/s.midi A/s.rmi A/k.Kar A/q.smf A/n.mi A/p.MAL A/mid A/x.mid "
                        "A/X.mid A/.h.mid "
                        "A/.cache/h.mid A/dir.mid/in.mid"));
    // A FIFO named like a song is neither taken nor allowed to block the walk.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(u"A/pipe.mid"_s)).constData(), 0600), 0);
    EXPECT_EQ(scan(u"A"_s),
              QStringLiteral("A/a.mid A/b.mid A/k.Kar A/q.smf A/s.midi A/s.rmi A/Song.Mid A/X.mid "
                             "A/x.mid A/dir.mid/in.mid "
                             "A/Y/c.mid A/Z/Z1.MID A/Z/z2.mid A/Z/deep/e.mid"));
}

TEST_F(FolderScanTest, LinksAreFollowedButNeverBackIntoTheCurrentPath)
{
    make(u"A/a.mid A/sub/b.mid Out/o.mid A/sub/up>"_s + path(u"A"_s) +
         QStringLiteral(" A/sub/self>. A/link.mid>sub/b.mid A/out>../Out A/gone>/nowhere "
                        "A/gone.mid>/nowhere.mid Loop>A"));
    const QString expected = u"A/a.mid A/link.mid A/out/o.mid A/sub/b.mid"_s;
    EXPECT_EQ(scan(u"A"_s), expected);
    EXPECT_EQ(scan(u"Loop"_s).replace(u"Loop/"_s, u"A/"_s), expected);
}

TEST_F(FolderScanTest, FoldersThatCannotBeOpenedAreSkippedAndMissingRootsAreEmpty)
{
    make(u"A/a/1.mid A/b/2.mid A/c/3.mid"_s);
    // A folder that turns into a file while the walk is on its way to it.
    const auto replaceB = [&](const QString &folder, const QStringList &) {
        if (folder.endsWith(QLatin1String("A/a"))) {
            QDir(path(u"A/b"_s)).removeRecursively();
            make(u"A/b"_s);
        }
    };
    EXPECT_EQ(scan(u"A"_s, replaceB), u"A/a/1.mid A/c/3.mid"_s);

    // A root that names nothing, a file, or a path with a NUL (which, cut
    // there, would name A/a): an empty folder.
    for (const QString &start : {u"gone"_s, u"A/b"_s, u"A/a"_s + QChar(u'\0')})
        EXPECT_EQ(scan(start), QString());
}

} // namespace
