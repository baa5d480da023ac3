// A main window on fakes, in a private program folder, for widget tests.
#pragma once

#include "player/Player.h"
#include "playlist/AlbumLoad.h"
#include "playlist/PlaylistModel.h"
#include "support/FakeDialogs.h"
#include "support/FakeSequencer.h"
#include "support/MemoryStore.h"
#include "ui/frmMain.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

// While it lives, albums are read as `policy` says (by default every album on
// the worker, its progress shown at once); then as before.
class AlbumLoadsAs
{
public:
    explicit AlbumLoadsAs(AlbumLoadPolicy policy = {0, std::chrono::milliseconds(0)})
    {
        albumLoadPolicy() = policy;
    }
    ~AlbumLoadsAs() { albumLoadPolicy() = m_saved; }
    AlbumLoadsAs(const AlbumLoadsAs &) = delete;
    AlbumLoadsAs &operator=(const AlbumLoadsAs &) = delete;

private:
    AlbumLoadPolicy m_saved = albumLoadPolicy();
};

class WindowFixture : public ::testing::Test
{
protected:
    WindowFixture()
    {
        // Shut the first-run write-back off unless a test wants the empty store.
        store.values.insert(QString(), QStringLiteral("1"));
    }

    // The fakes, the temporary program folder and a 12000-twip screen.
    MainWindowServices services()
    {
        MainWindowServices s;
        s.MCI = &device;
        s.dlg = &dialogs;
        s.store = &store;
        s.programFolder = dir.path();
        s.screenWidthTwips = 12000;
        return s;
    }
    // Creates the window; call Form_Load yourself when the test wants it.
    frmMain &window()
    {
        if (!m_window)
            m_window = std::make_unique<frmMain>(services());
        return *m_window;
    }

    // A file in the program folder (made when absent); returns its full path.
    QString file(const QString &name, const QByteArray &content = QByteArray("MThd"));
    // A MIDI file the fake device opens, with the given length.
    QString song(const QString &name, qint32 lengthMs = 60000);
    // An album holding the given lines, each followed by CR LF.
    QString album(const QString &name, const QStringList &lines);

    // A loaded window with songs s0 … s(n-1) of a minute each, nothing played yet.
    frmMain &withSongs(int n, int resetMode = 0)
    {
        store.values.insert(QStringLiteral("Reset"), QString::number(resetMode));
        frmMain &w = window();
        w.Form_Load();
        for (int i = 0; i < n; ++i)
            w.lstPlay.append(song(QStringLiteral("s%1.mid").arg(i)));
        w.UpdateMIDI();
        return w;
    }
    QString s(int i) { return dir.filePath(QStringLiteral("s%1.mid").arg(i)); }

    QTemporaryDir dir;
    FakeSequencer device;
    FakeDialogs dialogs;
    MemoryStore store;

private:
    std::unique_ptr<frmMain> m_window;
};
