// Closing the player: settings saved first, the device closed, and the
// playlist kept in "default.mal" or that file removed.
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFileInfo>

namespace {

class ShutdownTest : public WindowFixture
{
protected:
    QString defaultAlbum() { return dir.filePath(QStringLiteral("default.mal")); }
};

TEST_F(ShutdownTest, EmptyPlaylistDeletesDefaultAlbum)
{
    album(QStringLiteral("default.mal"), {QStringLiteral("/gone.mid")});
    frmMain &w = window();
    w.Form_Load();
    ASSERT_EQ(w.lstMIDI->ListCount(), 0);
    w.Form_QueryUnload();
    EXPECT_FALSE(QFileInfo::exists(defaultAlbum()));
}

TEST_F(ShutdownTest, EmptyPlaylistWithoutDefaultAlbumTouchesNothing)
{
    frmMain &w = window();
    w.Form_Load();
    const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden);
    w.Form_QueryUnload();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden), before);
    EXPECT_EQ(device.log.last(), QStringLiteral("Close"));
}

TEST_F(ShutdownTest, PlaylistIsWrittenLineForLine)
{
    const QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b c.mid")),
                  c = song(QStringLiteral("c.mid"));
    frmMain &w = window();
    w.Form_Load();
    w.lstPlay = {c, a, b};
    w.UpdateMIDI();
    w.Global.CurrentAlbum = 1; // still written, though not read at the next start
    w.Form_QueryUnload();
    EXPECT_EQ(readBytes(defaultAlbum()),
              (c + QStringLiteral("\r\n") + a + QStringLiteral("\r\n") + b + QStringLiteral("\r\n"))
                  .toUtf8());
    EXPECT_EQ(store.values.value(QStringLiteral("CurrentAlbum")), QStringLiteral("1"));
}

TEST_F(ShutdownTest, SettingsAreSavedEvenWhenDefaultAlbumCannotBeWritten)
{
    QDir(dir.path()).mkpath(QStringLiteral("default.mal/inside"));
    frmMain &w = window();
    w.Form_Load();
    w.lstPlay = {song(QStringLiteral("a.mid"))};
    w.UpdateMIDI();
    w.Global.ResetMode = 0;
    w.Form_QueryUnload();
    EXPECT_EQ(store.values.value(QStringLiteral("Reset")), QStringLiteral("0"));
    EXPECT_TRUE(QFileInfo(defaultAlbum()).isDir());
}

TEST_F(ShutdownTest, ShutdownRunsOnce)
{
    frmMain &w = window();
    w.Form_Load();
    w.lstPlay = {song(QStringLiteral("a.mid"))};
    w.UpdateMIDI();
    w.mnuClose_Click();
    QFile::remove(defaultAlbum());
    const int writes = store.writes;
    w.close(); // the window system closing it afterwards changes nothing
    EXPECT_EQ(store.writes, writes);
    EXPECT_FALSE(QFileInfo::exists(defaultAlbum()));
}

} // namespace
