// What is heard: the [Sound] settings, the SoundFont search, the sound dialog,
// and on the real device with the real synthesizer the sound choice and sound
// problems (the dialogs are fakes), the real program playing one song after
// another, how a sound server lists it, and its volume set over the bus.
// FluidSynth's file driver writes what is heard.
#include "engine/DeviceFactory.h"
#include "engine/MidiFile.h"
#include "engine/SoundFonts.h"
#include "platform/SettingsStore.h"
#include "player/Sound.h"
#include "settings/SoundSettings.h"
#include "support/ProgramRun.h"
#include "support/Wav.h"
#include "support/WindowFixture.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString SmallSoundFont = u"/usr/share/sounds/sf2/TimGM6mb.sf2"_s;

constexpr double LowHz = 523.25;  // C5, the first song
constexpr double HighHz = 739.99; // F#5, the second

// A format 0 file: a flute holding one note for 2.5 s at 120 beats a minute.
std::vector<std::uint8_t> oneNoteSong(std::uint8_t note)
{
    SmfWriter w(0, 480);
    w.beginTrack();
    w.channel(0, 0xC0, 73);
    w.channel(0, 0x90, note, 100);
    w.channel(2400, 0x80, note, 0);
    w.endTrack(2520);
    return w.bytes();
}

// Power of one frequency in frames [from, from + count) of the first channel (Goertzel).
double power(const Wav &wav, size_t from, size_t count, double hz)
{
    const double k = 2 * std::cos(2 * M_PI * hz / wav.rate);
    double s1 = 0, s2 = 0;
    for (size_t i = from; i < from + count; ++i) {
        const double s0 = wav.samples[i * wav.channels] / 32768.0 + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - k * s1 * s2;
}

int peakOf(const QString &wavPath)
{
    const Wav wav = readWav(wavPath.toStdString());
    EXPECT_EQ(wav.problem, "") << wavPath.toStdString();
    int peak = 0;
    for (std::int16_t s : wav.samples)
        peak = std::max(peak, std::abs(int(s)));
    return peak;
}

// Sets environment variables for one test and puts them back after it.
class ScopedEnvironment
{
public:
    void set(const char *name, const QString &value)
    {
        m_saved.push_back(
            {name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt});
        qputenv(name, value.toUtf8());
    }
    ~ScopedEnvironment()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it)
            it->second ? qputenv(it->first, *it->second) : qunsetenv(it->first);
    }

private:
    std::vector<std::pair<const char *, std::optional<QByteArray>>> m_saved;
};

TEST(SoundSettings, KeptInTheSoundGroupUnreadableValuesTakeTheirDefaults)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"Sonabel.ini"_s);
    SoundSettings chosen;
    chosen.SoundFont = u"/home/u/My Fonts/piano, grand.sf2"_s;
    chosen.Output = u"alsa:128:0"_s;
    chosen.AudioDriver = u"jack"_s;
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

    const std::pair<QString, double> gains[] = {{u"loud"_s, 0.2}, {u"-1"_s, 0.2},
                                                {u"11"_s, 0.2},   {u"nan"_s, 0.2},
                                                {u""_s, 0.2},     {u" 2.5 "_s, 2.5}};
    for (const auto &[text, gain] : gains) {
        MemoryStore store;
        store.values = {
            {u"Sound/Gain"_s, text}, {u"Sound/Reverb"_s, u"yes"_s}, {u"Sound/Chorus"_s, u"0"_s}};
        const SoundSettings read = LoadSoundSettings(store);
        EXPECT_EQ(read.Gain, gain) << text.toStdString();
        EXPECT_TRUE(read.Reverb);
        EXPECT_FALSE(read.Chorus);
    }
}

// ---- where SoundFonts are found ----

