// What is heard: the [Sound] settings, the SoundFont search, and on the real
// device with the real synthesizer the real sound dialog's choices and sound
// problems, and the real program as a sound server lists it. FluidSynth's
// file driver writes what is heard.
#include "engine/DeviceFactory.h"
#include "engine/SoundFonts.h"
#include "platform/SettingsStore.h"
#include "player/Sound.h"
#include "settings/SoundSettings.h"
#include "support/ProgramRun.h"
#include "support/Wav.h"
#include "support/WindowFixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>

using namespace Qt::StringLiterals;

namespace {

const QString SmallSoundFont = u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s;

// The loudest sample of each quarter second (the last one may be shorter).
std::vector<int> quarterPeaks(const QString &wavPath)
{
    const Wav wav = readWav(wavPath.toStdString());
    EXPECT_EQ(wav.problem, "") << wavPath.toStdString();
    std::vector<int> peaks;
    const auto window = std::int64_t(std::max(wav.rate / 4, 1u));
    const auto frames = std::int64_t(wav.samples.size() / std::max(wav.channels, 1u));
    for (std::int64_t from = 0; from < frames; from += window)
        peaks.push_back(peakIn(wav, from, from + window));
    return peaks;
}

int peakOf(const QString &wavPath)
{
    const std::vector<int> peaks = quarterPeaks(wavPath);
    return peaks.empty() ? 0 : *std::max_element(peaks.begin(), peaks.end());
}

TEST(SoundSettings, KeptInTheSoundGroupUnreadableValuesTakeTheirDefaults)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"Sonabel.ini"_s);
    SoundSettings chosen;
    chosen.SoundFont = u"/home/u/My Fonts/piano, grand.sf2"_s;
    chosen.Gain = 0.75;
    chosen.Reverb = false;
    {
        IniSettingsStore store(ini);
        store.write(u"Snap"_s, u"1"_s);
        SaveSoundSettings(chosen, store);
    }
    QSettings file(ini, QSettings::IniFormat);
    EXPECT_EQ(file.allKeys(),
              (QStringList{u"Snap"_s, u"Sound/AudioDriver"_s, u"Sound/Chorus"_s, u"Sound/Gain"_s,
                           u"Sound/Output"_s, u"Sound/Reverb"_s, u"Sound/SoundFont"_s}));
    EXPECT_EQ(file.value(u"Sound/Reverb"_s).toString(), u"0"_s);
    EXPECT_EQ(LoadSoundSettings(IniSettingsStore(ini)), chosen);

    const std::pair<QString, double> gains[] = {
        {u"loud"_s, 0.2}, {u"11"_s, 0.2}, {u"nan"_s, 0.2}, {u" 2.5 "_s, 2.5}};
    MemoryStore store;
    store.values = {{u"Sound/Reverb"_s, u"yes"_s}, {u"Sound/Chorus"_s, u"0"_s}};
    EXPECT_TRUE(LoadSoundSettings(store).Reverb);
    EXPECT_FALSE(LoadSoundSettings(store).Chorus);
    for (const auto &[text, gain] : gains) {
        store.values.insert(u"Sound/Gain"_s, text);
        EXPECT_EQ(LoadSoundSettings(store).Gain, gain) << text.toStdString();
    }
}

// ---- where SoundFonts are found ----

// The synthesizer's default first (listed once when a folder holds it), then
// each folder's SoundFonts in order; the folders follow the base directories,
// the user's first.
TEST(SoundFonts, TheDefaultFirstThenTheFoldersOfTheBaseDirectoriesInOrder)
{
    QTemporaryDir dir;
    const QString system = dir.filePath(u"sf2"_s);
    for (const QString &name : {u"b.sf2"_s, u"A.SF3"_s, u"default-GM.sf2"_s, u"notes.txt"_s})
        writeBytes(system + u'/' + name, "x");
    writeBytes(dir.filePath(u"user/mine.sf2"_s), "x");
    QStringList found;
    for (const std::string &p :
         SoundFonts::list((system + u"/b.sf2"_s).toStdString(),
                          {system.toStdString(), dir.filePath(u"user"_s).toStdString(),
                           dir.filePath(u"missing"_s).toStdString()}))
        found.append(QString::fromStdString(std::filesystem::path(p).filename().string()));
    EXPECT_EQ(found, (QStringList{u"b.sf2"_s, u"default-GM.sf2"_s, u"A.SF3"_s, u"mine.sf2"_s}));

    const auto folders = [](const char *dataHome, const char *dataDirs) {
        QStringList list;
        for (const std::string &f : SoundFonts::folders(dataHome, dataDirs, "/home/u"))
            list.append(QString::fromStdString(f));
        return list.join(u' ');
    };
    // Unset: the defaults of the base directories.
    EXPECT_EQ(folders(nullptr, nullptr),
              u"/home/u/.local/share/sounds/sf2 /home/u/.local/share/sounds/sf3 "
              "/usr/local/share/sounds/sf2 /usr/local/share/sounds/sf3 "
              "/usr/share/sounds/sf2 /usr/share/sounds/sf3"_s);
    // A trailing slash does not make a folder twice.
    EXPECT_EQ(folders("/d/", "/s1:/d"),
              u"/d/sounds/sf2 /d/sounds/sf3 /s1/sounds/sf2 /s1/sounds/sf3"_s);
}

