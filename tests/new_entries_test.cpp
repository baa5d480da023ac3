// New entries: the folder walk (order and letter case, what is left out,
// links, folders that cannot be read), and on the main window what the
// playlist, the player and the policy controls do under each policy, albums
// among the entries, ForceClear, paths that cannot be stored, and the
// folder-scan window, which the user may stop.
#include "playlist/FolderScan.h"
#include "playlist/frmEnumDir.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"
#include "ui/SongMenu.h"

#include <QDir>
#include <QKeyEvent>
#include <QPointer>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

TEST(FolderScan, DepthFirstByNameIgnoringCaseFollowingLinksButNeverBackIntoThePath)
{
    QTemporaryDir root;
    const auto path = [&](const QString &name) {
        return root.filePath(name);
    };
    // Space-separated names: files; "name/" folders; "name>target" links.
    const auto make = [&](const QString &names) {
        for (const QString &name : names.split(u' ')) {
            const QStringList link = name.split(u'>');
            QDir().mkpath(QFileInfo(path(link[0])).path());
            if (link.size() == 2)
                QFile::link(link[1], path(link[0]));
            else if (!name.endsWith(u'/'))
                QFile(path(name)).open(QIODevice::WriteOnly);
        }
    };
    // The walk from name, relative to the root.
    const auto scan = [&](const QString &name) {
        return scanFolderTree(path(name))
            .replaceInStrings(root.path() + u'/', QString())
            .join(u' ');
    };
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

    make(u"L/a.mid L/sub/b.mid Out/o.mid L/sub/up>"_s + path(u"L"_s) +
         QStringLiteral(" L/sub/self>. L/link.mid>sub/b.mid L/out>../Out L/gone>/nowhere "
                        "L/gone.mid>/nowhere.mid Loop>L"));
    const QString expected = u"L/a.mid L/link.mid L/out/o.mid L/sub/b.mid"_s;
    EXPECT_EQ(scan(u"L"_s), expected);
    EXPECT_EQ(scan(u"Loop"_s).replace(u"Loop/"_s, u"L/"_s), expected);

    // A root that names nothing, a file, or a path with a NUL (which, cut
    // there, would name L/sub): an empty folder.
    for (const QString &start : {u"gone"_s, u"L/a.mid"_s, u"L/sub"_s + QChar(u'\0')})
        EXPECT_EQ(scan(start), QString());
}

// ---- the main window ----

// Space-separated names in the program folder; "F" is a folder holding d.mid.
// policy: 0 adds to the playlist, 1 interrupts; outside: a song playing outside
// the playlist beforehand; before: the playlist beforehand, started from empty;
// plays: the song started after the reset (null: the device is left alone).
struct Outcome
{
    int policy;
    const char *outside, *before, *entries, *after, *plays;
    int policyAfter;
};

const Outcome outcomes[] = {
    // Adding: a stopped, empty playlist starts.
    {0, "", "", "a.mid b.mid", "a.mid b.mid", "a.mid", 0},
    // Adding to a playing playlist leaves play alone.
    {0, "", "a.mid b.mid", "c.mid", "a.mid b.mid c.mid", nullptr, 0},
    // An empty playlist, but a song plays outside it: the song goes on.
    {0, "c.mid", "", "a.mid", "a.mid", nullptr, 0},
    // Interrupting: a single file plays at once, outside the playlist, whatever
    // its name.
    {1, "", "a.mid b.mid", "c.mid", "", "c.mid", 1},
    {1, "", "a.mid", "odd.kar", "", "odd.kar", 1},
    // Several entries or a folder are added, and the policy turns to adding; an
    // empty playlist starts, even over a song outside it.
    {1, "", "a.mid", "b.mid c.mid", "a.mid b.mid c.mid", nullptr, 0},
    {1, "b.mid", "", "F", "F/d.mid", "F/d.mid", 0},
};

class NewEntriesTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        for (const char *name : {"a.mid", "b.mid", "c.mid", "odd.kar", "F/d.mid", "Song.Mid",
                                 "notes.txt", "s.midi", "s.rmi", "t.KAR", "u.Smf", "s.mi"})
            song(QLatin1String(name));
        w->Global.ResetMode = 1;
        w->player.setReset(1, song(u"GM.MID"_s, 100));
    }
    QStringList paths(const char *names) const
    {
        QStringList list = QString::fromLatin1(names).split(u' ', Qt::SkipEmptyParts);
        for (QString &name : list)
            name = dir.filePath(name);
        return list;
    }
    frmMain *w = &window();
};

class NewEntryOutcome : public NewEntriesTest, public ::testing::WithParamInterface<std::size_t>
{};

