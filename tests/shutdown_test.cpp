// Closing the player: settings saved first, the device closed, and the
// playlist kept in "default.mal" or that file removed.
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

class ShutdownTest : public WindowFixture
{
protected:
    QString defaultAlbum() { return dir.filePath(u"default.mal"_s); }
    QStringList folder() { return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden); }
};

TEST_F(ShutdownTest, EmptyPlaylistRemovesDefaultAlbumAndTouchesNothingElse)
{
    album(u"default.mal"_s, {u"/gone.mid"_s});
    frmMain &w = window();
    w.Form_Load();
    w.Form_QueryUnload();
    EXPECT_FALSE(QFileInfo::exists(defaultAlbum()));
    const QStringList before = folder();
    frmMain again(services());
    again.Form_QueryUnload();
    EXPECT_EQ(folder(), before);
    EXPECT_EQ(device.log.last(), u"Close"_s);
}

TEST_F(ShutdownTest, PlaylistIsWrittenLineForLineOnce)
{
    const QString a = song(u"a.mid"_s), b = song(u"b c.mid"_s), c = song(u"c.mid"_s);
    frmMain &w = window();
    w.Form_Load();
    w.lstPlay.append(QStringList{c, a, b});
    w.UpdateMIDI();
    w.Global.CurrentAlbum = 1; // still written, though not read at the next start
    w.mnuClose_Click();
    EXPECT_EQ(readBytes(defaultAlbum()), (c + u"\r\n"_s + a + u"\r\n"_s + b + u"\r\n"_s).toUtf8());
    EXPECT_EQ(store.values.value(u"CurrentAlbum"_s), u"1"_s);
    // The window system closing the window afterwards changes nothing.
    QFile::remove(defaultAlbum());
    const int writes = store.writes;
    w.close();
    EXPECT_EQ(store.writes, writes);
    EXPECT_FALSE(QFileInfo::exists(defaultAlbum()));
}

TEST_F(ShutdownTest, DataFolderThatDoesNotExistYetIsMade)
{
    MainWindowServices s = services();
    s.dataFolder = dir.filePath(u"data/Sonabel"_s);
    frmMain w(s);
    w.lstPlay.append(song(u"a.mid"_s));
    w.UpdateMIDI();
    w.Form_QueryUnload();
    EXPECT_EQ(readLines(s.dataFolder + u"/default.mal"_s), w.lstPlay.paths());
}

} // namespace