// ---- the window on the real device ----

// The fakes, but the real sound dialog.
struct WithRealSoundDialog : FakeDialogs
{
    std::optional<SoundDialogSetup> ShowSound(const SoundDialogSetup &setup) override
    {
        return QtDialogs().ShowSound(setup);
    }
};

// The window on the real device, heard through the file driver, and the real
// sound dialog; the store and the other dialogs are fakes.
class SoundWindow : public WindowFixture
{
public:
    void SetUp() override
    {
        if (!QFile::exists(SmallSoundFont))
            GTEST_SKIP() << "timgm6mb-soundfont is not installed";
        TearDown();
        qputenv("SONABEL_AUDIO_DRIVER", "file");
        qputenv("SONABEL_AUDIO_FILE", wav(u"start"_s).toUtf8());
    }
    void TearDown() override
    {
        finish();
        for (const char *name :
             {"SONABEL_OUTPUT", "SONABEL_SOUNDFONT", "SONABEL_AUDIO_DRIVER", "SONABEL_AUDIO_FILE"})
            qunsetenv(name);
    }

    // The device for what the store holds, and the window on it.
    void start()
    {
        real = makeSequencerDevice(soundChoiceToOpen(store));
        MainWindowServices s = services();
        s.MCI = real.get();
        s.dlg = &asked;
        window = std::make_unique<frmMain>(s);
        window->Global.ResetMode = 0;
    }
    // Opens the sound dialog, which act works once it is up (its output,
    // SoundFont and driver boxes given), then presses button. What is heard
    // from then on goes to the WAV of that name.
    void choose(const QString &wavName,
                const std::function<void(QWidget *, QList<QComboBox *>)> &act,
                QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok)
    {
        qputenv("SONABEL_AUDIO_FILE", wav(wavName).toUtf8());
        QTimer::singleShot(0, [=] {
            QWidget *dialog = QApplication::activeModalWidget();
            ASSERT_NE(dialog, nullptr);
            const auto boxes = dialog->findChildren<QComboBox *>();
            ASSERT_EQ(boxes.size(), 3);
            act(dialog, boxes);
            dialog->findChild<QDialogButtonBox *>()->button(button)->click();
        });
        window->mnuSound_Click();
    }
    QString wav(const QString &name) const { return dir.filePath(name + u".wav"_s); }
    void finish()
    {
        window.reset();
        real.reset(); // the file driver finishes its WAV
    }

    WithRealSoundDialog asked;
    std::unique_ptr<SequencerDevice> real; // the device
    std::unique_ptr<frmMain> window;
};

