// The album commands through the fake dialogs: what each leaves behind in the
// playlist, the policy for new entries, the recent list and its check marks;
// Cancel, missing songs, an album that cannot be written and one that has gone.
#include "playlist/frmEnumDir.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

class AlbumCommandsTest : public WindowFixture
{
protected:
    void SetUp() override { w->Global.ResetMode = 0; }
    // The recent list, the current album and the items' check marks ("1000").
    QString albums() const
    {
        QString marks;
        QStringList slots;
        for (int i = 1; i <= 4; ++i) {
            marks += w->mnuA[i]->isChecked() ? u'1' : u'0';
            slots.append(QFileInfo(w->Global.AlbumList[i]).fileName());
        }
        return slots.join(u' ') + u" current "_s + QString::number(w->Global.CurrentAlbum) + u' ' +
               marks;
    }
    // The playlist (by name in the program folder), the place that plays, the
    // policy (1: interrupt) and the albums.
    QString state() const
    {
        return w->lstPlay.paths().join(u' ').replace(dir.path() + u'/', QString()) + u" at "_s +
               QString::number(w->playIndex()) + u" policy "_s +
               (w->optInterrupt[1]->isChecked() ? u"1, "_s : u"0, "_s) + albums();
    }

    frmMain *w = &window();
    QString a = song(u"a.mid"_s), b = song(u"b.mid"_s), c = song(u"c.mid"_s);
};

TEST_F(AlbumCommandsTest, AddAppendsCancelChangesNothingAndSaveWritesOrSaysWhyItCouldNot)
{
    const QString list = album(u"list.mal"_s, {a, dir.filePath(u"gone.mid"_s), b});
    w->optInterrupt[1]->setChecked(true);
    // Add, twice, on an empty playlist: appended, the first entry plays once.
    dialogs.answers = {list, list};
    w->btnLoad_Click();
    EXPECT_EQ(dialogs.messages, QStringList{u"1 files could not be found and skipped"_s});
    EXPECT_EQ(device.openFile(), a);
    device.log.clear();
    w->btnLoad_Click();
    EXPECT_TRUE(device.log.isEmpty());
    const QString added =
        u"a.mid b.mid a.mid b.mid at 0 policy 0, list.mal Empty Empty Empty current 0 0000"_s;
    EXPECT_EQ(state(), added);

    // No answer scripted: every dialog is cancelled.
    dialogs.shown.clear();
    dialogs.messages.clear();
    w->btnLoad_Click();
    w->mnuLoad_Click();
    w->btnSave_Click();
    w->mnuSave_Click();
    EXPECT_EQ(state(), added);
    EXPECT_TRUE(device.log.isEmpty() && dialogs.messages.isEmpty());
    ASSERT_EQ(dialogs.shown.size(), 4);
    EXPECT_TRUE(QFileInfo(dir.filePath(u"Albums"_s)).isDir()); // made on first use
    for (int i = 0; i < 4; ++i) {                              // two to open, then two to save
        EXPECT_EQ(dialogs.shown[i].InitDir, dir.filePath(u"Albums"_s));
        EXPECT_EQ(dialogs.shown[i].FileMustExist, i < 2);
        EXPECT_EQ(dialogs.shown[i].ConfirmOverwrite, i >= 2);
    }

    // Saved, then saved over itself from the menu: still the first item, checked.
    const QString path = dir.filePath(u"Albums/two.mal"_s);
    dialogs.answers = {path, path};
    w->btnSave_Click();
    EXPECT_EQ(readBytes(path), (a + u"\r\n"_s + b + u"\r\n"_s).repeated(2).toUtf8());
    w->UpdateAlbum(dir.filePath(u"x.mal"_s));
    w->mnuSave_Click();
    EXPECT_EQ(albums(), u"two.mal x.mal list.mal Empty current 1 1000"_s);
    // Nothing written: the user is told, the recent list gets nothing.
    w->Global.CurrentAlbum = 0;
    w->mnuA[1]->setChecked(false);
    QDir().mkpath(dir.filePath(u"taken.mal"_s)); // a folder where the file goes
    for (const QString &target :
         {dir.filePath(u"no folder/x.mal"_s), dir.filePath(u"taken.mal"_s)}) {
        dialogs.messages.clear();
        dialogs.answers = {target};
        w->btnSave_Click();
        ASSERT_EQ(dialogs.messages.size(), 1);
        EXPECT_TRUE(dialogs.messages.first().contains(target));
        EXPECT_EQ(albums(), u"two.mal x.mal list.mal Empty current 0 0000"_s);
    }

    // Loaded, one whose songs are all missing empties the playlist; the song
    // goes on. Saved, the empty playlist makes an album of zero bytes.
    device.log.clear();
    dialogs.answers = {album(u"gone.mal"_s, {u"/no/x.mid"_s, QString(), u"/no/y.mid"_s}), path};
    w->mnuLoad_Click();
    EXPECT_TRUE(w->lstPlay.isEmpty() && w->lstMIDI->ListCount() == 0);
    EXPECT_EQ(dialogs.messages.last(), u"3 files could not be found and skipped"_s);
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_TRUE(w->isStopped());
    w->btnSave_Click();
    EXPECT_TRUE(QFileInfo::exists(path) && QFileInfo(path).size() == 0);
}

