// The sound dialog's handler and the sound problems shown in the window. The
// volume (the Player's), reverb and chorus follow the dialog's controls as
// they move, keeping the output open; Cancel puts them back. On OK the choice
// is kept in the settings file's [Sound] group, and a new output, SoundFont
// or audio driver is applied to the device at once (the song goes on where it
// was). A chosen SoundFont that is gone is told once: the device falls back
// to the default and says so, and the settings keep the default from then on.
#include "player/Sound.h"

#include "engine/DeviceFactory.h"
#include "engine/SequencerDevice.h"
#include "engine/SoundFonts.h"
#include "player/Player.h"
#include "settings/SoundSettings.h"
#include "ui/frmMain.h"
#ifdef SONABEL_HAVE_ALSA
#include "engine/AlsaOutput.h"
#endif

#include <QFileInfo>
#include <algorithm>

namespace {

SoundChoice toChoice(const SoundSettings &sound)
{
    SoundChoice choice;
    choice.output = sound.Output;
    choice.soundFont = sound.SoundFont;
    choice.audioDriver = sound.AudioDriver;
    choice.gain = std::clamp(sound.Gain, 0.0, SoundChoice::MaxGain);
    choice.reverb = sound.Reverb;
    choice.chorus = sound.Chorus;
    return choice;
}

// The SoundFont the settings name is the one in force (no SONABEL_SOUNDFONT)
// and is no longer there.
bool soundFontGone(const SoundSettings &sound)
{
    return !sound.SoundFont.isEmpty() && environmentSoundChoice().soundFont.isEmpty() &&
           !QFileInfo::exists(sound.SoundFont);
}

// The output a setting names: empty is the synthesizer, as the dialog shows.
QString outputName(const QString &output)
{
    return output.isEmpty() ? QStringLiteral("synth") : output;
}

// Keeps sound in the store; a SoundFont that is gone is kept as the default.
void keepSound(SoundSettings sound, SettingsStore &store)
{
    if (soundFontGone(sound))
        sound.SoundFont.clear();
    SaveSoundSettings(sound, store);
}

QString assignment(const char *name, const QString &value)
{
    return value.isEmpty() ? QString() : QLatin1String(name) + u'=' + value;
}

// The outputs offered now: the synthesizer, each MIDI port found, silence.
QList<SoundDialogSetup::Output> outputsFoundNow()
{
    QList<SoundDialogSetup::Output> outputs;
    outputs.append({QStringLiteral("synth"), QStringLiteral("Built-in synthesizer")});
#ifdef SONABEL_HAVE_ALSA
    for (const AlsaOutput::Port &port : AlsaOutput::ports()) {
        const QString address = QString::fromStdString(port.address);
        outputs.append({QStringLiteral("alsa:") + address,
                        QStringLiteral("MIDI port ") + address + QStringLiteral(" (") +
                            QString::fromStdString(port.name) + u')'});
    }
#endif
    outputs.append({QStringLiteral("silent"), QStringLiteral("Silent")});
    return outputs;
}

SoundDialogSetup dialogSetup(const SoundSettings &stored, const QString &playingNow)
{
    SoundDialogSetup setup;
    setup.outputs = outputsFoundNow();
    for (const std::string &path :
         SoundFonts::list(SoundFonts::fluidDefault(), SoundFonts::folders()))
        setup.soundFonts.append(QString::fromStdString(path));
    setup.audioDrivers = {QString(), QStringLiteral("pulseaudio"), QStringLiteral("alsa"),
                          QStringLiteral("jack")};
    const SoundChoice environment = environmentSoundChoice();
    setup.outputFromEnvironment = assignment("SONABEL_OUTPUT", environment.output);
    setup.soundFontFromEnvironment = assignment("SONABEL_SOUNDFONT", environment.soundFont);
    setup.audioDriverFromEnvironment = assignment("SONABEL_AUDIO_DRIVER", environment.audioDriver);
    setup.playingNow = playingNow;
    setup.output = outputName(stored.Output);
    setup.soundFont = stored.SoundFont;
    setup.audioDriver = stored.AudioDriver;
    setup.gain = std::clamp(stored.Gain, 0.0, SoundChoice::MaxGain);
    setup.maxGain = SoundChoice::MaxGain;
    setup.reverb = stored.Reverb;
    setup.chorus = stored.Chorus;
    return setup;
}

} // namespace

SoundChoice storedSoundChoice(const SettingsStore &store)
{
    return toChoice(LoadSoundSettings(store));
}

SoundChoice soundChoiceToOpen(SettingsStore &store)
{
    const SoundSettings stored = LoadSoundSettings(store);
    if (soundFontGone(stored))
        keepSound(stored, store);
    return toChoice(stored);
}

void frmMain::mnuSound_Click()
{
    const SoundSettings before = LoadSoundSettings(*store);
    const double volumeBefore = player.volume();
    SoundDialogSetup setup = dialogSetup(before, MCI->outputDescription());
    setup.follow = [this](double gain, bool reverb, bool chorus) {
        player.setVolume(gain);
        MCI->setReverb(reverb);
        MCI->setChorus(chorus);
    };
    const std::optional<SoundDialogSetup> answer = dlg->ShowSound(setup);
    if (!answer) {
        player.setVolume(volumeBefore);
        MCI->setReverb(before.Reverb);
        MCI->setChorus(before.Chorus);
        return;
    }
    SoundSettings chosen;
    chosen.Output = answer->output;
    chosen.SoundFont = answer->soundFont;
    chosen.AudioDriver = answer->audioDriver;
    chosen.Gain = answer->gain;
    chosen.Reverb = answer->reverb;
    chosen.Chorus = answer->chorus;
    keepSound(chosen, *store);
    if (outputName(chosen.Output) == outputName(before.Output) &&
        chosen.SoundFont == before.SoundFont && chosen.AudioDriver == before.AudioDriver &&
        !soundFontGone(chosen)) {
        // The same output: what the controls changed is heard already.
        MCI->setReverb(chosen.Reverb);
        MCI->setChorus(chosen.Chorus);
    } else {
        // A new choice may run into the same problem again: the user hears of
        // it. A SoundFont gone meanwhile is handed on for the device to say so.
        SoundProblemsShown.clear();
        MCI->setSound(toChoice(chosen));
    }
    player.setVolume(chosen.Gain);
}

void frmMain::keepVolume(double gain)
{
    SoundSettings sound = LoadSoundSettings(*store);
    if (sound.Gain == gain)
        return;
    sound.Gain = gain;
    SaveSoundSettings(sound, *store);
}

void frmMain::MCI_SoundProblem(const QString &text)
{
    // Each problem once: a device opened anew for every song must not repeat it.
    if (SoundProblemsShown.contains(text))
        return;
    SoundProblemsShown.append(text);
    dlg->MsgBox(text);
}
