// The settings codec: value names, defaults, decoding and encoding.
#include "settings/Settings.h"

#include "platform/SettingsStore.h"

#include <cmath>

namespace {

const QString Empty = QStringLiteral("Empty");

// The number a stored text reads as, blanks around it allowed.
std::optional<double> readNumber(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QString GetSettingValue(const SettingsStore &store, const QString &ValueName,
                        const QString &Default, const QString &Key)
{
    Q_UNUSED(Key);
    return store.read(ValueName).value_or(Default);
}

void SaveSettingValue(SettingsStore &store, const QString &ValueName, const QString &Value,
                      const QString &Key)
{
    Q_UNUSED(Key);
    store.write(ValueName, Value);
}

bool decodeBoolean(const QString &text, bool fallback)
{
    const std::optional<double> value = readNumber(text);
    if (!value)
        return fallback;
    return *value == 1.0;
}

quint8 decodeByte(const QString &text, quint8 fallback)
{
    const std::optional<double> value = readNumber(text);
    if (!value)
        return fallback;
    // Conversion to a byte rounds halves to the even neighbour.
    const double rounded = std::nearbyint(*value);
    if (rounded < 0 || rounded > 255)
        return fallback;
    return static_cast<quint8>(rounded);
}

float decodeSingle(const QString &text, float fallback)
{
    const std::optional<double> value = readNumber(text);
    if (!value || std::fabs(*value) > 1e9)
        return fallback;
    return static_cast<float>(*value);
}

QString encodeSingle(float value)
{
    if (std::nearbyint(value) == value && std::fabs(value) < 1e9)
        return QString::number(static_cast<qint64>(value));
    return QString::number(static_cast<double>(value), 'g', 9);
}

void LoadSettings(Settings &settings, SettingsStore &store, double screenWidthTwips,
                  const SetDefaultPlayerFn &SetDefaultPlayer)
{
    const bool firstRun = GetSettingValue(store, QString(), Empty) == Empty;

    const Settings defaults;
    auto boolean = [&](const char *name, bool fallback) {
        return decodeBoolean(GetSettingValue(store, QLatin1String(name), flag(fallback)), fallback);
    };
    auto byte = [&](const char *name, quint8 fallback, quint8 highest) {
        const quint8 value = decodeByte(
            GetSettingValue(store, QLatin1String(name), QString::number(fallback)), fallback);
        return value <= highest ? value : fallback;
    };
    settings.DefaultPlayer = boolean("Default", defaults.DefaultPlayer);
    settings.SnapToScreen = boolean("Snap", defaults.SnapToScreen);
    settings.OnTop = boolean("onTop", defaults.OnTop);
    settings.ShadeMode = boolean("Shade", defaults.ShadeMode);
    // Values the option groups have no button for take their default too.
    settings.OnNewEntry = byte("onNew", defaults.OnNewEntry, 1);
    settings.ResetMode = byte("Reset", defaults.ResetMode, 2);
    const float firstX = static_cast<float>(screenWidthTwips - MainWindowWidth - 1000);
    settings.WindowX =
        decodeSingle(GetSettingValue(store, QStringLiteral("X"), encodeSingle(firstX)), firstX);
    settings.WindowY = decodeSingle(
        GetSettingValue(store, QStringLiteral("Y"), QStringLiteral("0")), defaults.WindowY);
    settings.CurrentAlbum = byte("CurrentAlbum", defaults.CurrentAlbum, 1);
    for (int i = 1; i <= 4; ++i)
        settings.AlbumList[i] = GetSettingValue(store, QStringLiteral("Album%1").arg(i), Empty);

    if (firstRun)
        SaveSettings(settings, store, SetDefaultPlayer);
}

void SaveSettings(const Settings &settings, SettingsStore &store,
                  const SetDefaultPlayerFn &SetDefaultPlayer)
{
    SaveSettingValue(store, QStringLiteral("Default"), flag(settings.DefaultPlayer));
    SaveSettingValue(store, QStringLiteral("Snap"), flag(settings.SnapToScreen));
    SaveSettingValue(store, QStringLiteral("onTop"), flag(settings.OnTop));
    SaveSettingValue(store, QStringLiteral("Shade"), flag(settings.ShadeMode));
    SaveSettingValue(store, QStringLiteral("onNew"), QString::number(settings.OnNewEntry));
    SaveSettingValue(store, QStringLiteral("Reset"), QString::number(settings.ResetMode));
    SaveSettingValue(store, QStringLiteral("X"), encodeSingle(settings.WindowX));
    SaveSettingValue(store, QStringLiteral("Y"), encodeSingle(settings.WindowY));
    SaveSettingValue(store, QStringLiteral("CurrentAlbum"), QString::number(settings.CurrentAlbum));
    if (SetDefaultPlayer)
        SetDefaultPlayer(settings.DefaultPlayer);
    for (int i = 1; i <= 4; ++i)
        SaveSettingValue(store, QStringLiteral("Album%1").arg(i), settings.AlbumList[i]);
    store.flush();
}
