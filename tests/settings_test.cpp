// The settings codec and the INI store: exact round trips, defaults and the
// first-run write-back, and values that cannot be read.
#include "platform/SettingsStore.h"
#include "settings/Settings.h"
#include "support/MemoryStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

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
    EXPECT_FALSE(s.DefaultPlayer);
    EXPECT_TRUE(s.SnapToScreen);
    EXPECT_TRUE(s.OnTop);
    EXPECT_TRUE(s.ShadeMode);
    EXPECT_EQ(s.OnNewEntry, 0);
    EXPECT_EQ(s.ResetMode, 1);
    EXPECT_EQ(s.CurrentAlbum, 0);
    EXPECT_EQ(s.WindowX, 6485.0f);
    EXPECT_EQ(s.WindowY, 0.0f);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(s.AlbumList[i], QStringLiteral("Empty"));
    EXPECT_EQ(store.writes, 13);
    EXPECT_EQ(associations, 1);
    EXPECT_FALSE(store.values.contains(QString())); // the marker is never written
    EXPECT_EQ(store.values.value(QStringLiteral("X")), QStringLiteral("6485"));
    EXPECT_EQ(store.values.value(QStringLiteral("onTop")), QStringLiteral("1"));

    // The marker is still absent, so the next start writes them back again.
    Settings again;
    LoadSettings(again, store, Screen, {});
    EXPECT_EQ(store.writes, 26);

    // With the marker present nothing is written.
    store.values.insert(QString(), QStringLiteral("set"));
    LoadSettings(again, store, Screen, {});
    EXPECT_EQ(store.writes, 26);
}

TEST(SettingsTest, DecodingOfStoredTexts)
{
    EXPECT_FALSE(decodeBoolean(QStringLiteral("2"), true));
    EXPECT_FALSE(decodeBoolean(QStringLiteral("-1"), true));
    EXPECT_TRUE(decodeBoolean(QStringLiteral("1.0"), false));
    EXPECT_TRUE(decodeBoolean(QStringLiteral(" 1 "), false));
    EXPECT_TRUE(decodeBoolean(QStringLiteral("yes"), true)); // unreadable: fallback
    EXPECT_FALSE(decodeBoolean(QString(), false));

    EXPECT_EQ(decodeByte(QStringLiteral("255"), 1), 255);
    EXPECT_EQ(decodeByte(QStringLiteral("256"), 1), 1);
    EXPECT_EQ(decodeByte(QStringLiteral("-1"), 1), 1);
    EXPECT_EQ(decodeByte(QStringLiteral("2.5"), 1), 2); // halves to even
    EXPECT_EQ(decodeByte(QStringLiteral("nan"), 7), 7);
    EXPECT_EQ(decodeByte(QStringLiteral("two"), 7), 7);

    EXPECT_EQ(decodeSingle(QStringLiteral("-300"), 0), -300.0f);
    EXPECT_EQ(decodeSingle(QStringLiteral("12.5"), 0), 12.5f);
    EXPECT_EQ(decodeSingle(QStringLiteral("1e400"), 3), 3.0f);
    EXPECT_EQ(decodeSingle(QStringLiteral("left"), 3), 3.0f);
    EXPECT_EQ(encodeSingle(6485), QStringLiteral("6485"));
    EXPECT_EQ(encodeSingle(-15), QStringLiteral("-15"));
    EXPECT_EQ(encodeSingle(12.5f), QStringLiteral("12.5"));
}

TEST(SettingsTest, GarbledValuesFallBackToTheirDefaults)
{
    MemoryStore store;
    store.values = {{QString(), QStringLiteral("x")},
                    {QStringLiteral("Default"), QStringLiteral("2")},
                    {QStringLiteral("Snap"), QStringLiteral("banana")},
                    {QStringLiteral("onTop"), QStringLiteral("0")},
                    {QStringLiteral("onNew"), QStringLiteral("5")},
                    {QStringLiteral("Reset"), QStringLiteral("300")},
                    {QStringLiteral("X"), QStringLiteral("left")},
                    {QStringLiteral("Y"), QStringLiteral("")},
                    {QStringLiteral("CurrentAlbum"), QStringLiteral("9")},
                    {QStringLiteral("Album1"), QStringLiteral("/a/one.mal")}};
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
    EXPECT_EQ(s.AlbumList[1], QStringLiteral("/a/one.mal"));
    EXPECT_EQ(s.AlbumList[2], QStringLiteral("Empty"));
    EXPECT_EQ(s.AlbumList[4], QStringLiteral("Empty"));
}

TEST(SettingsTest, IniStoreGivesBackEveryValueExactly)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Sonabel.ini"));
    Settings saved;
    saved.DefaultPlayer = true;
    saved.SnapToScreen = false;
    saved.OnTop = false;
    saved.ShadeMode = false;
    saved.OnNewEntry = 1;
    saved.ResetMode = 2;
    saved.CurrentAlbum = 1;
    saved.WindowX = -300;
    saved.WindowY = 12345;
    saved.AlbumList[1] = QStringLiteral("/home/me/My, Album; #1 = \"best\".mal ");
    saved.AlbumList[2] = QStringLiteral("@Variant(odd)\\back\\slash");
    saved.AlbumList[3] = QStringLiteral("  Ünïcödé ♪ [section].mal");
    saved.AlbumList[4] = QStringLiteral("Empty");
    {
        IniSettingsStore store(file);
        SaveSettings(saved, store, {});
        EXPECT_TRUE(store.flush());
    }
    IniSettingsStore store(file);
    store.write(QString(), QStringLiteral("x")); // as if a marker were there
    Settings loaded;
    LoadSettings(loaded, store, Screen, {});
    EXPECT_EQ(loaded.DefaultPlayer, true);
    EXPECT_EQ(loaded.SnapToScreen, false);
    EXPECT_EQ(loaded.OnTop, false);
    EXPECT_EQ(loaded.ShadeMode, false);
    EXPECT_EQ(loaded.OnNewEntry, 1);
    EXPECT_EQ(loaded.ResetMode, 2);
    EXPECT_EQ(loaded.CurrentAlbum, 1);
    EXPECT_EQ(loaded.WindowX, -300.0f);
    EXPECT_EQ(loaded.WindowY, 12345.0f);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(loaded.AlbumList[i], saved.AlbumList[i]) << i;
}

TEST(SettingsTest, GarbledStoreFileYieldsDefaults)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Sonabel.ini"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    QByteArray junk;
    for (int i = 0; i < 5000; ++i)
        junk += static_cast<char>((i * 131 + 7) & 0xff);
    f.write("[General\nReset=\x01\x02\n=\n[[[\n" + junk);
    f.close();
    IniSettingsStore store(file);
    Settings s;
    LoadSettings(s, store, Screen, {});
    EXPECT_EQ(s.ResetMode, 1);
    EXPECT_TRUE(s.OnTop);
    EXPECT_EQ(s.AlbumList[1], QStringLiteral("Empty"));
}

} // namespace
