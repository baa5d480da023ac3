// New entries on the main window: UpdateOLE under both policies, albums among
// the entries, the folder-scan window, and the policy controls.
#include "playback/PlayMenu.h"
#include "playlist/frmEnumDir.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"

#include <QPointer>

namespace {

class NewEntriesTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        w = &window();
        w->Global.ResetMode = 0;
    }
    // Plays x outside the playlist, as the interrupt policy does.
    void playOutside(const QString &x)
    {
        w->UpdateOLE({}, true);
        w->optInterrupt[1]->setChecked(true);
        w->UpdateOLE({x}, false);
        ASSERT_EQ(device.openFile(), x);
    }
    void markAlbum()
    {
        w->Global.CurrentAlbum = 1;
        w->mnuA[1]->setChecked(true);
    }
    bool albumMarked() const { return w->Global.CurrentAlbum != 0 || w->mnuA[1]->isChecked(); }
    void expectPolicy(int index) const
    {
        EXPECT_TRUE(w->optInterrupt[index]->isChecked());
        EXPECT_EQ(w->Global.OnNewEntry, index);
        EXPECT_EQ(w->mnuNewList->isChecked(), index == 0);
        EXPECT_EQ(w->mnuNewPlay->isChecked(), index == 1);
    }
    frmMain *w = nullptr;
    QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b.mid")),
            c = song(QStringLiteral("c.mid"));
};

TEST_F(NewEntriesTest, AddPolicyAppendsAndStartsOnlyAStoppedEmptyPlaylist)
{
    w->UpdateOLE({a, b}, false);
    EXPECT_EQ(device.openFile(), a);
    // Not empty: appended, playback untouched; the album mark goes even when
    // nothing was taken.
    for (const QString &entry : {c, file(QStringLiteral("notes.txt"))}) {
        markAlbum();
        device.log.clear();
        w->UpdateOLE({entry}, false);
        EXPECT_TRUE(device.log.isEmpty());
        EXPECT_FALSE(albumMarked());
    }
    EXPECT_EQ(w->lstMIDI->model()->strings(), QStringLiteral("a b c").split(u' '));
    // Empty, but a song plays outside the playlist: it goes on.
    playOutside(c);
    w->optInterrupt[0]->setChecked(true);
    device.log.clear();
    w->UpdateOLE({a}, false);
    EXPECT_EQ(w->lstPlay, QStringList{a});
    EXPECT_TRUE(device.log.isEmpty());
}

TEST_F(NewEntriesTest, InterruptPlaysASingleFileAtOnceOutsideThePlaylist)
{
    w->UpdateOLE({a, b}, false);
    markAlbum();
    w->Global.ResetMode = 1;
    w->ResetFile = song(QStringLiteral("GM.MID"), 100);
    w->optInterrupt[1]->setChecked(true);
    device.log.clear();
    w->UpdateOLE({c}, false);
    EXPECT_TRUE(w->lstPlay.isEmpty() && w->lstMIDI->ListCount() == 0);
    w->songMenu->build();
    EXPECT_TRUE(w->songMenu->captions().isEmpty());
    EXPECT_FALSE(albumMarked());
    EXPECT_EQ(device.log.first(), QStringLiteral("Close"));
    EXPECT_EQ(device.opened(), (QStringList{w->ResetFile, c}));
    expectPolicy(1);
    // Whatever its name.
    const QString odd = song(QStringLiteral("odd.kar"));
    w->UpdateOLE({odd}, false);
    EXPECT_EQ(device.openFile(), odd);
}

TEST_F(NewEntriesTest, InterruptWithSeveralEntriesOrAFolderAppendsAndSwitchesToAdd)
{
    w->UpdateOLE({a}, false);
    w->optInterrupt[1]->setChecked(true);
    device.log.clear();
    w->UpdateOLE({b, c}, false);
    EXPECT_EQ(w->lstPlay, (QStringList{a, b, c}));
    EXPECT_TRUE(device.log.isEmpty());
    expectPolicy(0);
    // On an empty playlist play starts with the folder's file, even over a song.
    playOutside(b);
    const QString d = song(QStringLiteral("folder/d.mid"));
    w->UpdateOLE({dir.filePath(QStringLiteral("folder"))}, false);
    EXPECT_EQ(device.openFile(), d);
    expectPolicy(0);
}

TEST_F(NewEntriesTest, AlbumsExtensionsAndForceClear)
{
    // An album is read and drops what follows it.
    const QString list = album(QStringLiteral("list.mal"), {c});
    w->UpdateOLE({a, list, b}, false);
    EXPECT_EQ(w->lstPlay, (QStringList{a, c}));
    EXPECT_EQ(w->Global.AlbumList[1], list);
    // Extensions in any letter case; the playlist emptied first whatever comes.
    const QString upper = song(QStringLiteral("Song.Mid"));
    w->UpdateOLE({upper, file(QStringLiteral("s.midi")), file(QStringLiteral("s.rmi"))}, true);
    EXPECT_EQ(w->lstPlay, QStringList{upper});
    w->UpdateOLE({album(QStringLiteral("party.MAL"), {b})}, true);
    EXPECT_EQ(w->lstPlay, QStringList{b});
    w->UpdateOLE({file(QStringLiteral("readme.txt"))}, true);
    EXPECT_TRUE(w->lstPlay.isEmpty() && w->lstMIDI->ListCount() == 0);
    // A later start's text is taken as it came, untrimmed.
    w->Form_LinkExecute(QStringLiteral(" ") + a);
    EXPECT_TRUE(w->lstPlay.isEmpty());
}

TEST_F(NewEntriesTest, FoldersAreScannedInOneScanWindowThatUnloadsLater)
{
    for (const char *name : {"A/b.mid", "A/a.mid", "A/Z/z.mid", "A/Y/y.mid", "B/1.mid", "E/x.txt"})
        file(QLatin1String(name));
    const auto in = [this](const char *name) {
        return dir.filePath(QLatin1String(name));
    };
    w->UpdateOLE({a, in("A"), in("E"), in("gone"), in("B")}, false);
    EXPECT_EQ(w->lstPlay, QStringList({a, in("A/a.mid"), in("A/b.mid"), in("A/Y/y.mid"),
                                       in("A/Z/z.mid"), in("B/1.mid")}));
    // One window, its lists emptied for each folder, placed under the main window.
    QPointer<frmEnumDir> form = w->enumDirForm();
    ASSERT_TRUE(form && form->isVisible());
    EXPECT_EQ(w->findChildren<frmEnumDir *>().size(), 1);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Searching ") + in("B"));
    EXPECT_EQ(form->pos(), QPoint(w->frameGeometry().left(), w->frameGeometry().bottom() + 1));
    EXPECT_EQ(form->lstFound, QStringList{in("B/1.mid")});
    EXPECT_EQ(form->lstMIDI->model()->strings(), QStringList{QStringLiteral("1")});

    ASSERT_TRUE(ProgramRun::waitFor([&] { return !w->enumDirForm(); }, 20000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form);
    w->DirEntry(in("A/Y")); // a new window
    EXPECT_EQ(w->enumDirForm()->lstMIDI->model()->strings(), QStringList{QStringLiteral("y")});
}

TEST_F(NewEntriesTest, PolicyOptionsMenuItemsAndSettingStayInStep)
{
    // A click on the menu item already checked leaves the marks as they were.
    for (QAction *item : {w->mnuNewPlay, w->mnuNewPlay, w->mnuNewList, w->mnuNewList}) {
        item->trigger();
        expectPolicy(item == w->mnuNewPlay ? 1 : 0);
    }
}

} // namespace