TEST(SoundFonts, TheSynthesizersDefaultFirstThenEachFolderInOrder)
{
    QTemporaryDir dir;
    const QString system = dir.filePath(u"sf2"_s), user = dir.filePath(u"user"_s);
    QDir().mkpath(system + u"/folder.sf2"_s); // a folder is no SoundFont
    for (const QString &name : {u"b.sf2"_s, u"A.SF3"_s, u"default-GM.sf2"_s, u"notes.txt"_s})
        writeBytes(system + u'/' + name, "x");
    writeBytes(user + u"/mine.sf2"_s, "x");
    writeBytes(dir.filePath(u"chosen.sf2"_s), "x");

    const auto found = [](const std::vector<std::string> &paths) {
        QStringList names;
        for (const std::string &p : paths)
            names.append(QString::fromStdString(std::filesystem::path(p).filename().string()));
        return names;
    };
    const std::vector<std::string> folders = {system.toStdString(), user.toStdString(),
                                              dir.filePath(u"missing"_s).toStdString()};
    EXPECT_EQ(
        found(SoundFonts::list(dir.filePath(u"chosen.sf2"_s).toStdString(), folders)),
        (QStringList{u"chosen.sf2"_s, u"default-GM.sf2"_s, u"A.SF3"_s, u"b.sf2"_s, u"mine.sf2"_s}));
    // A default that does not exist is left out; one inside a folder is listed once.
    EXPECT_EQ(found(SoundFonts::list(dir.filePath(u"gone.sf2"_s).toStdString(), folders)).first(),
              u"default-GM.sf2"_s);
    EXPECT_EQ(found(SoundFonts::list((system + u"/b.sf2"_s).toStdString(), folders)),
              (QStringList{u"b.sf2"_s, u"default-GM.sf2"_s, u"A.SF3"_s, u"mine.sf2"_s}));
}

TEST(SoundFonts, FoldersFollowTheBaseDirectoriesMostImportantFirst)
{
    const auto folders = [](const char *dataHome, const char *dataDirs) {
        QStringList list;
        for (const std::string &f : SoundFonts::folders(dataHome, dataDirs, "/home/u"))
            list.append(QString::fromStdString(f));
        return list.join(u' ');
    };
    // Unset or empty: the defaults of the base directories.
    EXPECT_EQ(folders(nullptr, nullptr),
              u"/home/u/.local/share/sounds/sf2 /home/u/.local/share/sounds/sf3 "
              "/usr/local/share/sounds/sf2 /usr/local/share/sounds/sf3 "
              "/usr/share/sounds/sf2 /usr/share/sounds/sf3"_s);
    EXPECT_EQ(folders("", ""), folders(nullptr, nullptr));
    // Relative and empty entries are skipped, a trailing slash does not make
    // a folder twice.
    EXPECT_EQ(folders("/d/", "rel:/s1::/d:/s2/"),
              u"/d/sounds/sf2 /d/sounds/sf3 /s1/sounds/sf2 /s1/sounds/sf3 "
              "/s2/sounds/sf2 /s2/sounds/sf3"_s);
    EXPECT_EQ(folders("relative", "/s"),
              u"/home/u/.local/share/sounds/sf2 /home/u/.local/share/sounds/sf3 "
              "/s/sounds/sf2 /s/sounds/sf3"_s);
}

// ---- the real dialog ----

TEST(SoundDialog, ReturnsWhatIsShownWithTheUsersChanges)
{
    SoundDialogSetup setup;
    setup.outputs = {{u"synth"_s, u"Built-in synthesizer"_s}, {u"silent"_s, u"Silent"_s}};
    setup.soundFonts = {u"/a/one.sf2"_s, u"/a/two.sf3"_s};
    setup.audioDrivers = {QString(), u"pulseaudio"_s, u"alsa"_s};
    setup.soundFontFromEnvironment = u"SONABEL_SOUNDFONT=/x.sf2"_s;
    setup.output = u"synth"_s;
    setup.soundFont = u"/a/two.sf3"_s;
    setup.audioDriver = u"alsa"_s;
    setup.gain = 0.35;
    setup.reverb = false;

    QStringList notes;
    bool soundFontLocked = false;
    QTimer::singleShot(0, [&] {
        QWidget *dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        const auto boxes = dialog->findChildren<QComboBox *>();
        ASSERT_EQ(boxes.size(), 3);
        boxes[0]->setCurrentIndex(boxes[0]->findData(u"silent"_s));
        soundFontLocked = !boxes[1]->isEnabled();
        for (QLabel *label : dialog->findChildren<QLabel *>())
            notes.append(label->text());
        dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
    });
    QtDialogs dialogs;
    const std::optional<SoundDialogSetup> answer = dialogs.ShowSound(setup);
    ASSERT_TRUE(answer.has_value());
    EXPECT_EQ(answer->output, u"silent"_s);
    EXPECT_EQ(answer->soundFont, u"/a/two.sf3"_s);
    EXPECT_EQ(answer->audioDriver, u"alsa"_s);
    EXPECT_DOUBLE_EQ(answer->gain, 0.35);
    EXPECT_FALSE(answer->reverb);
    EXPECT_TRUE(answer->chorus);
    EXPECT_TRUE(soundFontLocked);
    EXPECT_EQ(notes.filter(u"SONABEL_SOUNDFONT=/x.sf2 is set"_s).size(), 1)
        << notes.join(u'|').toStdString();
}