TEST_F(SoundWindow, ChoiceIsAppliedAtOnceAndTheSongGoesOnWhereItWas)
{
    start();
    window->playNow(writeSteadySong(dir.filePath(u"song.mid"_s), 30, 250));
    ASSERT_TRUE(QTest::qWaitFor([&] { return real->Position() >= 1000; }, 10000));

    // The volume (the Player's, so the bus's too) follows the dialog's
    // slider: silent while it is at 0, and back when the dialog is cancelled,
    // which keeps nothing. Volume off: the song goes on, silently. The driver
    // the variable sets is shown, locked, with a line that says so.
    const SoundSettings before = LoadSoundSettings(store);
    QSignalSpy volumes(&window->player, &Player::volumeChanged);
    choose(
        u"start"_s,
        [](QWidget *dialog, const QList<QComboBox *> &boxes) {
            EXPECT_GE(boxes[1]->findData(SmallSoundFont), 0);
            EXPECT_FALSE(boxes[2]->isEnabled());
            QStringList labels;
            for (QLabel *label : dialog->findChildren<QLabel *>())
                labels.append(label->text());
            EXPECT_EQ(labels.filter(u"SONABEL_AUDIO_DRIVER=file is set"_s).size(), 1)
                << labels.join(u'|').toStdString();
            dialog->findChild<QSlider *>()->setValue(0);
            QTest::qWait(1000);
        },
        QDialogButtonBox::Cancel);
    EXPECT_EQ(volumes.size(), 2);
    EXPECT_EQ(LoadSoundSettings(store), before);
    QTest::qWait(1000);
    qint32 at = real->Position();
    choose(u"quiet"_s, [](QWidget *dialog, const QList<QComboBox *> &boxes) {
        boxes[1]->setCurrentIndex(boxes[1]->findData(SmallSoundFont));
        dialog->findChild<QSlider *>()->setValue(0);
    });
    EXPECT_GE(real->Position(), at);
    EXPECT_LT(real->Position(), at + 3000);
    EXPECT_TRUE(real->outputDescription().contains(u"TimGM6mb.sf2"_s));
    QTest::qWait(1200);

    // Paused, a new choice keeps it paused at the same point (the variable
    // still decides the driver, but the output opens anew).
    window->imgControls_Click(2);
    at = real->Position();
    choose(u"loud"_s, [](QWidget *dialog, const QList<QComboBox *> &boxes) {
        dialog->findChild<QSlider *>()->setValue(100);
        dialog->findChildren<QCheckBox *>().at(0)->setChecked(false);
        boxes[2]->setCurrentIndex(boxes[2]->findData(u"alsa"_s));
    });
    EXPECT_TRUE(real->isPaused());
    EXPECT_EQ(real->Position(), at);
    window->imgControls_Click(2); // resumes
    QTest::qWait(1200);
    EXPECT_GT(real->Position(), at + 500);

    // The silent output, the volume at 1.5, chorus off: OK keeps what the
    // user changed and what was shown; time still runs.
    choose(u"silent"_s, [](QWidget *dialog, const QList<QComboBox *> &boxes) {
        boxes[0]->setCurrentIndex(boxes[0]->findData(u"silent"_s));
        dialog->findChild<QSlider *>()->setValue(150);
        dialog->findChildren<QCheckBox *>().at(1)->setChecked(false);
    });
    EXPECT_TRUE(real->outputDescription().contains(u"silent"_s));
    const std::pair<QString, QString> kept[] = {
        {u"Output"_s, u"silent"_s},    {u"Gain"_s, u"1.5"_s},
        {u"Chorus"_s, u"0"_s},         {u"Reverb"_s, u"0"_s},
        {u"AudioDriver"_s, u"alsa"_s}, {u"SoundFont"_s, SmallSoundFont}};
    for (const auto &[key, value] : kept)
        EXPECT_EQ(store.values.value(u"Sound/"_s + key), value) << key.toStdString();
    at = real->Position();
    QTest::qWait(600);
    EXPECT_GT(real->Position(), at);
    finish();

    // Per quarter second of what played before the first choice: quiet for
    // as long as the slider was at 0, then as loud as before.
    const std::vector<int> peaks = quarterPeaks(wav(u"start"_s));
    const auto first = std::find_if(peaks.begin(), peaks.end(), [](int p) { return p > 1000; });
    ASSERT_NE(first, peaks.end());
    const auto quiet = std::find_if(first, peaks.end(), [](int p) { return p < 50; });
    EXPECT_NE(quiet, peaks.end()) << "the volume did not follow the slider";
    EXPECT_GT(*std::max_element(peaks.end() - 3, peaks.end()), 1000)
        << "Cancel did not put it back";
    EXPECT_LT(peakOf(wav(u"quiet"_s)), 50);
    EXPECT_GT(peakOf(wav(u"loud"_s)), 2000);
    EXPECT_TRUE(asked.messages.isEmpty()) << asked.messages.join(u'\n').toStdString();
}

