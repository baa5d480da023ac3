// The album commands through the fake dialogs: what each leaves behind in the
// playlist, the policy for new entries, the recent list and its check mark;
// Cancel, an album that cannot be written and one that has gone.
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

class AlbumCommandsTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        w = &window();
        w->Global.ResetMode = 0;
        a = song(u"a.mid"_s);
        b = song(u"b.mid"_s);
        c = song(u"c.mid"_s);
    }
    QStringList recent() const
    {
        return {w->Global.AlbumList[1], w->Global.AlbumList[2], w->Global.AlbumList[3],
                w->Global.AlbumList[4]};
    }
    int policy() const { return w->optInterrupt[1]->isChecked() ? 1 : 0; }
    // The check marks of the four album items, "1" for a checked one.
    QString marks() const
    {
        QString s;
        for (int i = 1; i <= 4; ++i)
            s += w->mnuA[i]->isChecked() ? u'1' : u'0';
        return s;
    }

    frmMain *w = nullptr;
    QString a, b, c;
};

TEST_F(AlbumCommandsTest, DialogsAreSetUpAndStartInTheAlbumsFolder)
{
    const QString albums = dir.filePath(u"Albums"_s);
    ASSERT_FALSE(QFileInfo::exists(albums));
    w->btnLoad_Click();
    w->mnuLoad_Click();
    w->btnSave_Click();
    w->mnuSave_Click();
    ASSERT_EQ(dialogs.shown.size(), 4);
    EXPECT_TRUE(QFileInfo(albums).isDir()); // made on first use
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const FileDialogSetup &s = dialogs.shown.at(i);
        const bool open = i < 2;
        EXPECT_EQ(s.DialogTitle, open ? u"Open MIDI Album"_s : u"Save this album to"_s);
        EXPECT_EQ(s.Filter, u"MIDI Album|*.mal"_s);
        EXPECT_EQ(s.DefaultExt, u".mal"_s);
        EXPECT_EQ(s.FileName, u"*.mal"_s);
        EXPECT_EQ(s.InitDir, albums);
        EXPECT_EQ(s.FileMustExist, open);
        EXPECT_EQ(s.ConfirmOverwrite, !open);
    }
}