// ---- the window on the real device ----

// The window on the real device; the dialogs and the store are the fixture's fakes.
class SoundWindow : public WindowFixture
{
public:
    using WindowFixture::dir, WindowFixture::store;
    void SetUp() override
    {
        if (!QFile::exists(SmallSoundFont))
            GTEST_SKIP() << "timgm6mb-soundfont is not installed";
        env.set("SONABEL_OUTPUT", QString());
        env.set("SONABEL_SOUNDFONT", QString());
        env.set("SONABEL_AUDIO_DRIVER", u"file"_s);
        env.set("SONABEL_AUDIO_FILE", wav(u"start"_s));
        store.values.insert(QString(), u"1"_s);
    }
    void TearDown() override
    {
        window.reset();
        real.reset(); // the file driver finishes its WAV
    }

    // The device for what the store holds, and the window on it.
    void start()
    {
        real = makeSequencerDevice(storedSoundChoice(store));
        MainWindowServices s = services();
        s.MCI = real.get();
        window = std::make_unique<frmMain>(s);
        window->Global.ResetMode = 0;
    }
    void play(const QString &song) { window->playNow(song); }
    // Chooses in the sound dialog; what is heard from then on goes to wavName.
    void choose(const QString &wavName, const std::function<void(SoundDialogSetup &)> &answer)
    {
        env.set("SONABEL_AUDIO_FILE", wav(wavName));
        dialogs.soundAnswer = answer;
        window->mnuSound_Click();
    }
    QString wav(const QString &name) const { return dir.filePath(name + u".wav"_s); }
    void finish() { TearDown(); }

    ScopedEnvironment env;
    std::unique_ptr<SequencerDevice> real; // the device
    std::unique_ptr<frmMain> window;
};