// An album read on a worker ends as the same album read at once: playlist,
// messages, what the device was told, the recent list and the policy. Its
// Cancel leaves all of that as it was.
TEST_F(AlbumCommandsTest, AlbumOnAWorkerEndsAsReadAtOnceAndCancelChangesNothing)
{
    std::optional<AlbumLoadsAs> onWorker;
    // Loaded over c c, the second playing, under the adding policy.
    const auto load = [&](const QString &path, bool cancel) {
        w->btnClear_Click();
        w->lstPlay.append(QStringList{c, c});
        w->setPlayIndex(1);
        w->optInterrupt[0]->setChecked(true);
        device.log.clear();
        dialogs.messages.clear();
        dialogs.answers = {path};
        w->mnuLoad_Click();
        // Cancelled while the worker reads: else the result shows the album.
        if (cancel && w->albumLoading() && w->enumDirForm() && w->enumDirForm()->isVisible())
            w->enumDirForm()->cancelButton()->click();
        EXPECT_TRUE(ProgramRun::waitFor([&] { return !w->albumLoading(); }, 20000));
        return QStringList{state(), dialogs.messages.join(u' '), device.log.join(u' ')};
    };
    const QString list = album(u"list.mal"_s, {a, dir.filePath(u"gone.mid"_s), b, QString(), c});
    const QStringList atOnce = load(list, false);
    // Replaced, plays from its first entry, the album is current and the
    // policy interrupts.
    EXPECT_EQ(atOnce.first(),
              u"a.mid b.mid c.mid at 0 policy 1, list.mal Empty Empty Empty current 1 1000"_s);
    EXPECT_TRUE(atOnce.last().endsWith(u"Open "_s + a + u" Play"_s)) << qPrintable(atOnce.last());
    onWorker.emplace();
    EXPECT_EQ(load(list, false), atOnce);
    // Long enough that the worker is still at it when the button is clicked.
    EXPECT_EQ(
        load(album(u"big.mal"_s, QStringList(20000, a)), true),
        (QStringList{u"c.mid c.mid at 1 policy 0, list.mal Empty Empty Empty current 0 0000"_s,
                     QString(), QString()}));
}

TEST_F(AlbumCommandsTest, RecentAlbumsMoveToTheFrontAndReplaceThePlaylistOrAreNamedWhenGone)
{
    const auto slots = [&] {
        return QStringList(w->Global.AlbumList.begin() + 1, w->Global.AlbumList.end());
    };
    w->UpdateAlbum();
    EXPECT_FALSE(w->sep4->isVisible() || w->mnuA[1]->isVisible());
    QStringList path;
    for (const QString &name : {u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s})
        w->UpdateAlbum(path.emplace_back(dir.filePath(name + u".mal"_s)));
    EXPECT_EQ(slots(), (QStringList{path[4], path[3], path[2], path[1]}));
    w->UpdateAlbum(path[2]);
    EXPECT_EQ(albums(), u"C.mal E.mal D.mal B.mal current 0 1000"_s);
    QStringList captions;
    for (int i = 1; i <= 4; ++i)
        captions.append(w->mnuA[i]->isVisible() ? w->mnuA[i]->text() : QString());
    EXPECT_EQ(captions, (QStringList{u"C"_s, u"E"_s, u"D"_s, u"B"_s}));
    EXPECT_TRUE(w->sep4->isVisible());
    // Passing a slot itself as the name works: the argument is copied first.
    w->UpdateAlbum(w->Global.AlbumList[3]);
    EXPECT_EQ(slots(), (QStringList{path[3], path[2], path[4], path[1]}));
    // Names differing only in letter case are two albums.
    w->UpdateAlbum(path[3].toUpper());
    EXPECT_EQ(slots(), (QStringList{path[3].toUpper(), path[3], path[2], path[4]}));

    const QString gone = dir.filePath(u"gone.mal"_s);
    w->UpdateAlbum(album(u"four.mal"_s, {a}));
    w->UpdateAlbum(gone);
    w->UpdateAlbum(album(u"two.mal"_s, {b}));
    w->UpdateAlbum(album(u"one.mal"_s, {a, b}));
    w->lstPlay.append(QStringList{c, c});
    w->setPlayIndex(1);
    w->Global.CurrentAlbum = 0;
    w->mnuA[1]->setChecked(false);
    // Gone: named in a message; playlist, policy and list stay as they were.
    w->mnuA[3]->trigger(); // as a click: the item toggles its own mark first
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().contains(gone));
    EXPECT_EQ(state(),
              u"c.mid c.mid at 1 policy 0, one.mal two.mal gone.mal four.mal current 0 0000"_s);
    EXPECT_TRUE(device.log.isEmpty());
    // Picked: the album replaces the playlist and becomes item 1.
    w->mnuA[2]->trigger();
    EXPECT_EQ(device.openFile(), b);
    EXPECT_EQ(state(), u"b.mid at 0 policy 1, two.mal one.mal gone.mal four.mal current 1 1000"_s);
    EXPECT_EQ(w->mnuA[1]->text(), u"two"_s);
}

} // namespace