// A chosen SoundFont or port that is gone falls back and says so once; so do
// the other problems, however many songs play. A gone SoundFont is not told
// again at the next start either; one that SONABEL_SOUNDFONT overrides is not
// the user's problem now, and stays chosen.
TEST_F(SoundWindow, ProblemsAreShownOnceAndPlayGoesOn)
{
    writeBytes(dir.filePath(u"junk.sf2"_s), "not a SoundFont");
    const QString gone = dir.filePath(u"gone.sf2"_s);
    // What, the setting or (SONABEL_...) variable, its value (a file name is
    // in the test's folder), the words of the message ('|' between them), and
    // whether the song is heard.
    const std::tuple<const char *, const char *, QString, QString, bool> cases[] = {
        {"gone SoundFont", "Sound/SoundFont", u"gone.sf2"_s, u"gone.sf2 is gone|instead"_s, true},
        {"gone port", "Sound/Output", u"alsa:250:7"_s,
         u"MIDI port 250:7 is gone|built-in synthesizer"_s, true},
        {"not a SoundFont", "SONABEL_SOUNDFONT", u"junk.sf2"_s,
         u"junk.sf2 cannot be loaded|\"Sound ...\""_s, false},
        {"no audio", "SONABEL_AUDIO_DRIVER", u"nosuchdriver"_s, u"No audio output|\"Sound ...\""_s,
         false},
    };
    for (const auto &[what, name, setting, words, heard] : cases) {
        SCOPED_TRACE(what);
        asked.messages.clear();
        store.values = {{QString(), u"1"_s}}; // not a first run
        SetUp();
        const QString value = setting.endsWith(u".sf2"_s) ? dir.filePath(setting) : setting;
        const bool overridden = qstrcmp(name, "SONABEL_SOUNDFONT") == 0;
        if (overridden)
            store.values.insert(u"Sound/SoundFont"_s, gone);
        if (qstrncmp(name, "SONABEL_", 8) == 0)
            qputenv(name, value.toUtf8());
        else
            store.values.insert(QLatin1String(name), value);
        start();
        const QString song = writeSteadySong(dir.filePath(u"song.mid"_s), 30, 250);
        window->playNow(song);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !asked.messages.isEmpty(); }, 10000));
        for (const QString &word : words.split(u'|'))
            EXPECT_TRUE(asked.messages.first().contains(word))
                << asked.messages.first().toStdString();
        // The next song brings no second message.
        window->imgControls_Click(3);
        window->playNow(song);
        QTest::qWait(1200);
        EXPECT_EQ(asked.messages.size(), 1);
        EXPECT_GT(real->Position(), 500);
        finish();
        if (heard) {
            EXPECT_GT(peakOf(wav(u"start"_s)), 1000);
        }
        if (overridden) {
            EXPECT_EQ(store.values.value(u"Sound/SoundFont"_s), gone);
        }
        if (qstrcmp(name, "Sound/SoundFont") == 0) {
            // [Sound] keeps the default from then on: the next start tells nothing.
            EXPECT_EQ(LoadSoundSettings(store).SoundFont, QString());
        }
    }
}

// ---- the real program ----

// A sound server lists the player as music, with its name and icon. There is
// no session bus here: the player runs as before.
TEST(PlayEndToEnd, TheSoundServerListsThePlayerAsMusicWithoutABus)
{
    // A private PulseAudio server with a null sink, reached by its socket only.
    ProgramRun run;
    const QString home = run.scratch(u"pulse"_s);
    QDir().mkpath(home);
    run.environment.insert(u"HOME"_s, home); // the player's too
    run.environment.insert(u"PULSE_SERVER"_s, u"unix:"_s + home + u"/socket"_s);
    QProcess pulse;
    pulse.setProcessEnvironment(run.environment);
    pulse.setStandardErrorFile(home + u"/log"_s);
    pulse.start(u"pulseaudio"_s, // a missing server fails here
                {u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"-L"_s,
                 u"module-native-protocol-unix auth-anonymous=1 socket="_s + home + u"/socket"_s,
                 u"-L"_s, u"module-null-sink"_s});
    ASSERT_TRUE(pulse.waitForStarted(Patience));
    // What the server lists; nothing while it does not answer.
    const auto sinkInputs = [&]() -> std::optional<QString> {
        QProcess pactl;
        pactl.setProcessEnvironment(run.environment);
        pactl.start(u"pactl"_s, {u"list"_s, u"sink-inputs"_s});
        if (!pactl.waitForFinished(Patience) || pactl.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(pactl.readAllStandardOutput());
    };
    ASSERT_TRUE(ProgramRun::waitFor([&] { return sinkInputs().has_value(); }, Patience))
        << readBytes(home + u"/log"_s).toStdString();

    run.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
    run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"pulseaudio"_s);
    run.environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + home + u"/no-bus"_s);
    QProcess *player = run.start({writeSteadySong(run.scratch(u"song.mid"_s), 30, 250)});
    QString listed;
    EXPECT_TRUE(ProgramRun::waitFor(
        [&] {
            listed = sinkInputs().value_or(QString());
            return listed.contains(u"application.name = \"Sonabel\""_s);
        },
        Patience))
        << listed.toStdString();
    EXPECT_TRUE(listed.contains(u"application.icon_name = \"sonabel\""_s));
    EXPECT_TRUE(listed.contains(u"media.role = \"music\""_s));
    EXPECT_TRUE(ProgramRun::terminate(player, Patience));
    EXPECT_EQ(player->exitCode(), 0);
    ProgramRun::terminate(&pulse, Patience);
}

} // namespace