TEST_F(SoundWindow, ChoiceIsAppliedAtOnceAndTheSongGoesOnWhereItWas)
{
    start();
    play(writeSteadySong(dir.filePath(u"song.mid"_s), 30, 250));
    ASSERT_TRUE(QTest::qWaitFor([&] { return real->Position() >= 1000; }, 10000));

    // Cancelled: nothing changes. Volume off: the song goes on, silently.
    const QString synth = real->outputDescription();
    window->mnuSound_Click();
    EXPECT_EQ(real->outputDescription(), synth);
    EXPECT_FALSE(store.values.contains(u"Sound/SoundFont"_s));
    qint32 before = real->Position();
    choose(u"quiet"_s, [](SoundDialogSetup &s) {
        s.soundFont = SmallSoundFont;
        s.gain = 0;
    });
    ASSERT_EQ(dialogs.soundShown.size(), 2);
    const SoundDialogSetup &shown = dialogs.soundShown.last();
    EXPECT_EQ(shown.output, u"synth"_s);
    EXPECT_TRUE(shown.soundFonts.contains(SmallSoundFont));
    EXPECT_EQ(shown.audioDriverFromEnvironment, u"SONABEL_AUDIO_DRIVER=file"_s);
    EXPECT_TRUE(shown.outputFromEnvironment.isEmpty());
    EXPECT_GE(real->Position(), before);
    EXPECT_LT(real->Position(), before + 3000);
    EXPECT_TRUE(real->outputDescription().contains(u"TimGM6mb.sf2"_s));
    EXPECT_EQ(store.values.value(u"Sound/SoundFont"_s), SmallSoundFont);
    EXPECT_EQ(store.values.value(u"Sound/Gain"_s), u"0"_s);
    QTest::qWait(1200);

    // Paused, a new choice keeps it paused at the same point.
    window->imgControls_Click(2);
    before = real->Position();
    choose(u"loud"_s, [](SoundDialogSetup &s) {
        s.gain = 1.0;
        s.reverb = false;
    });
    EXPECT_TRUE(real->isPaused());
    EXPECT_EQ(real->Position(), before);
    window->imgControls_Click(2); // resumes
    QTest::qWait(1200);
    EXPECT_GT(real->Position(), before + 500);
    EXPECT_FALSE(window->isStopped());

    // The volume alone: the output stays open, and the Player has it.
    choose(u"half"_s, [](SoundDialogSetup &s) { s.gain = 0.5; });
    EXPECT_FALSE(QFile::exists(wav(u"half"_s)));
    EXPECT_EQ(window->player.volume(), 0.5);
    EXPECT_EQ(store.values.value(u"Sound/Gain"_s), u"0.5"_s);

    // The silent output: time still runs.
    choose(u"silent"_s, [](SoundDialogSetup &s) { s.output = u"silent"_s; });
    EXPECT_TRUE(real->outputDescription().contains(u"silent"_s));
    EXPECT_EQ(store.values.value(u"Sound/Output"_s), u"silent"_s);
    before = real->Position();
    QTest::qWait(600);
    EXPECT_GT(real->Position(), before);
    finish();

    EXPECT_LT(peakOf(wav(u"quiet"_s)), 50);
    EXPECT_GT(peakOf(wav(u"loud"_s)), 2000);
    EXPECT_TRUE(dialogs.messages.isEmpty()) << dialogs.messages.join(u'\n').toStdString();
}

// A chosen SoundFont or port that is gone falls back and says so once; so do
// the other problems, however many songs play.
TEST_F(SoundWindow, ProblemsAreShownOnceAndPlayGoesOn)
{
    const QString junk = writeBytes(dir.filePath(u"junk.sf2"_s), "not a SoundFont");
    // What, the setting or (SONABEL_...) variable, its value, words of the
    // message, whether the song is heard.
    const std::tuple<const char *, const char *, QString, QStringList, bool> cases[] = {
        {"gone SoundFont",
         "Sound/SoundFont",
         dir.filePath(u"gone.sf2"_s),
         {u"gone.sf2 is gone"_s, u"instead"_s},
         true},
        {"gone port",
         "Sound/Output",
         u"alsa:250:7"_s,
         {u"MIDI port 250:7 is gone"_s, u"built-in synthesizer"_s},
         true},
        {"not a SoundFont",
         "SONABEL_SOUNDFONT",
         junk,
         {u"junk.sf2 cannot be loaded"_s, u"\"Sound ...\""_s},
         false},
        {"no audio",
         "SONABEL_AUDIO_DRIVER",
         u"nosuchdriver"_s,
         {u"No audio output"_s, u"\"Sound ...\""_s},
         false},
    };
    for (const auto &[what, name, value, words, heard] : cases) {
        SCOPED_TRACE(what);
        TearDown();
        dialogs.messages.clear();
        store.values.clear();
        SetUp();
        if (qstrncmp(name, "SONABEL_", 8) == 0)
            env.set(name, value);
        else
            store.values.insert(QLatin1String(name), value);
        start();
        const QString song = writeSteadySong(dir.filePath(u"song.mid"_s), 30, 250);
        play(song);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !dialogs.messages.isEmpty(); }, 10000));
        for (const QString &word : words)
            EXPECT_TRUE(dialogs.messages.first().contains(word))
                << dialogs.messages.first().toStdString();
        // The next song brings no second message.
        window->imgControls_Click(3);
        play(song);
        QTest::qWait(1200);
        EXPECT_EQ(dialogs.messages.size(), 1);
        EXPECT_GT(real->Position(), 500);
        finish();
        if (heard) {
            EXPECT_GT(peakOf(wav(u"start"_s)), 1000);
        }
    }
}

