// Helpers shared by the window benchmarks: a device that opens every file,
// dialogs that never block, a store in memory, and a stopwatch.
#pragma once

#include "engine/DeviceFactory.h"
#include "engine/SequencerDevice.h"
#include "platform/Dialogs.h"
#include "platform/SettingsStore.h"
#include "ui/frmMain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

class BenchDevice : public SequencerDevice
{
public:
    qint32 Length() const override { return m_open ? 180000 : 0; }
    qint32 Position() const override { return m_open ? 90000 : 0; }

protected:
    void open(const QString &, const QString &) override { m_open = true; }
    void play(std::optional<qint32>, bool, bool) override {}
    void pause(bool) override {}
    void stop() override {}
    void close() override { m_open = false; }

private:
    bool m_open = false;
};

class BenchDialogs : public Dialogs
{
public:
    void MsgBox(const QString &) override {}
    std::optional<QString> ShowOpen(const FileDialogSetup &) override { return std::nullopt; }
    std::optional<QString> ShowSave(const FileDialogSetup &) override { return std::nullopt; }
    std::optional<SoundDialogSetup> ShowSound(const SoundDialogSetup &) override
    {
        return std::nullopt;
    }
    // The folder every folder dialog returns; empty: cancelled.
    std::optional<QString> ShowFolder(const QString &, const QString &) override
    {
        return folder.isEmpty() ? std::nullopt : std::optional(folder);
    }
    bool Ask(const QString &) override { return true; }

    QString folder;
};

class BenchStore : public SettingsStore
{
public:
    std::optional<QString> read(const QString &name) const override
    {
        if (name.isEmpty())
            return QStringLiteral("1");
        return std::nullopt;
    }
    void write(const QString &, const QString &) override {}
    bool flush() override { return true; }
};

// The window's services on the bench fakes, owned here.
struct BenchServices
{
    explicit BenchServices(const QString &programFolder)
    {
        services.MCI = &device;
        services.dlg = &dialogs;
        services.store = &store;
        services.programFolder = programFolder;
    }
    BenchDevice device;
    BenchDialogs dialogs;
    BenchStore store;
    MainWindowServices services;
};

// A window benchmark that plays for real: offscreen, with what FluidSynth plays
// written into the WAV file through its file driver. Call before the
// QApplication is made.
inline void hearInto(const QString &wav)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SONABEL_AUDIO_DRIVER", "file");
    qputenv("SONABEL_AUDIO_FILE", QFile::encodeName(wav));
}

// The window's services on the real sequencer device, with the reset files of
// the program folder, one up from bench/. Make the QApplication first.
struct RealDeviceServices : BenchServices
{
    RealDeviceServices()
        : BenchServices(
              QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath()),
          real(makeSequencerDevice())
    {
        services.MCI = real.get();
    }
    std::unique_ptr<SequencerDevice> real;
};

// Median wall time in milliseconds of `runs` calls of f.
template <typename F> double medianMs(int runs, F &&f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Runs the event loop for ms milliseconds, waking at least every 5 ms.
inline void runEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Writes a song's bytes to path.
inline void writeSongFile(const QString &path, const std::vector<std::uint8_t> &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size()));
}
