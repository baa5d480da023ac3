// The playlist on the main window: reading albums under both policies, the
// missing-files message, the display list, and the recent-album list.
#include "support/WindowFixture.h"

#include <QDir>

namespace {

class PlaylistWindowTest : public WindowFixture
{
protected:
    QStringList menuAlbumCaptions()
    {
        QStringList captions;
        for (int i = 1; i <= 4; ++i) {
            if (window().mnuA[i]->isVisible())
                captions.append(window().mnuA[i]->text());
        }
        return captions;
    }
    QStringList slots() const
    {
        return {m_w->Global.AlbumList[1], m_w->Global.AlbumList[2], m_w->Global.AlbumList[3],
                m_w->Global.AlbumList[4]};
    }
    void SetUp() override { m_w = &window(); }
    frmMain *m_w = nullptr;
};

TEST_F(PlaylistWindowTest, AddModeOnEmptyPlaylistAppendsAndPlaysFirst)
{
    const QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b.mid"));
    const QString list =
        album(QStringLiteral("one.mal"), {a, dir.filePath(QStringLiteral("gone.mid")), b});
    ASSERT_TRUE(m_w->AddPlayList(list, false));
    EXPECT_EQ(m_w->lstPlay, (QStringList{a, b}));
    EXPECT_EQ(m_w->lstMIDI->model()->strings(),
              (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_EQ(dialogs.messages,
              QStringList{QStringLiteral("1 files could not be found and skipped")});
    EXPECT_EQ(m_w->PlayIndex, 0);
    EXPECT_EQ(device.openFile(), a);
    EXPECT_TRUE(device.isPlaying());
    EXPECT_FALSE(m_w->Stopped);
    // Update False leaves the recent albums alone.
    EXPECT_EQ(m_w->Global.AlbumList[1], QStringLiteral("Empty"));
}

TEST_F(PlaylistWindowTest, AddModeOnPlayingPlaylistAppendsWithoutStarting)
{
    const QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b.mid"));
    const QString list = album(QStringLiteral("one.mal"), {a, b});
    m_w->AddPlayList(list, false);
    device.log.clear();
    // Adding the same album twice doubles every entry.
    m_w->AddPlayList(list, true);
    EXPECT_EQ(m_w->lstPlay, (QStringList{a, b, a, b}));
    EXPECT_EQ(m_w->lstMIDI->ListCount(), 4);
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_EQ(m_w->PlayIndex, 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    EXPECT_EQ(m_w->Global.AlbumList[1], list);
}

TEST_F(PlaylistWindowTest, InterruptModeReplacesPlaylistAndRestarts)
{
    const QString a = song(QStringLiteral("a.mid")), b = song(QStringLiteral("b.mid"));
    m_w->AddPlayList(album(QStringLiteral("first.mal"), {a, a}), false);
    m_w->optInterrupt[1]->setChecked(true);
    m_w->AddPlayList(album(QStringLiteral("second.mal"), {b}), true);
    EXPECT_EQ(m_w->lstPlay, QStringList{b});
    EXPECT_EQ(m_w->lstMIDI->model()->strings(), QStringList{QStringLiteral("b")});
    EXPECT_EQ(device.openFile(), b);
    EXPECT_EQ(m_w->PlayIndex, 0);
}

TEST_F(PlaylistWindowTest, InterruptModeWithOnlyMissingFilesEmptiesAndStartsNothing)
{
    const QString a = song(QStringLiteral("a.mid"));
    m_w->AddPlayList(album(QStringLiteral("first.mal"), {a}), false);
    m_w->optInterrupt[1]->setChecked(true);
    device.log.clear();
    m_w->AddPlayList(album(QStringLiteral("gone.mal"),
                           {QStringLiteral("/no/x.mid"), QString(), QStringLiteral("/no/y.mid")}),
                     false);
    EXPECT_TRUE(m_w->lstPlay.isEmpty());
    EXPECT_EQ(m_w->lstMIDI->ListCount(), 0);
    EXPECT_EQ(dialogs.messages,
              QStringList{QStringLiteral("3 files could not be found and skipped")});
    // The advance finds an empty playlist: the song that played goes on.
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_TRUE(m_w->Stopped);
}

TEST_F(PlaylistWindowTest, UnreadableAlbumLeavesPlaylistUntouched)
{
    const QString a = song(QStringLiteral("a.mid"));
    m_w->AddPlayList(album(QStringLiteral("first.mal"), {a}), false);
    m_w->optInterrupt[1]->setChecked(true);
    EXPECT_FALSE(m_w->AddPlayList(dir.filePath(QStringLiteral("vanished.mal")), true));
    EXPECT_EQ(m_w->lstPlay, QStringList{a});
    EXPECT_EQ(m_w->lstMIDI->ListCount(), 1);
    EXPECT_EQ(m_w->Global.AlbumList[1], QStringLiteral("Empty"));
}

TEST_F(PlaylistWindowTest, RecentAlbumsMoveToTheFront)
{
    const QString names[] = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                             QStringLiteral("D"), QStringLiteral("E")};
    QString path[5];
    for (int i = 0; i < 5; ++i) {
        path[i] = dir.filePath(names[i] + QStringLiteral(".mal"));
        m_w->UpdateAlbum(path[i]);
    }
    EXPECT_EQ(slots(), (QStringList{path[4], path[3], path[2], path[1]}));
    m_w->UpdateAlbum(path[2]);
    EXPECT_EQ(slots(), (QStringList{path[2], path[4], path[3], path[1]}));
    EXPECT_EQ(menuAlbumCaptions(), (QStringList{QStringLiteral("C"), QStringLiteral("E"),
                                                QStringLiteral("D"), QStringLiteral("B")}));
    EXPECT_TRUE(m_w->mnuA[1]->isChecked());
    EXPECT_FALSE(m_w->mnuA[2]->isChecked());
    // Passing a slot itself as the name works: the argument is copied first.
    m_w->UpdateAlbum(m_w->Global.AlbumList[3]);
    EXPECT_EQ(slots(), (QStringList{path[3], path[2], path[4], path[1]}));
    // Names differing only in letter case are two albums.
    m_w->UpdateAlbum(path[3].toUpper());
    EXPECT_EQ(slots(), (QStringList{path[3].toUpper(), path[3], path[2], path[4]}));
}

TEST_F(PlaylistWindowTest, EmptySlotsHideSeparatorAndFirstItem)
{
    m_w->UpdateAlbum();
    EXPECT_FALSE(m_w->sep4->isVisible());
    EXPECT_FALSE(m_w->mnuA[1]->isVisible());
    EXPECT_TRUE(menuAlbumCaptions().isEmpty());

    // A gap stops the list at the first free slot.
    m_w->Global.AlbumList[1] = QStringLiteral("/a/one.mal");
    m_w->Global.AlbumList[3] = QStringLiteral("/a/three.mal");
    m_w->UpdateAlbum();
    EXPECT_TRUE(m_w->sep4->isVisible());
    EXPECT_EQ(menuAlbumCaptions(), QStringList{QStringLiteral("one")});
}

} // namespace
