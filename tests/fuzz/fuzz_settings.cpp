// libFuzzer target for the settings decoding: any bytes as the settings file
// load into values the player can use (options in range, a finite position),
// the sound settings likewise, and what is saved loads back the same.
#include "platform/SettingsStore.h"
#include "settings/Settings.h"
#include "settings/SoundSettings.h"

#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class MemoryStore : public SettingsStore
{
public:
    std::optional<QString> read(const QString &name) const override
    {
        return values.contains(name) ? std::optional<QString>(values.value(name)) : std::nullopt;
    }
    void write(const QString &name, const QString &value) override { values.insert(name, value); }
    bool flush() override { return true; }
    QMap<QString, QString> values;
};

bool same(const Settings &a, const Settings &b)
{
    return a.DefaultPlayer == b.DefaultPlayer && a.SnapToScreen == b.SnapToScreen &&
           a.OnTop == b.OnTop && a.ShadeMode == b.ShadeMode && a.OnNewEntry == b.OnNewEntry &&
           a.ResetMode == b.ResetMode && a.CurrentAlbum == b.CurrentAlbum &&
           a.WindowX == b.WindowX && a.WindowY == b.WindowY && a.AlbumList == b.AlbumList;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Sonabel.ini"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    IniSettingsStore store(path);
    Settings settings;
    LoadSettings(settings, store, 1920 * 15, nullptr);
    if (settings.OnNewEntry > 1 || settings.ResetMode > 2 || settings.CurrentAlbum > 1 ||
        !std::isfinite(settings.WindowX) || !std::isfinite(settings.WindowY))
        std::abort();
    const SoundSettings sound = LoadSoundSettings(store);
    if (!std::isfinite(sound.Gain))
        std::abort();

    MemoryStore saved;
    SaveSettings(settings, saved, nullptr);
    SaveSoundSettings(sound, saved);
    Settings again;
    LoadSettings(again, saved, 1920 * 15, nullptr);
    if (!same(settings, again) || !(LoadSoundSettings(saved) == sound))
        std::abort();
    return 0;
}
