// The settings codec and the INI store: exact round trips, defaults and the
// first-run write-back, and values that cannot be read.
#include "platform/SettingsStore.h"
#include "settings/Settings.h"
#include "support/MemoryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

constexpr double Screen = 12000; // twips

TEST(SettingsTest, EmptyStoreGivesDefaultsAndWritesThemBackOnce)
{
    MemoryStore store;
    Settings s;
    s.OnTop = false; // whatever was there before is overwritten
    int associations = 0;
    LoadSettings(s, store, Screen, [&](bool enable) {
        EXPECT_FALSE(enable);
        ++associations;
    });
    const QMap<QString, QString> defaults = {
        {u"Default"_s, u"0"_s},    {u"Snap"_s, u"1"_s},       {u"onTop"_s, u"1"_s},
        {u"Shade"_s, u"1"_s},      {u"onNew"_s, u"0"_s},      {u"Reset"_s, u"1"_s},
        {u"X"_s, u"6485"_s},       {u"Y"_s, u"0"_s},          {u"CurrentAlbum"_s, u"0"_s},
        {u"Album1"_s, u"Empty"_s}, {u"Album2"_s, u"Empty"_s}, {u"Album3"_s, u"Empty"_s},
        {u"Album4"_s, u"Empty"_s}};
    EXPECT_EQ(store.values, defaults); // the marker is never written
    EXPECT_EQ(store.writes, 13);
    EXPECT_TRUE(s.OnTop);
    EXPECT_EQ(associations, 1);

    // The marker is still absent, so the next start writes them back again.
    Settings again;
    LoadSettings(again, store, Screen, {});
    EXPECT_EQ(store.writes, 26);

    // With the marker present nothing is written.
    store.values.insert(QString(), u"set"_s);
    LoadSettings(again, store, Screen, {});
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

TEST(SettingsTest, GarbledValuesFallBackToTheirDefaults)
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
    EXPECT_EQ(s.AlbumList[1], u"/a/one.mal"_s);
    EXPECT_EQ(s.AlbumList[2], u"Empty"_s);
    EXPECT_EQ(s.AlbumList[4], u"Empty"_s);
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

TEST(SettingsTest, GarbledStoreFileYieldsDefaults)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"Sonabel.ini"_s);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("[General\nReset=\x01\x02\n=\n[[[\n") + QByteArray(5000, '\xa7'));
    f.close();
    IniSettingsStore store(file);
    Settings s;
    LoadSettings(s, store, Screen, {});
    EXPECT_EQ(s.ResetMode, 1);
    EXPECT_TRUE(s.OnTop);
    EXPECT_EQ(s.AlbumList[1], u"Empty"_s);
}

} // namespace