TEST_F(AlbumCommandsTest, CancelChangesNothing)
{
    const QString list = album(u"list.mal"_s, {a, b});
    w->lstPlay.append(c);
    w->optInterrupt[1]->setChecked(true);
    w->UpdateAlbum(list);
    w->Global.CurrentAlbum = 0;
    w->mnuA[1]->setChecked(false);
    for (auto command : {&frmMain::btnLoad_Click, &frmMain::mnuLoad_Click, &frmMain::btnSave_Click,
                         &frmMain::mnuSave_Click}) {
        (w->*command)(); // no answer scripted: cancelled
        EXPECT_EQ(w->lstPlay.paths(), QStringList{c});
        EXPECT_EQ(policy(), 1);
        EXPECT_EQ(recent(), (QStringList{list, u"Empty"_s, u"Empty"_s, u"Empty"_s}));
        EXPECT_EQ(w->Global.CurrentAlbum, 0);
        EXPECT_EQ(marks(), u"0000"_s);
    }
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(AlbumCommandsTest, AddAppendsAndLoadReplacesAndBothKeepTheirPolicy)
{
    const QString list = album(u"list.mal"_s, {a, b});
    w->optInterrupt[1]->setChecked(true);
    // Add on an empty playlist: appended, the first new entry plays.
    dialogs.answers = {list, list};
    w->btnLoad_Click();
    EXPECT_EQ(w->lstPlay.paths(), (QStringList{a, b}));
    EXPECT_EQ(device.openFile(), a);
    EXPECT_EQ(policy(), 0);
    EXPECT_EQ(w->Global.CurrentAlbum, 0);
    EXPECT_EQ(marks(), u"0000"_s);
    // Again: doubled, nothing new plays, one entry for the album in the list.
    device.log.clear();
    w->btnLoad_Click();
    EXPECT_EQ(w->lstPlay.paths(), (QStringList{a, b, a, b}));
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_EQ(recent(), (QStringList{list, u"Empty"_s, u"Empty"_s, u"Empty"_s}));

    // Load: replaced, plays from its first entry, the album is current.
    const QString other = album(u"other.mal"_s, {c, a});
    dialogs.answers = {other};
    w->PlayIndex = 2;
    w->mnuLoad_Click();
    EXPECT_EQ(w->lstPlay.paths(), (QStringList{c, a}));
    EXPECT_EQ(device.openFile(), c);
    EXPECT_EQ(w->PlayIndex, 0);
    EXPECT_EQ(policy(), 1);
    EXPECT_EQ(w->mnuNewPlay->isChecked(), true);
    EXPECT_EQ(w->Global.OnNewEntry, 1);
    EXPECT_EQ(w->Global.CurrentAlbum, 1);
    EXPECT_EQ(marks(), u"1000"_s);
    EXPECT_EQ(recent(), (QStringList{other, list, u"Empty"_s, u"Empty"_s}));
}

TEST_F(AlbumCommandsTest, SaveWritesThePlaylistAndMakesItTheCurrentAlbum)
{
    const QString path = dir.filePath(u"Albums/two.mal"_s);
    w->lstPlay.append(QStringList{a, b});
    w->optInterrupt[1]->setChecked(true);
    dialogs.answers = {path};
    w->btnSave_Click();
    EXPECT_EQ(readBytes(path), (a + u"\r\n"_s + b + u"\r\n"_s).toUtf8());
    EXPECT_EQ(recent().first(), path);
    EXPECT_EQ(w->Global.CurrentAlbum, 1);
    EXPECT_EQ(marks(), u"1000"_s);
    EXPECT_EQ(policy(), 1);
    EXPECT_TRUE(device.log.isEmpty());

    // Saved over itself from the menu: still the first item, checked.
    const QString empty = dir.filePath(u"empty.mal"_s);
    w->UpdateAlbum(empty);
    w->lstPlay.append(c);
    dialogs.answers = {path};
    w->mnuSave_Click();
    EXPECT_EQ(readLines(path), (QStringList{a, b, c}));
    EXPECT_EQ(recent(), (QStringList{path, empty, u"Empty"_s, u"Empty"_s}));
    EXPECT_EQ(marks(), u"1000"_s);

    // An empty playlist makes an album of zero bytes.
    w->btnClear_Click();
    dialogs.answers = {empty};
    w->btnSave_Click();
    EXPECT_TRUE(QFileInfo::exists(empty));
    EXPECT_EQ(QFileInfo(empty).size(), 0);
    EXPECT_EQ(recent().first(), empty);
    EXPECT_EQ(w->Global.CurrentAlbum, 1);
}

TEST_F(AlbumCommandsTest, AnAlbumThatCannotBeWrittenIsReportedAndNotListed)
{
    w->lstPlay.append(a);
    const QString list = dir.filePath(u"kept.mal"_s);
    w->UpdateAlbum(list);
    w->Global.CurrentAlbum = 0;
    w->mnuA[1]->setChecked(false);
    const QString nowhere = dir.filePath(u"no such folder/x.mal"_s);
    QDir().mkpath(dir.filePath(u"taken.mal"_s)); // a folder where the file goes
    for (const QString &target : {nowhere, dir.filePath(u"taken.mal"_s)}) {
        SCOPED_TRACE(target.toStdString());
        dialogs.messages.clear();
        dialogs.answers = {target};
        w->btnSave_Click();
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages.first().contains(target));
        EXPECT_FALSE(QFileInfo(target).isFile());
        EXPECT_EQ(recent(), (QStringList{list, u"Empty"_s, u"Empty"_s, u"Empty"_s}));
        EXPECT_EQ(w->Global.CurrentAlbum, 0);
        EXPECT_EQ(marks(), u"0000"_s);
    }
}

TEST_F(AlbumCommandsTest, PickingARecentAlbumReplacesThePlaylist)
{
    QString lists[4];
    const QString *songs[] = {&a, &b, &c, &a};
    for (int i = 3; i >= 0; --i) {
        lists[i] = album(u"list%1.mal"_s.arg(i + 1), {*songs[i]});
        w->UpdateAlbum(lists[i]);
    }
    w->lstPlay.append(QStringList{b, b});
    w->mnuA[3]->trigger(); // as a click: the item toggles its own mark first
    EXPECT_EQ(w->lstPlay.paths(), QStringList{c});
    EXPECT_EQ(device.openFile(), c);
    EXPECT_EQ(recent(), (QStringList{lists[2], lists[0], lists[1], lists[3]}));
    EXPECT_EQ(w->mnuA[1]->text(), u"list3"_s);
    EXPECT_EQ(marks(), u"1000"_s);
    EXPECT_EQ(w->Global.CurrentAlbum, 1);
    EXPECT_EQ(policy(), 1);
}

TEST_F(AlbumCommandsTest, ARecentAlbumThatHasGoneIsNamedAndChangesNothing)
{
    const QString gone = dir.filePath(u"gone.mal"_s);
    const QString here = album(u"here.mal"_s, {a});
    w->UpdateAlbum(gone);
    w->UpdateAlbum(here);
    w->Global.CurrentAlbum = 1;
    w->lstPlay.append(QStringList{b, c});
    w->PlayIndex = 1;
    w->mnuA[2]->trigger();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().contains(gone));
    EXPECT_EQ(w->lstPlay.paths(), (QStringList{b, c}));
    EXPECT_EQ(w->PlayIndex, 1);
    EXPECT_EQ(policy(), 0);
    EXPECT_EQ(recent(), (QStringList{here, gone, u"Empty"_s, u"Empty"_s}));
    EXPECT_EQ(marks(), u"1000"_s);
    EXPECT_TRUE(device.log.isEmpty());
}

} // namespace
