// Saving songs of the playlist as audio from the window, with fake dialogs
// and the real renderer: the playing song when none is selected, the names
// several songs get, the one overwrite question, a failure that keeps what
// was saved before it, cancel and close.
#include "player/AudioSaver.h"
#include "support/ProgramRun.h"
#include "support/Wav.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <sndfile.h>

using namespace Qt::StringLiterals;

namespace {

class SaveAudioWindow : public WindowFixture
{
protected:
    void SetUp() override
    {
        const QString soundFont = u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s;
        if (!QFile::exists(soundFont))
            GTEST_SKIP() << "timgm6mb-soundfont is not installed";
        qunsetenv("SONABEL_SOUNDFONT"); // the settings' SoundFont, then
        store.values.insert(u"Sound/SoundFont"_s, soundFont);
        QDir().mkpath(out());
    }
    // A loaded window whose playlist holds real songs of these titles.
    frmMain &withSongs(const QStringList &titles, int seconds = 2)
    {
        frmMain &w = window();
        w.Form_Load();
        for (const QString &title : titles)
            w.lstPlay.append(writeSteadySong(dir.filePath(title + u".mid"_s), seconds, 100));
        w.UpdateMIDI();
        return w;
    }
    AudioSaver *saver() { return window().findChild<AudioSaver *>(); }
    bool waitForSave()
    {
        return QTest::qWaitFor([&] { return saver() && !saver()->isRunning(); }, 120000);
    }
    // The progress dialog shown, once the save under way has rendered some of its song.
    QProgressDialog *waitForProgress()
    {
        QPointer<QProgressDialog> shown;
        for (QProgressDialog *p : window().findChildren<QProgressDialog *>())
            shown = p->isVisible() ? p : shown.data();
        return shown && QTest::qWaitFor([&] { return shown && shown->value() > 0; }, 60000)
                   ? shown.data()
                   : nullptr;
    }
    QString out(const QString &name = {}) const { return dir.filePath(u"out/"_s + name); }
    QStringList outFiles() const
    {
        return QDir(out()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }
    // The format and the title tag of a saved file: "flac title" or "wav title".
    std::string savedAs(const QString &name) const
    {
        const Wav audio = readAudio(out(name).toStdString());
        SF_FORMAT_INFO type{audio.format & SF_FORMAT_TYPEMASK, nullptr, nullptr};
        sf_command(nullptr, SFC_GET_FORMAT_INFO, &type, sizeof type);
        return std::string(type.extension ? type.extension : "?") + ' ' + audio.title;
    }
};

} // namespace

// With nothing selected the song that plays goes into the file the save
// dialog names, in the format of its extension; another extension gets
// ".flac", and a file of that name is asked about. Several songs go into a
// folder, numbered in playlist order whatever the order of the selection (as
// wide as the count needs, with no character a file system refuses), tagged
// with their titles, while the song plays on. Files already there are asked
// about once for the lot: No keeps them, Yes replaces them. A file that
// cannot be written ends the save: the message names it, the songs saved
// before it stay, the songs after it are not started.
TEST_F(SaveAudioWindow, SongsGoWhereTheyAreToldNumberedAndReplacedOnlyWhenAllowed)
{
    EXPECT_EQ(numberedAudioName(7, 120, u"a/b\\c:d*e?f\"g<h>i|j\tk"_s),
              u"007 a_b_c_d_e_f_g_h_i_j_k.flac"_s);
    frmMain &w = withSongs({u"Zebra"_s, u"What?"_s, u"Alpha"_s});
    w.mnuSaveAudio_Click(); // nothing selected, nothing played
    EXPECT_EQ(dialogs.messages.size(), 1);
    w.player.playEntry(1);
    dialogs.answers = {out(u"mine.mp3"_s)};
    w.mnuSaveAudio_Click();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].FileName, u"What?.flac"_s);
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(savedAs(u"mine.mp3.flac"_s), "flac What?");
    w.lstMIDI->setSelected(0, true);
    dialogs.answers = {out(u"first.WAV"_s), out(u"mine.mp3"_s)};
    w.mnuSaveAudio_Click();
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(savedAs(u"first.WAV"_s), "wav Zebra");
    w.mnuSaveAudio_Click();
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_FALSE(saver()->isRunning());
    QDir(out()).removeRecursively();
    QDir().mkpath(out());

    w.lstMIDI->setSelected(2, true);
    dialogs.answers = {out()};
    w.mnuSaveAudio_Click();
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(outFiles(), (QStringList{u"01 Zebra.flac"_s, u"02 Alpha.flac"_s}));
    EXPECT_EQ(savedAs(u"01 Zebra.flac"_s), "flac Zebra");
    EXPECT_EQ(savedAs(u"02 Alpha.flac"_s), "flac Alpha");
    EXPECT_EQ(w.player.state(), Player::State::Playing);

    // The whole playlist, two of whose names stand there.
    writeBytes(out(u"02 What_.flac"_s), QByteArray("mine"));
    dialogs.answers = {out(), out()};
    w.mnuSaveAlbumAudio_Click();
    ASSERT_EQ(dialogs.questions.size(), 2);
    EXPECT_TRUE(dialogs.questions[1].startsWith(u"2 of these files"_s));
    EXPECT_FALSE(saver()->isRunning());
    EXPECT_EQ(readBytes(out(u"02 What_.flac"_s)), QByteArray("mine"));
    dialogs.askAnswer = true;
    w.mnuSaveAlbumAudio_Click();
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(outFiles(), (QStringList{u"01 Zebra.flac"_s, u"02 Alpha.flac"_s, u"02 What_.flac"_s,
                                       u"03 Alpha.flac"_s}));
    EXPECT_EQ(savedAs(u"02 What_.flac"_s), "flac What?");

    // A folder in the way of the second song.
    QDir(out()).removeRecursively();
    QDir().mkpath(out(u"02 What_.flac"_s));
    dialogs.answers = {out()};
    w.mnuSaveAlbumAudio_Click();
    ASSERT_TRUE(waitForSave());
    ASSERT_EQ(dialogs.messages.size(), 2) << dialogs.messages.join(u'\n').toStdString();
    EXPECT_TRUE(dialogs.messages[1].contains(out(u"02 What_.flac: "_s)));
    EXPECT_TRUE(dialogs.messages[1].contains(u"1 song(s) saved before it are kept"_s))
        << dialogs.messages[1].toStdString();
    EXPECT_EQ(outFiles(), (QStringList{u"01 Zebra.flac"_s, u"02 What_.flac"_s}));
    EXPECT_EQ(savedAs(u"01 Zebra.flac"_s), "flac Zebra");
}

// Cancel in the progress dialog stops the render at once and leaves no file;
// so does closing the player.
TEST_F(SaveAudioWindow, CancelOrCloseStopsAtOnceAndLeavesNoFile)
{
    frmMain &w = withSongs({u"Long"_s}, 600);
    w.lstMIDI->setSelected(0, true);
    dialogs.answers = {out(u"long.flac"_s), out(u"long.flac"_s)};
    w.mnuSaveAudio_Click();
    QProgressDialog *progress = waitForProgress();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->labelText().contains(u"“Long”"_s)) << progress->labelText().toStdString();
    QTest::mouseClick(progress->findChild<QPushButton *>(), Qt::LeftButton);
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(outFiles(), QStringList());

    w.mnuSaveAudio_Click();
    ASSERT_NE(waitForProgress(), nullptr);
    w.mnuClose_Click();
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(outFiles(), QStringList());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}
