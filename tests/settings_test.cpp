// The settings codec and the INI store: defaults and the first-run write-back,
// exact round trips, and values or files that cannot be read.
#include "platform/SettingsStore.h"
#include "settings/Settings.h"
#include "support/MemoryStore.h"
#include "support/ProgramRun.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr double Screen = 12000; // twips

// The defaults themselves are checked on the window (startup_test).
TEST(SettingsTest, DefaultsAreWrittenBackUntilTheMarkerIsThere)
{
    MemoryStore store;
    Settings s;
    int associations = 0;
    LoadSettings(s, store, Screen, [&](bool enable) {
        EXPECT_FALSE(enable);
        ++associations;
    });
    EXPECT_EQ(store.writes, 13);
    EXPECT_FALSE(store.values.contains(QString())); // the marker is never written
    EXPECT_EQ(associations, 1);
    LoadSettings(s, store, Screen, {});
    EXPECT_EQ(store.writes, 26);
    store.values.insert(QString(), u"set"_s);
    LoadSettings(s, store, Screen, {});
    EXPECT_EQ(store.writes, 26);
}

TEST(SettingsTest, DecodingOfStoredTexts)
{
    // Booleans are true exactly when the text reads as the number 1.
    const std::pair<const char *, bool> booleans[] = {{"1", true},  {"1.0", true}, {" 1 ", true},
                                                      {"2", false}, {"-1", false}, {"0", false}};
    for (const auto &[text, value] : booleans)
        EXPECT_EQ(decodeBoolean(QLatin1String(text), !value), value) << text;
    EXPECT_TRUE(decodeBoolean(u"yes"_s, true)); // unreadable: the fallback
    const std::pair<const char *, int> bytes[] = {{"255", 255}, {"256", 7}, {"-1", 7},
                                                  {"2.5", 2},   {"nan", 7}, {"two", 7}};
    for (const auto &[text, value] : bytes)
        EXPECT_EQ(decodeByte(QLatin1String(text), 7), value) << text;
    EXPECT_EQ(decodeSingle(u"-300"_s, 0), -300.0f);
    EXPECT_EQ(decodeSingle(u"12.5"_s, 0), 12.5f);
    EXPECT_EQ(decodeSingle(u"1e400"_s, 3), 3.0f);
    EXPECT_EQ(encodeSingle(6485), u"6485"_s);
    EXPECT_EQ(encodeSingle(12.5f), u"12.5"_s);
}

TEST(SettingsTest, GarbledValuesAndFilesFallBackToTheirDefaults)
{
    MemoryStore store;
    store.values = {{QString(), u"x"_s},         {u"Default"_s, u"2"_s},
                    {u"Snap"_s, u"banana"_s},    {u"onTop"_s, u"0"_s},
                    {u"onNew"_s, u"5"_s},        {u"Reset"_s, u"300"_s},
                    {u"X"_s, u"left"_s},         {u"Y"_s, u""_s},
                    {u"CurrentAlbum"_s, u"9"_s}, {u"Album1"_s, u"/a/one.mal"_s}};
    Settings s;
    LoadSettings(s, store, Screen, {});
    EXPECT_FALSE(s.DefaultPlayer);
    EXPECT_TRUE(s.SnapToScreen);
    EXPECT_FALSE(s.OnTop);
    EXPECT_EQ(s.OnNewEntry, 0);
    EXPECT_EQ(s.ResetMode, 1);
    EXPECT_EQ(s.WindowX, 6485.0f);
    EXPECT_EQ(s.WindowY, 0.0f);
    EXPECT_EQ(s.CurrentAlbum, 0);
    // Only slot 1 stored: the others are free.
    EXPECT_EQ(s.AlbumList, (std::array<QString, 5>{QString(), u"/a/one.mal"_s, u"Empty"_s,
                                                   u"Empty"_s, u"Empty"_s}));

    QTemporaryDir dir;
    const QString file =
        writeBytes(dir.filePath(u"Sonabel.ini"_s),
                   QByteArray("[General\nReset=\x01\x02\n=\n[[[\n") + QByteArray(5000, '\xa7'));
    IniSettingsStore garbled(file);
    Settings fromFile;
    LoadSettings(fromFile, garbled, Screen, {});
    EXPECT_EQ(fromFile.ResetMode, 1);
    EXPECT_TRUE(fromFile.OnTop);
    EXPECT_EQ(fromFile.AlbumList[1], u"Empty"_s);
}

TEST(SettingsTest, IniStoreGivesBackEveryValueExactly)
{
    // Every value differs from its default; album paths carry what INI files
    // treat specially.
    Settings saved;
    saved.DefaultPlayer = true;
    saved.SnapToScreen = saved.OnTop = saved.ShadeMode = false;
    saved.OnNewEntry = saved.CurrentAlbum = 1;
    saved.ResetMode = 2;
    saved.WindowX = -300;
    saved.WindowY = 12345;
    saved.AlbumList = {QString(), u"/home/me/My, Album; #1 = \"best\".mal "_s,
                       u"@Variant(odd)\\back\\slash"_s, u"  Ünïcödé ♪ [section].mal"_s, u"Empty"_s};
    QTemporaryDir dir;
    const QString file = dir.filePath(u"Sonabel.ini"_s);
    {
        IniSettingsStore ini(file);
        SaveSettings(saved, ini, {});
        EXPECT_TRUE(ini.flush());
    }
    IniSettingsStore ini(file);
    ini.write(QString(), u"x"_s); // as if the first-run marker were there
    Settings loaded;
    LoadSettings(loaded, ini, Screen, {});
    // Saved again, the loaded settings give exactly the texts the first save gave.
    MemoryStore before, after;
    SaveSettings(saved, before, {});
    SaveSettings(loaded, after, {});
    EXPECT_EQ(after.values, before.values);
}

} // namespace
