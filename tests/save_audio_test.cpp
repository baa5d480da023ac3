// Saving songs of the playlist as audio from the window, with fake dialogs
// and the real renderer: the names several songs get, the one overwrite
// question, the playing song when none is selected, cancel, and a failure that
// keeps what was saved before it.
#include "player/AudioSaver.h"
#include "player/Player.h"
#include "support/ProgramRun.h"
#include "support/Wav.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <sndfile.h>

using namespace Qt::StringLiterals;

namespace {

const QString SmallSoundFont = u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s;

class SaveAudioWindow : public WindowFixture
{
protected:
    void SetUp() override
    {
        if (!QFile::exists(SmallSoundFont))
            GTEST_SKIP() << "timgm6mb-soundfont is not installed";
        // The SoundFont chosen in the settings, not one from the environment.
        m_soundFontVariable = qgetenv("SONABEL_SOUNDFONT");
        qunsetenv("SONABEL_SOUNDFONT");
        store.values.insert(u"Sound/SoundFont"_s, SmallSoundFont);
        ASSERT_TRUE(QDir().mkpath(out()));
    }
    void TearDown() override
    {
        if (!m_soundFontVariable.isEmpty())
            qputenv("SONABEL_SOUNDFONT", m_soundFontVariable);
    }

    // A loaded window whose playlist holds real songs of these titles.
    frmMain &withRealSongs(const QStringList &titles, int seconds = 2)
    {
        frmMain &w = window();
        w.Form_Load();
        for (const QString &title : titles)
            w.lstPlay.append(writeSteadySong(dir.filePath(title + u".mid"_s), seconds, 100));
        w.UpdateMIDI();
        return w;
    }
    void select(const QList<int> &rows)
    {
        window().lstMIDI->clearSelection();
        for (const int row : rows)
            window().lstMIDI->setSelected(row, true);
    }
    AudioSaver *saver() { return window().findChild<AudioSaver *>(); }
    bool waitForSave()
    {
        return QTest::qWaitFor([&] { return saver() && !saver()->isRunning(); }, 120000);
    }
    QString out(const QString &name = {}) const { return dir.filePath(u"out/"_s + name); }
    // Everything in the output folder, unfinished files included.
    QStringList outFiles() const
    {
        return QDir(out()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                     QDir::Name);
    }

private:
    QByteArray m_soundFontVariable;
};

} // namespace

TEST(AudioNames, NumberedInOrderAndSafeOnAnyFileSystem)
{
    EXPECT_EQ(numberedAudioName(1, 3, u"Song"_s), u"01 Song.flac"_s);
    EXPECT_EQ(numberedAudioName(7, 120, u"Song"_s), u"007 Song.flac"_s);
    EXPECT_EQ(numberedAudioName(2, 2, u"a/b\\c:d*e?f\"g<h>i|j\tk"_s),
              u"02 a_b_c_d_e_f_g_h_i_j_k.flac"_s);
    EXPECT_EQ(numberedAudioName(1, 1, u" .hidden. "_s), u"01 hidden.flac"_s);
    EXPECT_EQ(numberedAudioName(1, 1, QString()), u"01.flac"_s);
    EXPECT_EQ(numberedAudioName(1, 1, u"..."_s), u"01.flac"_s);
    // Within 255 bytes, cut between whole characters (four-byte ones here).
    const QString emoji = QString::fromUtf8("\xF0\x9F\x8E\xB5");
    const QString longName = numberedAudioName(1, 1, emoji.repeated(100));
    EXPECT_LE(longName.toUtf8().size(), 255);
    EXPECT_GT(longName.toUtf8().size(), 250);
    EXPECT_TRUE(longName.endsWith(emoji + u".flac"_s));
    EXPECT_FALSE(longName.toUtf8().contains("\xEF\xBF\xBD")); // no broken character

    EXPECT_EQ(withAudioExtension(u"/m/a"_s), u"/m/a.flac"_s);
    EXPECT_EQ(withAudioExtension(u"/m/a.mp3"_s), u"/m/a.mp3.flac"_s);
    EXPECT_EQ(withAudioExtension(u"/m/a.OGG"_s), u"/m/a.OGG"_s);
    EXPECT_EQ(withAudioExtension(u"/m/a.wav"_s), u"/m/a.wav"_s);
}

