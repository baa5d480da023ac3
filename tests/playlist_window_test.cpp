// The playlist on the main window: reading albums under both policies, the
// missing-files message, the display list, and the recent-album list.
#include "support/WindowFixture.h"

#include <QDir>

using namespace Qt::StringLiterals;

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

TEST_F(PlaylistWindowTest, AddModeAppendsAndPlaysOnlyWhenThePlaylistWasEmpty)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s);
    const QString list = album(u"one.mal"_s, {a, dir.filePath(u"gone.mid"_s), b});
    ASSERT_TRUE(m_w->AddPlayList(list, false));
    EXPECT_EQ(m_w->lstPlay.titles(), (QStringList{u"a"_s, u"b"_s}));
    EXPECT_EQ(dialogs.messages, QStringList{u"1 files could not be found and skipped"_s});
    EXPECT_EQ(device.openFile(), a);
    EXPECT_EQ(m_w->Global.AlbumList[1], u"Empty"_s); // Update False
    // Again: every entry doubled, nothing started, the album heads the list.
    device.log.clear();
    m_w->AddPlayList(list, true);
    EXPECT_EQ(m_w->lstPlay.paths(), (QStringList{a, b, a, b}));
    EXPECT_EQ(m_w->lstMIDI->ListCount(), 4);
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_EQ(m_w->Global.AlbumList[1], list);
}

TEST_F(PlaylistWindowTest, InterruptModeReplacesThePlaylistWhenTheAlbumCanBeRead)
{
    const QString a = song(u"a.mid"_s), b = song(u"b.mid"_s);
    m_w->AddPlayList(album(u"first.mal"_s, {a, a}), false);
    m_w->optInterrupt[1]->setChecked(true);
    m_w->AddPlayList(album(u"second.mal"_s, {b}), true);
    EXPECT_EQ(m_w->lstPlay.titles(), QStringList{u"b"_s});
    EXPECT_EQ(device.openFile(), b);
    EXPECT_EQ(m_w->PlayIndex, 0);
    // An album that cannot be opened leaves the playlist as it was.
    EXPECT_FALSE(m_w->AddPlayList(dir.filePath(u"vanished.mal"_s), true));
    EXPECT_EQ(m_w->lstPlay.paths(), QStringList{b});
    // One whose files are all missing empties it; the song that played goes on.
    device.log.clear();
    m_w->AddPlayList(album(u"gone.mal"_s, {u"/no/x.mid"_s, QString(), u"/no/y.mid"_s}), false);
    EXPECT_EQ(m_w->lstMIDI->ListCount(), 0);
    EXPECT_EQ(dialogs.messages.last(), u"3 files could not be found and skipped"_s);
    EXPECT_TRUE(device.log.isEmpty());
    EXPECT_TRUE(m_w->Stopped);
}

TEST_F(PlaylistWindowTest, RecentAlbumsMoveToTheFront)
{
    const QString names[] = {u"A"_s, u"B"_s, u"C"_s, u"D"_s, u"E"_s};
    QString path[5];
    for (int i = 0; i < 5; ++i) {
        path[i] = dir.filePath(names[i] + u".mal"_s);
        m_w->UpdateAlbum(path[i]);
    }
    EXPECT_EQ(slots(), (QStringList{path[4], path[3], path[2], path[1]}));
    m_w->UpdateAlbum(path[2]);
    EXPECT_EQ(slots(), (QStringList{path[2], path[4], path[3], path[1]}));
    EXPECT_EQ(menuAlbumCaptions(), (QStringList{u"C"_s, u"E"_s, u"D"_s, u"B"_s}));
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
    m_w->Global.AlbumList[1] = u"/a/one.mal"_s;
    m_w->Global.AlbumList[3] = u"/a/three.mal"_s;
    m_w->UpdateAlbum();
    EXPECT_TRUE(m_w->sep4->isVisible());
    EXPECT_EQ(menuAlbumCaptions(), QStringList{u"one"_s});
}

} // namespace