// ---- the real program ----

TEST(PlayEndToEnd, FirstSongSoundsThenTheSecond)
{
    if (!QFile::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    ProgramRun run;
    const QString songs = run.scratch(u"songs"_s);
    writeBytes(songs + u"/1 low.mid"_s, oneNoteSong(72));
    writeBytes(songs + u"/2 high.mid"_s, oneNoteSong(78));
    const QString wavPath = run.scratch(u"out.wav"_s);
    run.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
    run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"file"_s);
    run.environment.insert(u"SONABEL_AUDIO_FILE"_s, wavPath);
    run.environment.insert(u"SONABEL_SOUNDFONT"_s, SmallSoundFont);

    QProcess *p = run.start({songs});
    // The first song lasts 2.6 s and is advanced within a second of its end.
    QThread::msleep(7500);
    ASSERT_EQ(p->state(), QProcess::Running);
    ASSERT_TRUE(ProgramRun::terminate(p, 30000));
    EXPECT_EQ(p->exitCode(), 0);

    const Wav wav = readWav(wavPath.toStdString());
    ASSERT_EQ(wav.problem, "") << "the WAV was not finished properly";
    // Per 100 ms: which of the two notes sounds, clearly above silence.
    const size_t window = static_cast<size_t>(wav.rate / 10);
    const double floor = std::pow(0.002 * window / 2, 2); // a tone of amplitude 0.002
    std::vector<char> heard;
    for (size_t from = 0; (from + window) * wav.channels <= wav.samples.size(); from += window) {
        const double low = power(wav, from, window, LowHz);
        const double high = power(wav, from, window, HighHz);
        heard.push_back(low > floor && low > 20 * high    ? 'L'
                        : high > floor && high > 20 * low ? 'H'
                                                          : '.');
    }
    const std::string timeline(heard.begin(), heard.end());
    const size_t firstLow = timeline.find('L');
    const size_t firstHigh = timeline.find('H');
    ASSERT_NE(firstLow, std::string::npos) << "the first song never sounded: " << timeline;
    ASSERT_NE(firstHigh, std::string::npos) << "the second song never sounded: " << timeline;
    EXPECT_LT(firstLow, firstHigh) << timeline;
    // The second song plays on its own for two seconds: the first one stopped.
    const std::string second = timeline.substr(firstHigh, 20);
    EXPECT_EQ(second.find('L'), std::string::npos) << timeline;
    EXPECT_GE(std::count(second.begin(), second.end(), 'H'), 15) << timeline;
}