// Several songs go into a folder, numbered in playlist order whatever the
// order of the selection, tagged with their titles; files already there are
// asked about once for the lot, and No leaves them alone. Playback goes on.
TEST_F(SaveAudioWindow, SeveralSongsAreNumberedAndReplacedOnlyWhenAllowed)
{
    frmMain &w = withRealSongs({u"Zebra"_s, u"What?"_s, u"Alpha"_s});
    w.player.playEntry(1);
    select({2, 0});
    dialogs.answers = {out()};
    w.mnuSaveAudio_Click();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].DialogTitle, u"Save as audio"_s);
    ASSERT_TRUE(waitForSave());
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(u'\n').toStdString();
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(outFiles(), (QStringList{u"01 Zebra.flac"_s, u"02 Alpha.flac"_s}));
    const Wav zebra = readAudio(out(u"01 Zebra.flac"_s).toStdString());
    ASSERT_EQ(zebra.problem, "");
    EXPECT_EQ(zebra.format & SF_FORMAT_TYPEMASK, SF_FORMAT_FLAC);
    EXPECT_EQ(zebra.title, "Zebra");
    EXPECT_GT(zebra.samples.size(), 2u * 44100 * 2);
    EXPECT_EQ(readAudio(out(u"02 Alpha.flac"_s).toStdString()).title, "Alpha");
    EXPECT_EQ(w.player.state(), Player::State::Playing);

    // The whole playlist: two of its names stand there (one as a stray file).
    writeBytes(out(u"02 What_.flac"_s), QByteArray("mine"));
    dialogs.answers = {out(), out()};
    dialogs.askAnswer = false;
    w.mnuSaveAlbumAudio_Click();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(dialogs.questions[0].startsWith(u"2 of these files"_s))
        << dialogs.questions[0].toStdString();
    EXPECT_TRUE(dialogs.questions[0].contains(out().chopped(1)));
    EXPECT_FALSE(saver()->isRunning());
    EXPECT_EQ(readBytes(out(u"02 What_.flac"_s)), QByteArray("mine"));

    dialogs.askAnswer = true;
    w.mnuSaveAlbumAudio_Click();
    EXPECT_EQ(dialogs.questions.size(), 2);
    EXPECT_EQ(dialogs.shown.last().DialogTitle, u"Save album as audio"_s);
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(outFiles(), (QStringList{u"01 Zebra.flac"_s, u"02 Alpha.flac"_s, u"02 What_.flac"_s,
                                       u"03 Alpha.flac"_s}));
    EXPECT_EQ(readAudio(out(u"02 What_.flac"_s).toStdString()).title, "What?");
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(u'\n').toStdString();
}

// With nothing selected the song that plays is saved, into the file the
// save dialog names; a name with another extension is given ".flac", and the
// format follows the extension.
TEST_F(SaveAudioWindow, OneSongGoesToTheNamedFileInTheFormatOfItsName)
{
    frmMain &w = withRealSongs({u"First"_s, u"Second"_s});
    w.mnuSaveAudio_Click(); // nothing selected, nothing played
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.shown.isEmpty());
    w.player.playEntry(1);
    select({});
    dialogs.answers = {out(u"mine.mp3"_s)};
    w.mnuSaveAudio_Click();
    ASSERT_EQ(dialogs.shown.size(), 1);
    const FileDialogSetup &shown = dialogs.shown[0];
    EXPECT_EQ(shown.FileName, u"Second.flac"_s);
    EXPECT_EQ(shown.Filter, u"Audio|*.flac *.ogg *.wav"_s);
    EXPECT_TRUE(shown.ConfirmOverwrite);
    EXPECT_TRUE(QFileInfo(shown.InitDir).isDir());
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(outFiles(), QStringList{u"mine.mp3.flac"_s});
    EXPECT_EQ(readAudio(out(u"mine.mp3.flac"_s).toStdString()).title, "Second");

    select({0});
    dialogs.answers = {out(u"first.WAV"_s)};
    w.mnuSaveAudio_Click();
    ASSERT_TRUE(waitForSave());
    const Wav wav = readAudio(out(u"first.WAV"_s).toStdString());
    EXPECT_EQ(wav.format & SF_FORMAT_TYPEMASK, SF_FORMAT_WAV);
    EXPECT_EQ(wav.title, "First");

    // The name with ".flac" added stands there: asked, and No keeps it.
    dialogs.answers = {out(u"mine.mp3"_s)};
    dialogs.askAnswer = false;
    w.mnuSaveAudio_Click();
    EXPECT_EQ(dialogs.questions.size(), 1);
    EXPECT_FALSE(saver()->isRunning());
}

