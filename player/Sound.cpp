// The sound dialog's handler and the sound problems shown in the window. The
// choice is applied to the device at once (the song goes on where it was) and
// kept in the settings file's [Sound] group; the volume is the Player's, and
// a change of it alone keeps the output open.
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

#include <QCoreApplication>
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

QString assignment(const char *name, const QString &value)
{
    return value.isEmpty() ? QString() : QLatin1String(name) + u'=' + value;
}

// The outputs offered now: the synthesizer, each MIDI port found, silence.
QList<SoundDialogSetup::Output> outputsFoundNow()
{
    QList<SoundDialogSetup::Output> outputs;
    outputs.append(
        {QStringLiteral("synth"), QCoreApplication::translate("frmMain", "Built-in synthesizer")});
#ifdef SONABEL_HAVE_ALSA
    for (const AlsaOutput::Port &port : AlsaOutput::ports()) {
        const QString address = QString::fromStdString(port.address);
        outputs.append({QStringLiteral("alsa:") + address,
                        QCoreApplication::translate("frmMain", "MIDI port %1 (%2)")
                            .arg(address, QString::fromStdString(port.name))});
    }
#endif
    outputs.append({QStringLiteral("silent"), QCoreApplication::translate("frmMain", "Silent")});
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
    setup.output = stored.Output.isEmpty() ? QStringLiteral("synth") : stored.Output;
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

void frmMain::mnuSound_Click()
{
    const std::optional<SoundDialogSetup> answer =
        dlg->ShowSound(dialogSetup(LoadSoundSettings(*store), MCI->outputDescription()));
    if (!answer)
        return;
    const SoundSettings before = LoadSoundSettings(*store);
    SoundSettings chosen;
    chosen.Output = answer->output;
    chosen.SoundFont = answer->soundFont;
    chosen.AudioDriver = answer->audioDriver;
    chosen.Gain = answer->gain;
    chosen.Reverb = answer->reverb;
    chosen.Chorus = answer->chorus;
    SaveSoundSettings(chosen, *store);
    // Only the volume changed: the sound follows at once, the output stays.
    if (chosen.Output == before.Output && chosen.SoundFont == before.SoundFont &&
        chosen.AudioDriver == before.AudioDriver && chosen.Reverb == before.Reverb &&
        chosen.Chorus == before.Chorus) {
        player.setVolume(chosen.Gain);
        return;
    }
    // A new choice may run into the same problem again: the user hears of it.
    SoundProblemsShown.clear();
    MCI->setSound(toChoice(chosen));
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
