// The player's settings: options, window position and the recent albums, kept
// as text values in the per-user store. Plain code: no widgets.
#pragma once

#include <QString>
#include <array>
#include <functional>

class SettingsStore;

struct Settings
{
    bool DefaultPlayer = false; // "Default": the player handles MIDI files for the desktop
    bool SnapToScreen = true;   // "Snap": snap to the top screen edge after a drag
    bool OnTop = true;          // "onTop": the window stays above others
    bool ShadeMode = true;      // "Shade": start as the title strip
    quint8 OnNewEntry = 0;      // "onNew": 0 add to the playlist, 1 interrupt and play at once
    quint8 ResetMode = 1;       // "Reset": 0 none, 1 General MIDI, 2 Roland GS
    quint8 CurrentAlbum = 0;    // "CurrentAlbum": 1 when the playlist is the album in slot 1
    float WindowX = 0;          // "X": left edge, twips
    float WindowY = 0;          // "Y": top edge, twips
    // "Album1" … "Album4": recent album files, most recent first; "Empty" marks
    // a free slot. Index 0 is unused so that slot k is AlbumList[k].
    std::array<QString, 5> AlbumList = {QString(), QStringLiteral("Empty"), QStringLiteral("Empty"),
                                        QStringLiteral("Empty"), QStringLiteral("Empty")};
};

// The main window's width in twips; the first-run position is computed from it.
inline constexpr int MainWindowWidth = 4515;

// The text under ValueName, or Default when it cannot be read. Key selects the
// settings key and is always empty here.
QString GetSettingValue(const SettingsStore &store, const QString &ValueName,
                        const QString &Default, const QString &Key = QString());
void SaveSettingValue(SettingsStore &store, const QString &ValueName, const QString &Value,
                      const QString &Key = QString());

// Decoders for stored texts. A text that cannot be converted gives fallback.
bool decodeBoolean(const QString &text, bool fallback);
quint8 decodeByte(const QString &text, quint8 fallback);
float decodeSingle(const QString &text, float fallback);
// Decimal text of a position, without a fraction when it has none.
QString encodeSingle(float value);

// Re-applies the file association; called by SaveSettings with DefaultPlayer.
using SetDefaultPlayerFn = std::function<void(bool Enable)>;

// Fills settings from the store. screenWidthTwips gives the first-run X. A
// value that cannot be read or converted takes its default. While the store
// holds no first-run marker, everything is saved back at once.
void LoadSettings(Settings &settings, SettingsStore &store, double screenWidthTwips,
                  const SetDefaultPlayerFn &SetDefaultPlayer);
// Writes every value, re-applying the file association before the albums.
void SaveSettings(const Settings &settings, SettingsStore &store,
                  const SetDefaultPlayerFn &SetDefaultPlayer);