// Cancel in the progress dialog stops the render at once and leaves no file,
// not even an unfinished one; so does closing the player.
TEST_F(SaveAudioWindow, CancelOrCloseStopsAtOnceAndLeavesNoFile)
{
    frmMain &w = withRealSongs({u"Long"_s}, 600);
    select({0});
    dialogs.answers = {out(u"long.flac"_s)};
    w.mnuSaveAudio_Click();
    QPointer<QProgressDialog> progress = w.findChild<QProgressDialog *>();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->value() > 0; }, 60000));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_TRUE(progress->labelText().contains(u"“Long”"_s)) << progress->labelText().toStdString();
    EXPECT_TRUE(progress->labelText().contains(u"% done"_s));
    QSignalSpy ended(saver(), &AudioSaver::finished);
    auto *cancel = progress->findChild<QPushButton *>();
    ASSERT_NE(cancel, nullptr);
    QTest::mouseClick(cancel, Qt::LeftButton);
    ASSERT_TRUE(waitForSave());
    ASSERT_EQ(ended.size(), 1);
    EXPECT_EQ(ended[0][1].value<RenderJob::Outcome>(), RenderJob::Outcome::Cancelled);
    EXPECT_EQ(outFiles(), QStringList());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !progress; }, 1000)) << "the progress stayed";

    dialogs.answers = {out(u"long.flac"_s)};
    w.mnuSaveAudio_Click();
    progress = w.findChild<QProgressDialog *>();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->value() > 0; }, 60000));
    w.mnuClose_Click();
    ASSERT_TRUE(waitForSave());
    EXPECT_EQ(ended.size(), 2);
    EXPECT_EQ(outFiles(), QStringList());
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

// A file that cannot be written ends the save: the message names it and why,
// the songs saved before it stay, nothing unfinished is left, and the songs
// after it are not started. A folder that cannot be written fails the same way.
TEST_F(SaveAudioWindow, AFailureNamesTheFileAndKeepsWhatWasSaved)
{
    frmMain &w = withRealSongs({u"a"_s, u"b"_s, u"c"_s});
    ASSERT_TRUE(QDir().mkpath(out(u"02 b.flac"_s))); // a folder stands in the way
    dialogs.answers = {out()};
    dialogs.askAnswer = true;
    w.mnuSaveAlbumAudio_Click();
    ASSERT_TRUE(waitForSave());
    ASSERT_EQ(dialogs.messages.size(), 1);
    const QString message = dialogs.messages[0];
    EXPECT_TRUE(message.contains(out(u"02 b.flac: "_s))) << message.toStdString();
    EXPECT_TRUE(message.contains(u"1 song(s) saved before it are kept"_s)) << message.toStdString();
    EXPECT_EQ(outFiles(), (QStringList{u"01 a.flac"_s, u"02 b.flac"_s}));
    EXPECT_EQ(readAudio(out(u"01 a.flac"_s).toStdString()).problem, "");

    // A folder nobody may write in, not even root.
    const QString locked = u"/proc"_s;
    select({0});
    dialogs.answers = {locked + u"/a.flac"_s};
    w.mnuSaveAudio_Click();
    ASSERT_TRUE(waitForSave());
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.messages[1].contains(locked + u"/a.flac: "_s))
        << dialogs.messages[1].toStdString();
}