// The bus's Volume is the Sound dialog's: a share of its slider's range (the
// gain up to its top), kept within it and in [Sound] Gain, announced, and
// heard at once: a steady note grows louder, then falls silent at 0.
TEST(PlayEndToEnd, BusVolumeIsTheSoundDialogsAndIsHeardAtOnce)
{
    if (!QFile::exists(SmallSoundFont))
        GTEST_SKIP() << "timgm6mb-soundfont is not installed";
    ProgramRun run;
    if (!run.startSessionBus())
        GTEST_SKIP() << "no dbus-daemon or gdbus";
    const QString wavPath = run.scratch(u"out.wav"_s);
    run.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
    run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"file"_s);
    run.environment.insert(u"SONABEL_AUDIO_FILE"_s, wavPath);
    run.environment.insert(u"SONABEL_SOUNDFONT"_s, SmallSoundFont);
    QProcess *player = run.start({writeSteadySong(run.scratch(u"steady.mid"_s), 30, 250)});
    ASSERT_TRUE(ProgramRun::waitFor(
        [&] { return run.mprisGet(u"PlaybackStatus"_s).contains(u"Playing"_s); }, Patience));
    EXPECT_TRUE(run.mprisGet(u"Volume"_s).contains(u"<0.1"_s)); // the default gain, 0.2
    QProcess *monitor = run.monitorBus();
    QString said;
    const auto set = [&](const char *volume) {
        QThread::msleep(1500);
        run.mpris(u"org.freedesktop.DBus.Properties.Set"_s,
                  {u"org.mpris.MediaPlayer2.Player"_s, u"Volume"_s, QLatin1String(volume)});
    };
    set("<7.0>");
    EXPECT_TRUE(run.mprisGet(u"Volume"_s).contains(u"<1.0"_s));
    set("<0.0>");
    EXPECT_TRUE(heardOnBus(monitor, &said, u"'Volume': <0.0>"_s)) << said.toStdString();
    QThread::msleep(1500);
    run.mpris(u"org.mpris.MediaPlayer2.Quit"_s);
    ASSERT_TRUE(player->waitForFinished(Patience));
    EXPECT_EQ(QSettings(run.iniFile(), QSettings::IniFormat).value(u"Sound/Gain"_s).toString(),
              u"0"_s);

    // The loudest sample of each quarter second, in dB below full scale: the
    // notes at the start, louder ones later, and at 0 only the reverb's tail
    // of what sounded before.
    const Wav wav = readWav(wavPath.toStdString());
    ASSERT_EQ(wav.problem, "");
    std::vector<double> levels;
    const std::size_t window = wav.rate / 4 * wav.channels;
    for (std::size_t from = 0; from + window <= wav.samples.size(); from += window) {
        int peak = 0;
        for (std::size_t i = from; i < from + window; ++i)
            peak = std::max(peak, std::abs(int(wav.samples[i])));
        levels.push_back(20 * std::log10(std::max(peak, 1) / 32768.0));
    }
    const auto first = std::find_if(levels.begin(), levels.end(), [](double l) { return l > -60; });
    ASSERT_NE(first, levels.end()) << "nothing was heard";
    const double loudest = *std::max_element(first, levels.end());
    EXPECT_GT(loudest, *first + 12) << "the volume did not go up";
    EXPECT_LT(*std::max_element(levels.end() - 4, levels.end()), loudest - 40) << "not silent";
}

TEST(PlayEndToEnd, TheSoundServerListsThePlayerAsMusic)
{
    // A private PulseAudio server with a null sink, reached by its socket only.
    ProgramRun run;
    const QString home = run.scratch(u"pulse"_s);
    QDir().mkpath(home);
    const QString server = u"unix:"_s + home + u"/socket"_s;
    QProcessEnvironment pulseEnv = QProcessEnvironment::systemEnvironment();
    pulseEnv.insert(u"HOME"_s, home);
    pulseEnv.insert(u"XDG_RUNTIME_DIR"_s, run.runtimeDir());
    pulseEnv.insert(u"PULSE_SERVER"_s, server);
    QProcess pulse;
    pulse.setProcessEnvironment(pulseEnv);
    pulse.setStandardErrorFile(home + u"/log"_s);
    pulse.start(u"pulseaudio"_s, // a missing server fails here
                {u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s, u"-L"_s,
                 u"module-native-protocol-unix auth-anonymous=1 socket="_s + home + u"/socket"_s,
                 u"-L"_s, u"module-null-sink"_s});
    ASSERT_TRUE(pulse.waitForStarted(Patience));
    // What the server lists; nothing while it does not answer.
    const auto sinkInputs = [&]() -> std::optional<QString> {
        QProcess pactl;
        pactl.setProcessEnvironment(pulseEnv);
        pactl.start(u"pactl"_s, {u"list"_s, u"sink-inputs"_s});
        if (!pactl.waitForFinished(Patience) || pactl.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(pactl.readAllStandardOutput());
    };
    ASSERT_TRUE(ProgramRun::waitFor([&] { return sinkInputs().has_value(); }, Patience))
        << readBytes(home + u"/log"_s).toStdString();

    writeBytes(run.scratch(u"song.mid"_s), oneNoteSong(72));
    run.environment.insert(u"SONABEL_OUTPUT"_s, u"synth"_s);
    run.environment.insert(u"SONABEL_AUDIO_DRIVER"_s, u"pulseaudio"_s);
    run.environment.insert(u"PULSE_SERVER"_s, server);
    QProcess *player = run.start({run.scratch(u"song.mid"_s)});
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
    ProgramRun::terminate(&pulse, Patience);
}

} // namespace
