// The playlist on the main window, on fakes: new entries (the folder walk
// first: order and letter case, what is left out, links), what the playlist,
// the player and the policy controls do under each policy, albums among the
// entries, ForceClear and the folder-scan window, which the user may stop; the
// album commands through the fake dialogs (what each leaves behind in the
// playlist, the policy and the recent list and its check marks; Cancel,
// missing songs, an album that cannot be written and one that has gone; an
// album read on a worker); and the edits, which never touch the song that plays.
#include "playlist/FolderScan.h"
#include "playlist/frmEnumDir.h"
#include "support/ProgramRun.h"
#include "support/WindowFixture.h"
#include "ui/SongMenu.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <functional>
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
    {1, "", "a.mid b.mid", "odd.kar", "", "odd.kar", 1},
    // Several entries or a folder are added, and the policy turns to adding; an
    // empty playlist starts, even over a song outside it.
    {1, "", "a.mid", "b.mid c.mid", "a.mid b.mid c.mid", nullptr, 0},
    {1, "b.mid", "", "F", "F/d.mid", "F/d.mid", 0},
};

class PlaylistWindowTest : public WindowFixture
{
protected:
    void SetUp() override
    {
        for (const char *name : {"odd.kar", "F/d.mid", "Song.Mid", "notes.txt", "s.midi", "s.rmi",
                                 "t.KAR", "u.Smf", "s.mi"})
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

    // The playlist of these titles, the entry at `playing` playing and the
    // playlist marked as the current album; these rows selected, the focus on
    // `focus` (-1: none).
    void playlist(const QString &titles, int playing, const std::vector<int> &rows, int focus)
    {
        if (!modelTester) // every change the model announces is checked for consistency
            modelTester = std::make_unique<QAbstractItemModelTester>(
                w->lstMIDI->model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        w->btnClear_Click();
        w->Global.ResetMode = 0;
        for (const QString &t : titles.split(u' '))
            w->lstPlay.append(song(t + u".mid"_s));
        w->setPlayIndex(playing - 1);
        w->MCI_Done(0);
        w->Global.CurrentAlbum = 1;
        w->mnuA[1]->setChecked(true);
        device.log.clear();
        w->lstMIDI->clearSelection();
        w->lstMIDI->selectionModel()->setCurrentIndex(w->lstMIDI->model()->index(focus, 0),
                                                      QItemSelectionModel::NoUpdate);
        for (int row : rows)
            w->lstMIDI->setSelected(row, true);
    }
    // Nothing reached the device, the place and the album mark are as given,
    // and the play menu shows the playlist with the current song marked.
    void expectSongUntouched(int playIndex, bool albumKept)
    {
        EXPECT_EQ(w->playIndex(), playIndex); // the place, whatever now stands there
        EXPECT_TRUE(albums().endsWith(albumKept ? u"current 1 1000"_s : u"current 0 0000"_s));
        EXPECT_TRUE(device.log.isEmpty()) << device.log.join(u", ").toStdString();
        w->songMenu->build();
        EXPECT_EQ(w->songMenu->captions(), w->lstPlay.titles());
        EXPECT_EQ(w->songMenu->checkedRow(),
                  w->playIndex() < w->lstPlay.count() ? w->playIndex() : -1);
    }

    frmMain *w = &window();
    QString a = song(u"a.mid"_s), b = song(u"b.mid"_s), c = song(u"c.mid"_s);
    std::unique_ptr<QAbstractItemModelTester> modelTester;
};

class NewEntryOutcome : public PlaylistWindowTest, public ::testing::WithParamInterface<std::size_t>
{};

TEST_P(NewEntryOutcome, PlaylistPlayerAndPolicy)
{
    const Outcome &row = outcomes[GetParam()];
    w->optInterrupt[1]->setChecked(true);
    w->UpdateOLE(paths(row.outside), false);
    w->optInterrupt[0]->setChecked(true);
    w->UpdateOLE(paths(row.before), false);
    w->Global.CurrentAlbum = 1; // the playlist is the stored album
    w->mnuA[1]->setChecked(true);
    w->songMenu->build();
    // Chosen on the menu, last by a click on the item already checked, which
    // must keep its mark.
    QAction *const item[] = {w->mnuNewList, w->mnuNewPlay};
    for (const int i : {1 - row.policy, row.policy, row.policy})
        item[i]->trigger();
    device.log.clear();

    w->UpdateOLE(paths(row.entries), false);
    EXPECT_EQ(w->lstPlay.paths(), paths(row.after));
    // Either the reset and the song, or not a single command.
    EXPECT_EQ(device.opened(),
              row.plays ? QStringList{w->player.resetFile()} + paths(row.plays) : QStringList());
    EXPECT_EQ(row.plays ? device.openFile() : device.log.join(u' '), paths(row.plays).value(0));
    // Whatever was taken, the playlist is no longer the stored album.
    EXPECT_TRUE(w->Global.CurrentAlbum == 0 && !w->mnuA[1]->isChecked());
    // The policy shows alike in the setting, on the option buttons and on the menu.
    EXPECT_EQ(w->Global.OnNewEntry, row.policyAfter);
    EXPECT_TRUE(w->optInterrupt[row.policyAfter]->isChecked() &&
                item[row.policyAfter]->isChecked() && !item[1 - row.policyAfter]->isChecked());
}

INSTANTIATE_TEST_SUITE_P(Table, NewEntryOutcome,
                         ::testing::Range<std::size_t>(0, std::size(outcomes)));

TEST_F(PlaylistWindowTest, AnAlbumEndsTheEntriesAndForceClearEmptiesFirst)
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

TEST_F(PlaylistWindowTest, FoldersAreScannedInOneWindowThatTheUserMayStop)
{
    for (const char *name : {"A/b.mid", "A/Z/z.mid", "A/Y/y.mid", "B/1.mid", "T/a.mid", "T/b.mid",
                             "T/S/c.mid", "T/U/d.mid"})
        song(QLatin1String(name));
    w->UpdateOLE(paths("a.mid A gone B"), false);
    EXPECT_EQ(w->lstPlay.paths(), paths("a.mid A/b.mid A/Y/y.mid A/Z/z.mid B/1.mid"));
    // One window for all folders; it unloads later.
    QPointer<frmEnumDir> form = w->enumDirForm();
    ASSERT_TRUE(form && form->isVisible());
    EXPECT_EQ(w->findChildren<frmEnumDir *>().size(), 1);
    ASSERT_TRUE(ProgramRun::waitFor([&] { return !w->enumDirForm(); }, 20000));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(form);

    // The root's own files come first; its subfolders only after a look at
    // the user's input. Escape pressed in the main window stops the scan; the
    // scan window goes 2 s later, as usual.
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

TEST_F(PlaylistWindowTest, AddAppendsCancelChangesNothingAndSaveWritesOrSaysWhyItCouldNot)
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
    const QString nowhere = dir.filePath(u"no folder/x.mal"_s);
    dialogs.messages.clear();
    dialogs.answers = {nowhere};
    w->btnSave_Click();
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().contains(nowhere));
    EXPECT_EQ(albums(), u"two.mal x.mal list.mal Empty current 0 0000"_s);

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
TEST_F(PlaylistWindowTest, AlbumOnAWorkerEndsAsReadAtOnceAndCancelChangesNothing)
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

TEST_F(PlaylistWindowTest, RecentAlbumsMoveToTheFrontAndReplaceThePlaylistOrAreNamedWhenGone)
{
    const auto slots = [&] {
        return QStringList(w->Global.AlbumList.begin() + 1, w->Global.AlbumList.end());
    };
    w->UpdateAlbum();
    EXPECT_FALSE(w->sep4->isVisible() || w->mnuA[1]->isVisible());
    QStringList path;
    for (const QString &name : {u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s})
        w->UpdateAlbum(path.emplace_back(dir.filePath(name + u".mal"_s)));
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
    w->UpdateAlbum(gone);
    w->UpdateAlbum(album(u"two.mal"_s, {b}));
    w->lstPlay.append(QStringList{c, c});
    w->setPlayIndex(1);
    w->Global.CurrentAlbum = 0;
    w->mnuA[1]->setChecked(false);
    // Gone: named in a message; playlist, policy and list stay as they were.
    w->mnuA[2]->trigger(); // as a click: the item toggles its own mark first
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages.first().contains(gone));
    EXPECT_EQ(state(), u"c.mid c.mid at 1 policy 0, two.mal gone.mal D.MAL D.mal current 0 0000"_s);
    EXPECT_TRUE(device.log.isEmpty());
    // Picked: the album replaces the playlist and becomes item 1.
    w->mnuA[1]->trigger();
    EXPECT_EQ(device.openFile(), b);
    EXPECT_EQ(state(), u"b.mid at 0 policy 1, two.mal gone.mal D.MAL D.mal current 1 1000"_s);
    EXPECT_EQ(w->mnuA[1]->text(), u"two"_s);
}

TEST_F(PlaylistWindowTest, EditsFollowTheSelectionAndKeepTheCurrentSong)
{
    struct Edit
    {
        void (frmMain::*command)();
        std::vector<int> selected;
        int focus; // -1: none
        const char *titles;
        int selectedAfter, focusAfter, playIndex; // -1: none
        bool albumKept;
        const char *next; // what the next advance plays
    };
    // On a b c d e with c playing, each command twice: Up and Down move on,
    // as the focus follows the song; the second Remove finds nothing selected.
    // Remove hands the focus to the entry that followed the focused one.
    const Edit edits[] = {
        {&frmMain::btnRemove_Click, {1, 2}, 2, "a d e", -1, 1, 0, false, "d"}, // c plays
        {&frmMain::btnRemove_Click, {0, 3}, 3, "b c e", -1, 2, 1, false, "e"}, // two runs
        {&frmMain::btnRemove_Click, {3, 4}, 3, "a b c", -1, 2, 2, false, "a"},
        {&frmMain::btnRemove_Click, {}, 0, "a b c d e", -1, 0, 2, false, "d"},  // only the mark
        {&frmMain::btnRemove_Click, {1}, -1, "a b c d e", 1, -1, 2, true, "d"}, // nothing
        {&frmMain::btnRemove_Click, {0, 1, 2, 3, 4}, 4, "", -1, -1, -1, false, nullptr},
        {&frmMain::btnUp_Click, {2}, 2, "c a b d e", 0, 0, 2, true, "d"},
        {&frmMain::btnDn_Click, {2}, 2, "a b d e c", 4, 4, 2, true, "e"},
        {&frmMain::btnUp_Click, {0}, 0, "a b c d e", 0, 0, 2, true, "d"},
        {&frmMain::btnDn_Click, {4}, 4, "a b c d e", 4, 4, 2, true, "d"},
        {&frmMain::btnUp_Click, {}, -1, "a b c d e", -1, -1, 2, true, "d"},
        {&frmMain::btnClear_Click, {1, 2}, 2, "", -1, -1, -1, false, nullptr},
    };
    for (const Edit &e : edits) {
        SCOPED_TRACE(e.titles);
        playlist(u"a b c d e"_s, 2, e.selected, e.focus);
        // Through std::invoke: GCC 12's address sanitizer reports a direct
        // member-pointer call here as a use of a stack slot out of scope.
        std::invoke(e.command, w);
        std::invoke(e.command, w);
        EXPECT_EQ(w->lstPlay.titles().join(u' '), QLatin1String(e.titles));
        const QModelIndexList selected = w->lstMIDI->selectionModel()->selectedRows();
        EXPECT_EQ(selected.size(), e.selectedAfter < 0 ? 0 : 1);
        EXPECT_EQ(selected.value(0).row(), e.selectedAfter);
        EXPECT_EQ(w->lstMIDI->ListIndex(), e.focusAfter);
        expectSongUntouched(e.playIndex, e.albumKept);
        if (e.next) {
            w->MCI_Done(0);
            EXPECT_EQ(device.openFile(), dir.filePath(QLatin1String(e.next) + u".mid"_s));
        }
    }

    // Sort and shuffle keep the place and the album mark.
    playlist(u"Delta alpha Charlie bravo"_s, 1, {1, 2}, 2);
    w->btnSort_Click();
    EXPECT_EQ(w->lstPlay.titles().join(u' '), u"alpha bravo Charlie Delta"_s);
    EXPECT_FALSE(w->lstMIDI->selectionModel()->hasSelection());
    w->btnRn_Click();
    EXPECT_TRUE(std::ranges::is_permutation(
        w->lstPlay.titles(), QStringList{u"alpha"_s, u"bravo"_s, u"Charlie"_s, u"Delta"_s}));
    expectSongUntouched(1, true);
}

} // namespace
