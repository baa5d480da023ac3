// The [Sound] group of the settings file; see SoundSettings.h.
#include "settings/SoundSettings.h"

#include "platform/SettingsStore.h"
#include "settings/Settings.h"

#include <cmath>

namespace {

QString key(const char *name)
{
    return QStringLiteral("Sound/") + QLatin1String(name);
}

QString read(const SettingsStore &store, const char *name)
{
    return store.read(key(name)).value_or(QString());
}

} // namespace

SoundSettings LoadSoundSettings(const SettingsStore &store)
{
    SoundSettings sound;
    sound.SoundFont = read(store, "SoundFont");
    sound.Output = read(store, "Output").trimmed();
    sound.AudioDriver = read(store, "AudioDriver").trimmed();
    bool ok = false;
    const double gain = read(store, "Gain").trimmed().toDouble(&ok);
    if (ok && std::isfinite(gain) && gain >= 0 && gain <= 10)
        sound.Gain = gain;
    sound.Reverb = decodeBoolean(read(store, "Reverb"), sound.Reverb);
    sound.Chorus = decodeBoolean(read(store, "Chorus"), sound.Chorus);
    return sound;
}

void SaveSoundSettings(const SoundSettings &sound, SettingsStore &store)
{
    store.write(key("SoundFont"), sound.SoundFont);
    store.write(key("Output"), sound.Output);
    store.write(key("AudioDriver"), sound.AudioDriver);
    store.write(key("Gain"), QString::number(sound.Gain));
    store.write(key("Reverb"), sound.Reverb ? QStringLiteral("1") : QStringLiteral("0"));
    store.write(key("Chorus"), sound.Chorus ? QStringLiteral("1") : QStringLiteral("0"));
    store.flush();
}