TEST_P(NewEntryOutcome, PlaylistPlayerAndPolicy)
{
    const Outcome &c = outcomes[GetParam()];
    w->optInterrupt[1]->setChecked(true);
    w->UpdateOLE(paths(c.outside), false);
    w->optInterrupt[0]->setChecked(true);
    w->UpdateOLE(paths(c.before), false);
    w->Global.CurrentAlbum = 1; // the playlist is the stored album
    w->mnuA[1]->setChecked(true);
    w->songMenu->build();
    // Chosen on the menu, last by a click on the item already checked, which
    // must keep its mark.
    QAction *const item[] = {w->mnuNewList, w->mnuNewPlay};
    for (const int i : {1 - c.policy, c.policy, c.policy})
        item[i]->trigger();
    device.log.clear();

    w->UpdateOLE(paths(c.entries), false);
    EXPECT_EQ(w->lstPlay.paths(), paths(c.after));
    w->songMenu->build();
    EXPECT_EQ(w->songMenu->captions().size(), w->lstPlay.size());
    // Either the reset and the song, or not a single command.
    EXPECT_EQ(device.opened(),
              c.plays ? QStringList{w->player.resetFile()} + paths(c.plays) : QStringList());
    EXPECT_EQ(c.plays ? device.openFile() : device.log.join(u' '), paths(c.plays).value(0));
    // Whatever was taken, the playlist is no longer the stored album.
    EXPECT_TRUE(w->Global.CurrentAlbum == 0 && !w->mnuA[1]->isChecked());
    EXPECT_EQ(w->Global.OnNewEntry, c.policyAfter);
    EXPECT_TRUE(w->optInterrupt[c.policyAfter]->isChecked());
    EXPECT_EQ(w->mnuNewList->isChecked(), c.policyAfter == 0);
    EXPECT_EQ(w->mnuNewPlay->isChecked(), c.policyAfter == 1);
}

INSTANTIATE_TEST_SUITE_P(Table, NewEntryOutcome,
                         ::testing::Range<std::size_t>(0, std::size(outcomes)));

TEST_F(NewEntriesTest, AnAlbumEndsTheEntriesAndForceClearEmptiesFirst)
{
    album(u"list.mal"_s, paths("c.mid"));
    w->UpdateOLE(paths("a.mid list.mal b.mid"), false);
    EXPECT_EQ(w->lstPlay.paths(), paths("a.mid c.mid"));
    // Every MIDI file ending, in any letter case.
    w->UpdateOLE(paths("Song.Mid s.midi s.mi s.rmi t.KAR notes.txt u.Smf"), true);
    EXPECT_EQ(w->lstPlay.paths(), paths("Song.Mid s.midi s.rmi t.KAR u.Smf"));
    w->UpdateOLE({album(u"party.MAL"_s, paths("b.mid"))}, true);
    EXPECT_EQ(w->lstPlay.paths(), paths("b.mid"));
    w->UpdateOLE(paths("notes.txt"), true);
    EXPECT_TRUE(w->lstPlay.isEmpty() && w->lstMIDI->ListCount() == 0);
    // A later start's paths are taken in order.
    w->Form_LinkExecute(paths("b.mid a.mid"));
    EXPECT_EQ(w->lstPlay.paths(), paths("b.mid a.mid"));
}

TEST_F(NewEntriesTest, FoldersAreScannedInOneWindowThatTheUserMayStop)
{
    for (const char *name : {"A/b.mid", "A/Z/z.mid", "A/Y/y.mid", "B/1.mid"})
        file(QLatin1String(name));
    w->UpdateOLE(paths("a.mid A gone B"), false);
    EXPECT_EQ(w->lstPlay.paths(), paths("a.mid A/b.mid A/Y/y.mid A/Z/z.mid B/1.mid"));
    // One window, its list emptied for each folder; it unloads later.
    QPointer<frmEnumDir> form = w->enumDirForm();
    ASSERT_TRUE(form && form->isVisible());
    EXPECT_EQ(form->lstFound, paths("B/1.mid"));
    EXPECT_EQ(w->findChildren<frmEnumDir *>().size(), 1);
    ASSERT_TRUE(ProgramRun::waitFor([&] { return !w->enumDirForm(); }, 20000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form);

    // The root's own files come first; its subfolders only after a look at
    // the user's input. Escape pressed in the main window stops the scan; the
    // scan window goes 2 s later, as usual.
    for (const char *name : {"T/a.mid", "T/b.mid", "T/S/c.mid", "T/U/d.mid"})
        song(QLatin1String(name));
    QCoreApplication::postEvent(w, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    w->UpdateOLE(paths("T"), true);
    EXPECT_EQ(w->lstPlay.paths(), paths("T/a.mid T/b.mid"));
    ASSERT_TRUE(w->enumDirForm() && w->enumDirForm()->isVisible());
    // The scan window closed: it goes at once.
    QCoreApplication::postEvent(w->enumDirForm(), new QCloseEvent);
    w->UpdateOLE(paths("T"), true);
    EXPECT_EQ(w->lstPlay.paths(), paths("T/a.mid T/b.mid"));
    EXPECT_FALSE(w->enumDirForm());
    // Untouched, the scan runs to its end, in a new window.
    w->DirEntry(paths("T").value(0));
    EXPECT_EQ(w->lstPlay.size(), 6);
    EXPECT_TRUE(w->enumDirForm() && w->enumDirForm()->isVisible());
}

} // namespace
